// SPDX-License-Identifier: GPL-3.0-or-later
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli_helpers.h"
#include "imaging/image_file.h"

namespace tg {
namespace {

/// A mosaic of 400 x 300 pixels in cells of 10 pixels: small enough for every format.
constexpr const char* kSmallMosaic =
    "--set MosaicSizeUnit=pixel --set MosaicSizeWidth=400 --set MosaicSizeHeight=300 "
    "--set TileUnit=pixel --set TileSize=10 --set ResolutionUnit=ppi --set ResolutionSize=72 --yes";

class CliMosaic : public test::CliFixture {
 protected:
  void SetUp() override {
    test::CliFixture::SetUp();
    const test::CliRun run = cli("list build --include tiles tiles.tg4");
    ASSERT_EQ(run.exitCode, 0) << run.err;
  }

  test::CliRun mosaic(const std::string& arguments) {
    return cli(std::string("mosaic --list tiles.tg4 ") + kSmallMosaic + " " + arguments);
  }

  /// Writes a 240 x 180 JPEG named `name` into the scratch folder whose left half is `left`
  /// and right half `right`.
  void writeHalves(const std::string& name, Pixel left, Pixel right) {
    Foto image;
    ASSERT_TRUE(image.create(240, 180));
    for (std::uint32_t y = 0; y < 180; ++y) {
      for (std::uint32_t x = 0; x < 240; ++x) image.row(y)[x] = x < 120 ? left : right;
    }
    ASSERT_TRUE(writeJpegImage(m_dir.file(name), image, 100, 0));
  }

  /// The rows of the cell table of a text report.
  static std::vector<std::string> cellRows(const std::string& path) {
    const std::string text = test::readFile(path);
    const std::string header = "Tile Priority,Score,Used Count\r\n";
    std::vector<std::string> rows;
    auto at = text.find(header);
    if (at == std::string::npos) return rows;
    for (at += header.size(); at < text.size();) {
      const auto end = text.find("\r\n", at);
      if (end == std::string::npos || end == at) break;
      rows.push_back(text.substr(at, end - at));
      at = end + 2;
    }
    return rows;
  }

