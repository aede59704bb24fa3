// SPDX-License-Identifier: GPL-3.0-or-later
// The web page: its exact text, the page image and its fallback, tile names, copies and links,
// pop-up sizes from the header and from EXIF, odd file names, stop and failures.
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/matching_context.h"
#include "imaging/image_file.h"
#include "job/mosaic_job.h"
#include "output/mask_image.h"
#include "output/text_report.h"
#include "output/web_page.h"
#include "report_fixture.h"
#include "tiles/tile_images_list.h"

namespace tg::test {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

const char* const kPageStart =
    "<html>\r\n<head>\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; "
    "charset=utf-8\">\r\n<title>Mosaic created with Tesselograph</title>\r\n<script "
    "language=\"javascript\">\r\nfunction U(F, Coords, Width, Height)\r\n{\r\n   var Z = "
    "document.getElementById(\"MyZoom\");\r\n   \r\n   Z.src =  F ;\r\n";

/// `text` with every %XX sequence decoded.
std::string percentDecode(const std::string& text) {
  std::string decoded;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      decoded += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      decoded += text[i];
    }
  }
  return decoded;
}

/// A JPEG file's bytes with an EXIF block claiming `width` x `height` pixel dimensions.
std::string withExifPixelSize(const std::string& jpeg, std::uint32_t width, std::uint32_t height) {
  std::string tiff = "II*";
  tiff += '\0';
  auto u16 = [&tiff](std::uint32_t v) {
    tiff += static_cast<char>(v & 0xFF);
    tiff += static_cast<char>((v >> 8) & 0xFF);
  };
  auto u32 = [&](std::uint32_t v) {
    u16(v & 0xFFFF);
    u16(v >> 16);
  };
  u32(8);                                // first directory
  u16(1);                                // one entry:
  u16(0x8769), u16(4), u32(1), u32(26);  //   the EXIF directory's offset
  u32(0);                                // no next directory
  u16(2);                                // EXIF directory, two entries:
  u16(0xA002), u16(4), u32(1), u32(width);
  u16(0xA003), u16(4), u32(1), u32(height);
  u32(0);
  const std::string payload = std::string("Exif\0\0", 6) + tiff;
  const std::size_t length = payload.size() + 2;
  std::string segment = "\xFF\xE1";
  segment += static_cast<char>(length >> 8);
  segment += static_cast<char>(length & 0xFF);
  return jpeg.substr(0, 2) + segment + payload + jpeg.substr(2);
}

class WebPageTest : public ReportFixture {
 protected:
  WebPageTest() {
    Foto mosaic;
    EXPECT_TRUE(mosaic.create(200, 100));
    mosaic.fill(makePixel(10, 120, 200));
    mosaicPath = dir.file("beach Mosaic.jpg");
    EXPECT_TRUE(writeJpegImage(mosaicPath, mosaic, 90, 0));
    folder = dir.file("beach Mosaic Web Page");
  }

  std::string page() const { return readFile(fs::path(folder) / "index.html"); }

  /// The area lines of the page.
  std::vector<std::string> areas() const {
    std::vector<std::string> lines;
    for (const auto& line : splitCrLf(page())) {
      if (line.rfind("  <area ", 0) == 0) lines.push_back(line);
    }
    return lines;
  }

  /// The value of attribute `name` in `line`.
  static std::string attribute(const std::string& line, const std::string& name) {
    const std::string key = " " + name + "=\"";
    const std::size_t at = line.find(key);
    if (at == std::string::npos) return {};
    const std::size_t start = at + key.size();
    return line.substr(start, line.find('"', start) - start);
  }

  std::string mosaicPath;
  std::string folder;
};

TEST(WebPageSizes, PageWidthAndPopUps) {
  EXPECT_EQ(webPageImageWidth(5), 10);
  EXPECT_EQ(webPageImageWidth(800), 800);
  EXPECT_EQ(webPageImageWidth(200000), 100000);
  EXPECT_EQ(webPageImageWidth(-3), 10);
  const PopUpSize big = popUpSize(4000, 3000, 1000);
  EXPECT_EQ(big.width, 500);
  EXPECT_EQ(big.height, 375);
  const PopUpSize tall = popUpSize(300, 2000, 1000);
  EXPECT_EQ(tall.width, 75);
  EXPECT_EQ(tall.height, 500);
  const PopUpSize small = popUpSize(300, 300, 1000);
  EXPECT_EQ(small.width, 300);
}

