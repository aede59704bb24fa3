#!/usr/bin/env bash
# Browser test of the web page: builds a sample page with the output test executable, opens it
# in headless Chromium through playwright-core and checks the pop-ups.
# Usage: run.sh OUTPUT_TEST_EXECUTABLE WORK_FOLDER
# Exits 77 (skipped) with a message when Chromium, Node.js or playwright-core is not available.
set -uo pipefail

tests=$1
work=$2
here=$(cd "$(dirname "$0")" && pwd)
chromium=${TG_CHROMIUM:-/usr/bin/chromium}

skip() {
  echo "SKIPPED: $*"
  exit 77
}

[ -x "$chromium" ] || skip "Chromium is missing ($chromium); scripts/install-deps.sh installs it"
command -v node >/dev/null 2>&1 || skip "Node.js is missing"
command -v npm >/dev/null 2>&1 || skip "npm is missing"

mkdir -p "$work"
# Install the locked packages once per lock file.
if ! cmp -s "$here/package-lock.json" "$work/package-lock.json" ||
   [ ! -d "$work/node_modules/playwright-core" ]; then
  cp "$here/package.json" "$here/package-lock.json" "$work/"
  if ! (cd "$work" && timeout 120 npm ci --no-audit --no-fund --loglevel=error); then
    rm -f "$work/package-lock.json"
    skip "playwright-core could not be installed from the npm registry"
  fi
fi
cp "$here/page_hover.mjs" "$work/"

rm -rf "$work/page" "$work/page-hover.png"
if ! TG_WEB_PAGE_SAMPLE_DIR="$work" timeout 60 "$tests" \
     --gtest_filter=WebPageTest.SampleForBrowser --gtest_brief=1; then
  echo "FAILED: the sample page could not be written"
  exit 1
fi
[ -f "$work/page/index.html" ] || { echo "FAILED: no index.html in $work/page"; exit 1; }

TG_CHROMIUM="$chromium" timeout 120 node "$work/page_hover.mjs" "$work/page/index.html" \
  "$work/page-hover.png"
status=$?
[ $status -eq 124 ] && echo "FAILED: the browser did not finish in time"
[ $status -eq 0 ] && echo "screenshot: $work/page-hover.png"
exit $status