  [[nodiscard]] std::string head(const std::string& name, std::size_t bytes) {
    return test::readFile(m_dir.path() / name).substr(0, bytes);
  }
};

struct FormatRow {
  const char* settings;
  const char* output;  ///< the -o path
  const char* file;    ///< the file written
  std::string magic;
};

TEST_F(CliMosaic, EveryRasterFormatIsWrittenAndNamedAfterTheOutputPath) {
  // A format's extension of any length is replaced by the chosen format's; any other name,
  // in a dotted folder too, gets the format's extension added.
  const FormatRow rows[] = {
      {"--set FileFormat=jpg", "out.d/jpeg.jpeg", "out.d/jpeg.jpg", std::string("\xFF\xD8\xFF", 3)},
      {"--set FileFormat=tiff --set OutputTIFF64=0", "out/tiff.tiff", "out/tiff.tiff",
       std::string("II*\0", 4)},
      {"--set FileFormat=tiff --set OutputTIFF64=1", "out/bigtiff.jpg", "out/bigtiff.tiff",
       std::string("II+\0", 4)},
      {"--set FileFormat=tiff_jpg80", "out/tiffjpeg", "out/tiffjpeg.tiff", std::string("II*\0", 4)},
      {"--set FileFormat=psd", "out/psd.v2", "out/psd.v2.psd", std::string("8BPS\0\1", 6)},
      {"--set FileFormat=psb", "out/psb.PSB", "out/psb.psb", std::string("8BPS\0\2", 6)},
      {"--set FileFormat=ppm", "out/ppm.", "out/ppm.ppm", "P6\n"},
      {"--set FileFormat=bmp", "out/bmp.xyz", "out/bmp.xyz.bmp", "BM"},
      {"--set FileFormat=raw", "out/raw.raw", "out/raw.raw", ""},
  };
  for (const FormatRow& row : rows) {
    SCOPED_TRACE(row.output);
    const test::CliRun run = mosaic(std::string(row.settings) + " -i main.jpg -o " + row.output);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string file = row.file;
    EXPECT_EQ(run.out, "Mosaic in: " + m_root + "/" + file + "\n");
    EXPECT_NE(run.err.find("Completed 1 Mosaic!"), std::string::npos) << run.err;
    ASSERT_TRUE(std::filesystem::exists(m_dir.path() / file));
    EXPECT_EQ(head(file, row.magic.size()), row.magic);
    if (file.ends_with(".jpg")) {
      std::uint32_t width = 0;
      std::uint32_t height = 0;
      ASSERT_TRUE(readImageSize(m_dir.file(file), width, height));
      EXPECT_EQ(width, 400u);
      EXPECT_EQ(height, 300u);
    }
    if (file.ends_with(".raw")) {
      EXPECT_EQ(std::filesystem::file_size(m_dir.path() / file), 400u * 300u * 3u);
    }
  }
}

TEST_F(CliMosaic, RuleChangesAndEmptyCellsAreToldBeforeTheJobEvenUnderYes) {
  // 40 x 30 cells from 30 pictures without duplicates: 1170 cells stay empty.
  const test::CliRun run = mosaic(
      "--set DuplicateSpacing=0 --set OutputLayers=1 -i main.jpg "
      "-o short/s.jpg");
  const std::string& err = run.err;
  const auto spacing = err.find(
      "DuplicateSpacing 0 means no duplicates: TileDuplication 0 "
      "becomes 1, so every picture is used at most once.\n");
  const auto layers = err.find("OutputLayers is switched off: the format jpg has no layers");
  const auto empty =
      err.find("Tiles will run short: at least 1170 of the 1200 cells will stay empty.\n");
  const auto question = err.find("Not all tiles in your Mosaic will be filled");
  ASSERT_NE(spacing, std::string::npos) << err;
  ASSERT_NE(layers, std::string::npos) << err;
  ASSERT_NE(empty, std::string::npos) << err;
  EXPECT_LT(spacing, layers);
  EXPECT_LT(layers, empty);
  EXPECT_LT(empty, question);
  EXPECT_NE(err.find("Completed 1 Mosaic!"), std::string::npos) << err;
}

TEST_F(CliMosaic, SplitMosaicWritesPiecesOfTheGivenSize) {
  const test::CliRun run = mosaic("--split 200x150 -i main.jpg -o split/piece.jpg");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::vector<std::string> pieces;
  for (const auto& entry : std::filesystem::directory_iterator(m_dir.path() / "split")) {
    pieces.push_back(entry.path().filename().string());
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    ASSERT_TRUE(readImageSize(entry.path().string(), width, height));
    EXPECT_EQ(width, 200u);
    EXPECT_EQ(height, 150u);
  }
  EXPECT_EQ(pieces.size(), 4u);
  // A piece size the split dialog refuses stops the start.
  const test::CliRun refused = mosaic("--split 5x5 -i main.jpg -o bad/piece.jpg");
  EXPECT_NE(refused.exitCode, 0);
  EXPECT_NE(refused.err.find("Please insert valid values for the Split Size in Pixels."),
            std::string::npos)
      << refused.err;
}

TEST_F(CliMosaic, SplitSizesInTilesOrPieceCountsBecomePixels) {
  auto pieceCount = [this](const std::string& folder) {
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.path() / folder)) {
      count += entry.path().extension() == ".jpg" ? 1 : 0;
    }
    return count;
  };
  // Two pieces across and down of the 400 x 300 mosaic.
  test::CliRun run = mosaic("--split 2x2pieces -i main.jpg -o pieces/p.jpg");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("Split pieces: 200 x 150 pixels, 2 x 2 pieces"), std::string::npos)
      << run.err;
  EXPECT_EQ(pieceCount("pieces"), 4u);
  // Fifteen by ten cells of 10 pixels: 150 x 100, so 3 x 3 pieces, the last ones narrower.
  run = mosaic("--split 15x10tiles -i main.jpg -o tiles15/p.jpg");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("Split pieces: 150 x 100 pixels, 3 x 3 pieces"), std::string::npos)
      << run.err;
  EXPECT_EQ(pieceCount("tiles15"), 9u);
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  ASSERT_TRUE(readImageSize(m_dir.file("tiles15/p03x03.jpg"), width, height));
  EXPECT_EQ(width, 100u);
  EXPECT_EQ(height, 100u);
  // Forty pieces across would be 10 pixels wide: the split dialog's range refuses them.
  run = mosaic("--split 40x1pieces -i main.jpg -o narrow/p.jpg");
  EXPECT_NE(run.exitCode, 0);
  EXPECT_NE(run.err.find("Please insert valid values for the Split Size in Pixels."),
            std::string::npos)
      << run.err;
  EXPECT_EQ(cli("mosaic --list tiles.tg4 --split 2x2cm -i main.jpg").exitCode, 2);
}