TEST(WebPageNames, FlattenedTileNames) {
  EXPECT_EQ(flattenedTileName("/home/ann/a.jpg"), "_home_ann_a.jpg");
  EXPECT_EQ(flattenedTileName("C:\\x\\y.jpg"), "C__x_y.jpg");
  EXPECT_EQ(flattenedTileName("/ab"), "001_ab");
  // Cut to 200 characters, counted as characters, never inside one.
  const std::string longAscii(300, 'a');
  EXPECT_EQ(flattenedTileName(longAscii), std::string(200, 'a'));
  std::string longUmlauts;
  for (int i = 0; i < 300; ++i) longUmlauts += "\xC3\xBC";
  const std::string cut = flattenedTileName(longUmlauts);
  EXPECT_EQ(cut.size(), 250u);  // 125 characters: a file name holds 255 bytes at most
  // Stray bytes make few "characters" of many bytes: the "001" in front keeps the limit too.
  const std::string stray = "\xBA:" + std::string(246, '\xBA') + ":" + std::string(20, '\xBA');
  EXPECT_LE(flattenedTileName(stray).size(), 250u);
  EXPECT_EQ(fileUrl("/a b/#x%.jpg"), "file:///a%20b/%23x%25.jpg");
}

TEST_F(WebPageTest, PageTextImageAreasAndCopiedTiles) {
  FotoInfo& sea = addTile(dir.file("sea.jpg"), 90, true, 40, 30);
  FotoInfo& sand = addTile(dir.file("sand.jpg"), 200, true, 160, 90);
  addCell(&sea, 0, 0, 100, 50);
  addCell(&sand, 100, 0, 100, 50);
  addCell(nullptr, 0, 50, 100, 50);  // no tile: no area
  addCell(&sea, 101, 50, 99, 50);    // the same tile again: one copy

  ASSERT_TRUE(writeWebPage(grid, mosaicPath, folder, 100, nullptr, true));
  EXPECT_THAT(dialogs->texts(), IsEmpty());
  const std::string text = page();
  EXPECT_THAT(text, StartsWith(kPageStart));
  EXPECT_THAT(text, HasSubstr("</script>\r\n</head>\r\n\r\n<body style=\"margin: 0px;\">\r\n"
                              "<img style=\"position: absolute; left: 0px; top: 0px; width: "
                              "300px; height: 300px; border: 1px solid black; display: none\" "
                              "id= \"MyZoom\" src=\"\" height=\"128\" width=\"128\" /> \r\n"
                              "<img src=\"mosaic.jpg\" border=0 width=100 usemap=\"#Map\">\r\n"
                              "<map name=\"Map\" onmouseout=\"HidePopUp();\">\r\n  <area "));
  EXPECT_THAT(text, ::testing::EndsWith("target=\"_blank\">\r\n</map>\r\n</body>\r\n</html>\r\n"));
  EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1);

  Foto image;
  ASSERT_TRUE(loadImageFile(image, folder + "/mosaic.jpg", 0, 0, false));
  EXPECT_EQ(image.width, 100u);
  EXPECT_EQ(image.height, 50u);

  const std::string seaName = flattenedTileName(sea.path);
  const std::string sandName = flattenedTileName(sand.path);
  const auto lines = areas();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0],
            "  <area onmouseover=\"U(this.href, this.coords,40,30);\" alt=\"sea\" "
            "title=\"sea\" shape=\"rect\" coords=\"0,0,50,25\" href=\"tiles/" +
                seaName + "\" target=\"_blank\">");
  // 160 x 90 halved once to fit half the page width.
  EXPECT_THAT(lines[1], HasSubstr("U(this.href, this.coords,40,22);"));
  EXPECT_EQ(attribute(lines[1], "coords"), "50,0,100,25");
  EXPECT_EQ(attribute(lines[1], "href"), "tiles/" + sandName);
  EXPECT_EQ(attribute(lines[2], "coords"), "50,25,100,50");  // trunc(101 x 0.5)
  EXPECT_EQ(readFile(fs::path(folder) / "tiles" / seaName), readFile(sea.path));
  EXPECT_EQ(readFile(fs::path(folder) / "tiles" / sandName), readFile(sand.path));
}

