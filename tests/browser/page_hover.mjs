// SPDX-License-Identifier: GPL-3.0-or-later
// Opens a generated web page in headless Chromium, hovers the areas of its image map and checks
// that the pop-up shows the hovered tile, loaded from the area's own link, at the area's
// bottom-right corner and at the size the page gives it; then saves a screenshot.
// Usage: node page_hover.mjs PAGE.html SCREENSHOT.png
import { chromium } from 'playwright-core';
import { pathToFileURL } from 'node:url';

const [pagePath, screenshotPath] = process.argv.slice(2);
const executablePath = process.env.TG_CHROMIUM || '/usr/bin/chromium';

function fail(message) {
  console.error(`FAILED: ${message}`);
  process.exitCode = 1;
}

const browser = await chromium.launch({
  executablePath,
  headless: true,
  timeout: 30000,
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
         '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
try {
  const context = await browser.newContext({ viewport: { width: 800, height: 600 } });
  const page = await context.newPage();
  page.setDefaultTimeout(15000);
  await page.goto(pathToFileURL(pagePath).href);
  await page.waitForFunction(() => {
    const image = document.querySelector('img[usemap]');
    return image && image.complete && image.naturalWidth > 0;
  });

  const areas = await page.$$eval('area', (list) => list.map((a) => ({
    href: a.href, coords: a.coords, title: a.title, hover: a.getAttribute('onmouseover'),
  })));
  if (areas.length === 0) fail('the page has no areas');

  for (const area of areas) {
    const [left, top, right, bottom] = area.coords.split(',').map(Number);
    const [, width, height] = area.hover.match(/,(\d+),(\d+)\);$/).map(Number);
    // Leave the map first so that every hover starts from a hidden pop-up.
    await page.mouse.move(790, 590);
    await page.mouse.move((left + right) / 2, (top + bottom) / 2, { steps: 3 });
    await page.waitForFunction(() => {
      const zoom = document.getElementById('MyZoom');
      return zoom.style.display !== 'none' && zoom.style.opacity === '1';
    });
    await page.waitForFunction(() => {
      const zoom = document.getElementById('MyZoom');
      return zoom.complete;
    });
    const zoom = await page.evaluate(() => {
      const z = document.getElementById('MyZoom');
      const box = z.getBoundingClientRect();
      return { src: z.src, naturalWidth: z.naturalWidth, left: box.left, top: box.top,
               width: z.clientWidth, height: z.clientHeight };
    });
    const name = `area "${area.title}"`;
    if (zoom.src !== area.href) fail(`${name}: pop-up shows ${zoom.src}, link is ${area.href}`);
    if (zoom.naturalWidth === 0) fail(`${name}: the linked tile ${area.href} did not load`);
    if (zoom.left !== right || zoom.top !== bottom) {
      fail(`${name}: pop-up at ${zoom.left},${zoom.top}, expected ${right},${bottom}`);
    }
    if (zoom.width !== width || zoom.height !== height) {
      fail(`${name}: pop-up ${zoom.width}x${zoom.height}, expected ${width}x${height}`);
    }
    console.log(`${name}: pop-up ${zoom.width}x${zoom.height} at ${right},${bottom} from ${area.href}`);
  }

  // The screenshot shows the first tile's pop-up.
  const [left, top, right, bottom] = areas[0].coords.split(',').map(Number);
  await page.mouse.move((left + right) / 2, (top + bottom) / 2, { steps: 3 });
  await page.waitForFunction(() => document.getElementById('MyZoom').style.opacity === '1');
  await page.screenshot({ path: screenshotPath });

  // Leaving the map hides the pop-up again.
  await page.mouse.move(790, 590, { steps: 3 });
  await page.waitForFunction(() => document.getElementById('MyZoom').style.opacity === '0');
} catch (error) {
  fail(error.message);
} finally {
  await browser.close();
}