TEST_F(CliMosaic, MaskFileShapesTheCells) {
  // Two regions: the left half red, the right half blue.
  writeHalves("shape.jpg", 0x000000FF, 0x00FF0000);
  const test::CliRun run =
      mosaic("--mask shape.jpg --set TextReport=1 -i main.jpg -o masked/m.jpg");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(std::filesystem::exists(m_dir.path() / "masked/m.jpg"));
  // Two regions give two cells, not the pattern's 40 x 30.
  EXPECT_EQ(cellRows(m_dir.file("masked/m Text Report.csv")).size(), 2u);
  const test::CliRun missing = mosaic("--mask nowhere.jpg -i main.jpg -o masked/n.jpg");
  EXPECT_NE(missing.exitCode, 0);
  // Mask cells have no common tile size to count pieces in, nor a mosaic size to divide.
  const test::CliRun split =
      mosaic("--mask shape.jpg --split 2x2tiles -i main.jpg -o masked/s.jpg");
  EXPECT_NE(split.exitCode, 0);
  EXPECT_NE(split.err.find("--split with a mask file takes the piece size in pixels only"),
            std::string::npos)
      << split.err;
}

/// The pixel (x, y) of a 24- or 32-bit uncompressed BMP file as 0xRRGGBB; -1 when the file is
/// not such a BMP or the pixel lies outside it.
long bmpPixel(const std::string& bytes, std::int32_t x, std::int32_t y) {
  auto u32 = [&bytes](std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
  };
  if (bytes.size() < 54 || bytes.compare(0, 2, "BM") != 0) return -1;
  const std::uint32_t offset = u32(10);
  const auto width = static_cast<std::int32_t>(u32(18));
  const auto height = static_cast<std::int32_t>(u32(22));
  const unsigned bits = static_cast<unsigned char>(bytes[28]) | static_cast<unsigned>(bytes[29])
                                                                    << 8;
  if ((bits != 24 && bits != 32) || x < 0 || y < 0 || x >= width || y >= std::abs(height))
    return -1;
  const std::size_t stride = (static_cast<std::size_t>(width) * bits / 8 + 3) / 4 * 4;
  const std::size_t row = height > 0 ? static_cast<std::size_t>(height - 1 - y) : y;
  const std::size_t at = offset + row * stride + static_cast<std::size_t>(x) * bits / 8;
  if (at + 3 > bytes.size()) return -1;
  const auto b = static_cast<unsigned char>(bytes[at]);
  const auto g = static_cast<unsigned char>(bytes[at + 1]);
  const auto r = static_cast<unsigned char>(bytes[at + 2]);
  return static_cast<long>(r) << 16 | g << 8 | b;
}