TEST_F(WebPageTest, CollidingNamesGetACounterAndExistingFilesStay) {
  fs::create_directories(dir.path() / "x");
  FotoInfo& first = addTile(dir.file("x_y.jpg"), 90, true);
  FotoInfo& second = addTile(dir.file("x/y.jpg"), 150, true);
  ASSERT_EQ(flattenedTileName(first.path), flattenedTileName(second.path));
  addCell(&first, 0, 0, 100, 100);
  addCell(&second, 100, 0, 100, 100);

  ASSERT_TRUE(writeWebPage(grid, mosaicPath, folder, 200, nullptr, true));
  const std::string name = flattenedTileName(first.path);
  const std::string counted = "00001" + name.substr(5);
  const auto lines = areas();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(attribute(lines[0], "href"), "tiles/" + name);
  EXPECT_EQ(attribute(lines[1], "href"), "tiles/" + counted);
  EXPECT_EQ(readFile(fs::path(folder) / "tiles" / counted), readFile(second.path));

  // A page written again into the same folder never overwrites a file there: its tiles are
  // linked where they are.
  writeFile(fs::path(folder) / "tiles" / name, "keep");
  grid.cells[1]->tile = nullptr;
  ASSERT_TRUE(writeWebPage(grid, mosaicPath, folder, 200, nullptr, true));
  EXPECT_EQ(readFile(fs::path(folder) / "tiles" / name), "keep");
  const auto again = areas();
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(attribute(again[0], "href"), fileUrl(first.path));
}

TEST_F(WebPageTest, PopUpSizeFromExifPixelDimensions) {
  FotoInfo& photo = addTile(dir.file("photo.jpg"), 90, true, 40, 30);
  writeFile(photo.path, withExifPixelSize(readFile(photo.path), 4000, 3000));
  FotoInfo& silly = addTile(dir.file("silly.jpg"), 90, true, 40, 30);
  writeFile(silly.path, withExifPixelSize(readFile(silly.path), 0, 200000));  // not plausible
  FotoInfo& clip = addTile(dir.file("clip.avi"), 90);  // no readable size: 300 x 300
  writeFile(clip.path, "RIFF....AVI ");
  addCell(&photo, 0, 0, 100, 100);
  addCell(&silly, 100, 0, 100, 100);
  addCell(&clip, 0, 0, 10, 10);

  ASSERT_TRUE(writeWebPage(grid, mosaicPath, folder, 1000, nullptr, false));
  const auto lines = areas();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_THAT(lines[0], HasSubstr("U(this.href, this.coords,500,375);"));
  EXPECT_THAT(lines[1], HasSubstr("U(this.href, this.coords,40,30);"));
  EXPECT_THAT(lines[2], HasSubstr("U(this.href, this.coords,300,300);"));
  EXPECT_EQ(attribute(lines[2], "href"), fileUrl(clip.path));
  EXPECT_FALSE(fs::exists(fs::path(folder) / "tiles"));
}

TEST_F(WebPageTest, OddFileNamesGiveValidAttributesAndWorkingLinks) {
  const std::vector<std::string> names = {"with space, comma.jpg", "say \"cheese\" 'now'.jpg",
                                          "Zürich straße.jpg", "<b>&amp;<i>.jpg",
                                          "hash#and%percent?.jpg"};
  for (std::size_t i = 0; i < names.size(); ++i) {
    addCell(&addTile(dir.file(names[i]), 90, true), static_cast<int>(i) * 40, 0, 40, 40);
  }
  for (const bool copy : {true, false}) {
    ASSERT_TRUE(writeWebPage(grid, mosaicPath, folder, 200, nullptr, copy));
    const auto lines = areas();
    ASSERT_EQ(lines.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
      // Inside an attribute nothing may end the value early or start markup.
      const std::string href = attribute(lines[i], "href");
      EXPECT_THAT(href, Not(::testing::ContainsRegex("[<>\"' &#]"))) << href;
      const std::string target =
          copy ? (fs::path(folder) / percentDecode(href)).string() : percentDecode(href.substr(7));
      EXPECT_TRUE(copy ? href.rfind("tiles/", 0) == 0 : href.rfind("file:///", 0) == 0) << href;
      EXPECT_EQ(readFile(target), readFile(dir.file(names[i]))) << href;
      const std::string alt = attribute(lines[i], "alt");
      EXPECT_THAT(alt, Not(::testing::ContainsRegex("[<>\"']"))) << alt;
      EXPECT_EQ(alt, attribute(lines[i], "title"));
    }
    EXPECT_EQ(attribute(lines[1], "alt"), "say &quot;cheese&quot; &#39;now&#39;");
    EXPECT_EQ(attribute(lines[3], "alt"), "&lt;b&gt;&amp;amp;&lt;i&gt;");
    fs::remove_all(folder);
  }
}