TEST_F(CliMosaic, ReportWebPageAndMaskFilesDescribeTheMosaic) {
  const test::CliRun run = mosaic(
      "--set TextReport=1 --set WebPageSize=200 --set CreateMaskFile=1 "
      "-i main.jpg -o comp/c.jpg");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::string base = m_dir.file("comp/c");

  // The report: one row per cell of the 40 x 30 grid, each with a tile of the list.
  const std::string report = test::readFile(base + " Text Report.csv");
  EXPECT_EQ(report.rfind("\xEF\xBB\xBF"
                         "Main Image Size (Width x Height in Pixels):,240,x,180\r\n",
                         0),
            0u)
      << report.substr(0, 80);
  EXPECT_NE(report.find("Mosaic Size (Width x Height in Pixels):,400,x,300\r\n"),
            std::string::npos);
  EXPECT_NE(report.find("Tiles with a image:,1200\r\nTiles without a image:,0\r\n"),
            std::string::npos);
  const auto rows = cellRows(base + " Text Report.csv");
  ASSERT_EQ(rows.size(), 1200u);
  EXPECT_EQ(rows.front().rfind("0,0,10,10,0 ,\"" + m_root + "/tiles/", 0), 0u) << rows.front();
  EXPECT_EQ(rows.back().rfind("390,290,10,10,0 ,\"" + m_root + "/tiles/", 0), 0u) << rows.back();
  // The settings file beside it holds what the mosaic was made with.
  const std::string settings = test::readFile(base + " Settings.txt");
  EXPECT_NE(settings.find("[Mosaic Settings]"), std::string::npos);
  EXPECT_NE(settings.find("TextReport = 1"), std::string::npos) << settings;

  // The web page: a reduced copy 200 pixels wide and one linked area per cell, whose tile
  // copies sit beside the page.
  const std::string folder = base + " Web Page";
  const std::string page = test::readFile(folder + "/index.html");
  EXPECT_NE(page.find("<img src=\"mosaic.jpg\" border=0 width=200 usemap=\"#Map\">"),
            std::string::npos);
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  ASSERT_TRUE(readImageSize(folder + "/mosaic.jpg", width, height));
  EXPECT_EQ(width, 200u);
  EXPECT_EQ(height, 150u);
  std::size_t areas = 0;
  for (auto at = page.find("<area "); at != std::string::npos; at = page.find("<area ", at + 1)) {
    ++areas;
    const auto href = page.find("href=\"", at) + 6;
    const std::string link = page.substr(href, page.find('"', href) - href);
    ASSERT_EQ(link.rfind("tiles/", 0), 0u) << link;
    EXPECT_TRUE(std::filesystem::exists(folder + "/" + link)) << link;
  }
  EXPECT_EQ(areas, 1200u);
  EXPECT_NE(page.find("coords=\"195,145,200,150\""), std::string::npos);

  // The mask file paints neighbouring cells in different colours; the score image is grey.
  const std::string mask = test::readFile(base + " MaskFile.bmp");
  const long first = bmpPixel(mask, 5, 5);
  ASSERT_GE(first, 0);
  EXPECT_EQ(bmpPixel(mask, 399, 299) >= 0, true);
  EXPECT_EQ(bmpPixel(mask, 2, 8), first);  // the same cell
  EXPECT_NE(bmpPixel(mask, 15, 5), first);
  EXPECT_NE(bmpPixel(mask, 5, 15), first);
  EXPECT_NE(bmpPixel(mask, 15, 5), bmpPixel(mask, 25, 5));
  ASSERT_TRUE(readImageSize(base + " MaskFile.jpg", width, height));
  EXPECT_EQ(width, 400u);
  EXPECT_EQ(height, 300u);
  Foto score;
  ASSERT_TRUE(loadImageFile(score, base + " Score.jpg", 0, 0, false));
  ASSERT_EQ(score.width, 400u);
  for (std::uint32_t y = 5; y < 300; y += 10) {
    for (std::uint32_t x = 5; x < 400; x += 10) {
      const std::uint32_t p = score.row(y)[x];
      const int r = p & 0xFF;
      const int g = (p >> 8) & 0xFF;
      const int b = (p >> 16) & 0xFF;
      ASSERT_LE(std::abs(r - g) + std::abs(g - b), 6) << x << "," << y;
    }
  }
}