TEST_F(WebPageTest, MosaicThatCannotBeReducedIsLinkedWhole) {
  FotoInfo& tile = addTile(dir.file("sea.jpg"), 90, true);
  addCell(&tile, 0, 0, 200, 100);
  const std::string tiff = dir.file("beach, Mosaic.tif");
  writeFile(tiff, "II*\0 not really");
  ASSERT_TRUE(writeWebPage(grid, tiff, folder, 5, nullptr, false));
  EXPECT_THAT(dialogs->texts(), ElementsAre("Unable to resize resulting mosaic for the Web Page. "
                                            "The Full mosaic image will be used."));
  EXPECT_THAT(page(), HasSubstr("<img src=\"" + fileUrl(tiff) + "\" border=0 width=10 usemap"));
  EXPECT_FALSE(fs::exists(fs::path(folder) / "mosaic.jpg"));
  // Width 10 for the page setting 5.
  EXPECT_EQ(attribute(areas().at(0), "coords"), "0,0,10,5");
}

TEST_F(WebPageTest, StopEndsTheAreasButCompletesThePage) {
  FotoInfo& tile = addTile(dir.file("sea.jpg"), 90, true);
  addCell(&tile, 0, 0, 200, 100);
  std::atomic<std::uint32_t> stop{1};
  ASSERT_TRUE(writeWebPage(grid, mosaicPath, folder, 100, &stop, true));
  EXPECT_THAT(areas(), IsEmpty());
  EXPECT_THAT(page(), ::testing::EndsWith("</map>\r\n</body>\r\n</html>\r\n"));
}

TEST_F(WebPageTest, PageThatCannotBeCreatedFailsAndHarmsNothing) {
  FotoInfo& tile = addTile(dir.file("sea.jpg"), 90, true);
  addCell(&tile, 0, 0, 200, 100);
  const std::string blocker = dir.file("a file");
  writeFile(blocker, "not a folder");
  const std::string before = readFile(mosaicPath);
  EXPECT_FALSE(writeWebPage(grid, mosaicPath, blocker + "/Web Page", 100, nullptr, true));
  EXPECT_EQ(readFile(blocker), "not a folder");
  EXPECT_EQ(readFile(mosaicPath), before);
  EXPECT_THAT(dialogs->texts(), IsEmpty());
}

// The job's stage calls: the first saved piece, the job's stop flag, and the report with the
// job's main image size and mask file; the mask stage writes the context's grid.
TEST_F(WebPageTest, StagesTakeWhatTheJobKeeps) {
  FotoInfo& tile = addTile(dir.file("sea.jpg"), 90, true);
  addCell(&tile, 0, 0, 200, 100);
  grid.columns = 200;
  grid.rows = 100;
  MosaicJob job;
  TileImagesList list;
  MatchingContext context(job, grid, list, comparison);

  EXPECT_FALSE(writeWebPageStage(context, folder, 100, false));  // nothing saved
  EXPECT_FALSE(fs::exists(folder));
  SavedPiece piece;
  piece.path = mosaicPath;
  job.savedPieces.push_back(piece);
  ASSERT_TRUE(writeWebPageStage(context, folder, 100, false));
  EXPECT_EQ(areas().size(), 1u);
  job.setStopRequest(true);
  ASSERT_TRUE(writeWebPageStage(context, folder, 100, false));
  EXPECT_THAT(areas(), IsEmpty());

  job.mainImageWidth = 321;
  job.mainImageHeight = 123;
  job.currentMaskFile = "/masks/m.png";
  const std::string report = dir.file("report.csv");
  ASSERT_TRUE(writeTextReportStage(context, report));
  EXPECT_THAT(readFile(report), HasSubstr("Main Image Size (Width x Height in Pixels):,321,x,123"));
  EXPECT_THAT(readFile(report), HasSubstr("MaskFile:,/masks/m.png\r\n"));

  const std::string mask = dir.file("mask.bmp");
  ASSERT_TRUE(writeMaskImageStage(context, false, {{mask, MaskImageTarget::Format::Bmp, 100}}));
  EXPECT_EQ(readFile(mask).size(), 54u + 100u * 600u);
}

// Writes a sample page for the browser test when it asks for one (TG_WEB_PAGE_SAMPLE_DIR).
TEST_F(WebPageTest, SampleForBrowser) {
  const char* target = std::getenv("TG_WEB_PAGE_SAMPLE_DIR");
  if (target == nullptr || *target == '\0') GTEST_SKIP() << "only for the browser test";
  FotoInfo& big = addTile(dir.file("big & \"odd\" tile.jpg"), 60, true, 400, 300);
  FotoInfo& small = addTile(dir.file("Zürich.jpg"), 220, true, 80, 60);
  addCell(&big, 0, 0, 100, 100);
  addCell(&small, 100, 0, 100, 100);
  const std::string sampleFolder = (fs::path(target) / "page").string();
  fs::remove_all(sampleFolder);
  ASSERT_TRUE(writeWebPage(grid, mosaicPath, sampleFolder, 400, nullptr, true));
}

}  // namespace
}  // namespace tg::test