TEST_F(CliMosaic, PriorityMapGivesTheDarkAreasHigherPriority) {
  // Black on the left, white on the right.
  writeHalves("priority.jpg", 0, 0x00FFFFFF);
  const test::CliRun run =
      mosaic("--priority-map priority.jpg --set TextReport=1 -i main.jpg -o prio/p.jpg");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::string report = test::readFile(m_dir.file("prio/p Text Report.csv"));
  EXPECT_NE(report.find("Tile Area Priority:,CUSTOM_PRIORITY\r\n"), std::string::npos);
  double left = 0;
  double right = 0;
  for (const auto& row : cellRows(m_dir.file("prio/p Text Report.csv"))) {
    std::vector<std::string> fields;
    for (std::size_t at = 0, comma = 0; comma != std::string::npos; at = comma + 1) {
      comma = row.find(',', at);
      fields.push_back(row.substr(at, comma == std::string::npos ? comma : comma - at));
    }
    ASSERT_EQ(fields.size(), 11u) << row;
    (std::stoi(fields[0]) < 200 ? left : right) += std::stod(fields[8]);
  }
  EXPECT_GT(left, 1.5 * right) << left << " / " << right;
  // A map that is not there stops the start.
  const test::CliRun missing = mosaic("--priority-map nowhere.jpg -i main.jpg -o prio/n.jpg");
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("the priority map 'nowhere.jpg' does not exist"), std::string::npos)
      << missing.err;
}

TEST_F(CliMosaic, ACompanionFileThatCannotBeWrittenFailsTheRun) {
  // A folder where the report should go: the report cannot be created, the mosaic still is.
  std::filesystem::create_directories(m_dir.path() / "blocked/b Text Report.csv");
  const test::CliRun run = mosaic("--set TextReport=1 -i main.jpg -o blocked/b.jpg");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("blocked/b Text Report.csv' was not written"), std::string::npos)
      << run.err;
  EXPECT_TRUE(std::filesystem::exists(m_dir.path() / "blocked/b.jpg"));
}

TEST_F(CliMosaic, NewFileNamesTwiceInARowKeepTheFirstMosaic) {
  const test::CliRun first = mosaic("--set MosaicFileName=new -i main.jpg");
  ASSERT_EQ(first.exitCode, 0) << first.err;
  const test::CliRun second = mosaic("--set MosaicFileName=new -i main.jpg");
  ASSERT_EQ(second.exitCode, 0) << second.err;
  ASSERT_EQ(first.out.rfind("Mosaic in: ", 0), 0u);
  EXPECT_NE(first.out, second.out);
  const std::string firstPath = first.out.substr(11, first.out.size() - 12);
  const std::string secondPath = second.out.substr(11, second.out.size() - 12);
  EXPECT_TRUE(std::filesystem::exists(firstPath)) << firstPath;
  EXPECT_TRUE(std::filesystem::exists(secondPath)) << secondPath;
}

TEST_F(CliMosaic, MissingMainImageFailsWithoutOutput) {
  const test::CliRun run = mosaic("-i absent.jpg -o out/absent.jpg");
  EXPECT_NE(run.exitCode, 0);
  EXPECT_FALSE(std::filesystem::exists(m_dir.path() / "out/absent.jpg"));
}

TEST_F(CliMosaic, InterruptStopsTheJobAndTheExitStatusSaysSo) {
  // A mosaic large enough to be still rendering when the first status line appears: Ctrl-C
  // once the renderer reports progress.
  const test::InterruptedRun run =
      test::interruptWhenSeen(m_root,
                              {"mosaic",
                               "--list",
                               "tiles.tg4",
                               "--set",
                               "MosaicSizeUnit=pixel",
                               "--set",
                               "MosaicSizeWidth=8000",
                               "--set",
                               "MosaicSizeHeight=6000",
                               "--set",
                               "TileUnit=pixel",
                               "--set",
                               "TileSize=100",
                               "--set",
                               "FileFormat=ppm",
                               "--yes",
                               "-i",
                               "main.jpg",
                               "-o",
                               "big/big.ppm"},
                              m_dir.file("stop.err"), "Saving Mosaic", 20000);
  ASSERT_TRUE(run.started);
  ASSERT_TRUE(WIFEXITED(run.status));
  const std::string& err = run.err;
  EXPECT_NE(WEXITSTATUS(run.status), 0) << err;
  EXPECT_NE(err.find("Stopped!"), std::string::npos) << err;
}

}  // namespace
}  // namespace tg
