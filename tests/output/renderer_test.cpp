// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "geometry/cell_grid.h"
#include "geometry/mosaic_geometry.h"
#include "imaging/image_file.h"
#include "job/mosaic_settings.h"
#include "output/jpg_mosaic_save.h"
#include "output/save_mosaic.h"
#include "render_fixture.h"
#include "video/tile_picture.h"

namespace tg {
namespace {

using Renderer = test::RenderFixture;

constexpr Pixel kRed = makePixel(220, 30, 30);
constexpr Pixel kBlue = makePixel(20, 40, 210);
constexpr Pixel kGreen = makePixel(30, 200, 60);
constexpr Pixel kYellow = makePixel(230, 220, 40);
constexpr Pixel kBorder = makePixel(12, 34, 56);

SavePiecesRequest rawRequest(const std::string& base, std::uint32_t w, std::uint32_t h) {
  SavePiecesRequest request;
  request.base = base;
  request.format.format = kFormatRaw;
  request.width = w;
  request.height = h;
  request.loadSize = 128;
  return request;
}

TEST(SplitAndBands, SplitSizesAndBandRowsFromTheBudget) {
  EXPECT_EQ(effectiveSplit(10, 1000), 1000u);
  EXPECT_EQ(effectiveSplit(0, 1000), 1000u);
  EXPECT_EQ(effectiveSplit(11, 1000), 11u);
  EXPECT_EQ(effectiveSplit(1001, 1000), 1000u);
  EXPECT_EQ(bandRowsForBudget(200, 100000), 500u);
  EXPECT_EQ(bandRowsForBudget(5, 100000), 25u) << "5 MB counts as 10";
  EXPECT_EQ(bandRowsForBudget(5000, 100000), 7250u) << "5000 MB counts as 2900";
  EXPECT_EQ(bandRowsForBudget(10, 4000000000u), 1u) << "at least one row";
}

TEST_F(Renderer, SplitMosaicWritesNinePiecesColumnByColumn) {
  JPGMosaicSave save(job, cells, comparison, kBorder);
  SavePiecesRequest request = rawRequest(dir.file("beach Mosaic"), 1000, 800);
  request.splitWidth = 400;
  request.splitHeight = 300;
  std::vector<SavedPiece> pieces{SavedPiece{}};  // emptied first
  ASSERT_TRUE(save.savePieces(request, pieces));
  ASSERT_EQ(pieces.size(), 9u);
  const char* names[] = {"01x01", "02x01", "03x01", "01x02", "02x02",
                         "03x02", "01x03", "02x03", "03x03"};
  for (std::size_t i = 0; i < 9; ++i) {
    const std::uint32_t column = static_cast<std::uint32_t>(i / 3);
    const std::uint32_t row = static_cast<std::uint32_t>(i % 3);
    const SavedPiece& piece = pieces[i];
    EXPECT_EQ(piece.name, std::string("beach Mosaic") + names[i]);
    EXPECT_EQ(piece.path, dir.file(std::string("beach Mosaic") + names[i] + ".raw"));
    EXPECT_EQ(piece.directory, dir.path().string());
    EXPECT_EQ(piece.directorySeparator, dir.path().string() + "/");
    EXPECT_EQ(piece.x, column * 400);
    EXPECT_EQ(piece.y, row * 300);
    EXPECT_EQ(piece.width, column == 2 ? 200 : 400);
    EXPECT_EQ(piece.height, row == 2 ? 200 : 300);
    EXPECT_EQ(std::filesystem::file_size(piece.path),
              static_cast<std::uintmax_t>(piece.width * piece.height * 3));
  }
  // Without cells every band is pure background; T never reaches the file.
  const auto pixels = readRaw(pieces[7].path, 200, 300);
  ASSERT_FALSE(pixels.empty());
  for (const Pixel p : pixels) ASSERT_EQ(p, kBorder);
  EXPECT_TRUE(dialogs->texts().empty());
}

TEST_F(Renderer, CellsShowTheirTilesAndBordersTheBackground) {
  addCell(&addTile("red", kRed, kRed), 0, 0, 40, 40);
  addCell(&addTile("blue", kBlue, kBlue), 44, 0, 40, 40);
  addCell(&addTile("green", kGreen, kGreen), 0, 44, 40, 40);
  // A split tile shows its halves the right way up.
  addCell(&addTile("yellow-red", kYellow, kRed, 64, 96), 44, 44, 40, 40);
  JPGMosaicSave save(job, cells, comparison, kBorder);
  std::vector<SavedPiece> pieces;
  ASSERT_TRUE(save.savePieces(rawRequest(dir.file("m"), 84, 84), pieces));
  const auto pixels = readRaw(dir.file("m.raw"), 84, 84);
  ASSERT_FALSE(pixels.empty());
  auto at = [&](int x, int y) { return pixels[static_cast<std::size_t>(y) * 84 + x]; };
  EXPECT_TRUE(near(at(20, 20), kRed));
  EXPECT_TRUE(near(at(64, 20), kBlue));
  EXPECT_TRUE(near(at(20, 64), kGreen));
  EXPECT_TRUE(near(at(64, 50), kYellow));
  EXPECT_TRUE(near(at(64, 80), kRed));
  EXPECT_EQ(at(42, 10), kBorder);
  EXPECT_EQ(at(10, 42), kBorder);
  EXPECT_EQ(cells[0]->render.variant, 1);
  EXPECT_EQ(job.progress().current(ProgressStage::Rendering), 4.0) << "one step per cell and band";
}

TEST_F(Renderer, BandsThreadsAndTileGroupsDoNotChangeThePicture) {
  FotoInfo& red = addTile("red", kRed, kBlue);
  FotoInfo& green = addTile("green", kGreen, kYellow);
  // Each tile is shown by cells all over the grid (red, red, green, red in every row), and the
  // last row holds smaller cells, which need their tile decoded at their own size.
  for (int i = 0; i < 12; ++i) {
    const bool small = i >= 8;
    addCell(i % 4 == 2 ? &green : &red, (i % 4) * 25, (i / 4) * 23, small ? 20 : 24,
            small ? 18 : 21);
  }
  std::uint64_t loads = 0;
  auto render = [&](std::uint32_t bandRows, std::uint32_t workers, const std::string& name) {
    JPGMosaicSave save(job, cells, comparison, kBorder);
    save.startWorkers(workers, 0);
    SavePiecesRequest request = rawRequest(dir.file(name), 100, 69);
    save.configure(request);
    std::vector<SavedPiece> pieces;
    EXPECT_TRUE(
        save.savePiece(request.base, request.format, 100, 69, bandRows, 0, 0, pieces, 0, 1, 1));
    loads = save.statistics().tileLoads.load();
    return test::readFile(dir.file(name + ".raw"));
  };
  const std::string reference = render(1000, 0, "one-band");
  ASSERT_EQ(reference.size(), 100u * 69u * 3u);
  EXPECT_EQ(loads, 4u) << "one band: each tile once per cell size";
  EXPECT_EQ(render(23, 0, "bands"), reference);
  EXPECT_EQ(loads, 6u) << "three bands, one per grid row: each tile once per band";
  EXPECT_EQ(render(30, 0, "cut-free-bands"), reference);
  EXPECT_EQ(loads, 6u) << "bands of 30 rows end at the gaps between the rows of cells, above them";
  EXPECT_EQ(render(7, 0, "odd-bands"), reference);
  EXPECT_EQ(render(1, 3, "rows-threads"), reference);
  EXPECT_EQ(render(10, 3, "threads"), reference);
}

TEST_F(Renderer, MissingOrDamagedTileFileLeavesBackgroundAndTheSaveSucceeds) {
  resetTileLoadFailures();
  addCell(&addTile("gone", kRed, kRed, 64, 64, false), 0, 0, 30, 30);
  addCell(&addTile("here", kBlue, kBlue), 30, 0, 30, 30);
  // A photograph cut short is no picture either: the renderer never shows its grey rest.
  FotoInfo& cut = addTile("cut", kGreen, kGreen, 256, 256);
  const std::string whole = test::readFile(cut.path);
  test::writeFile(cut.path, whole.substr(0, whole.size() / 2));
  addCell(&cut, 60, 0, 30, 30);
  JPGMosaicSave save(job, cells, comparison, kBorder);
  std::vector<SavedPiece> pieces;
  ASSERT_TRUE(save.savePieces(rawRequest(dir.file("m"), 90, 30), pieces));
  const auto pixels = readRaw(dir.file("m.raw"), 90, 30);
  ASSERT_FALSE(pixels.empty());
  EXPECT_EQ(pixels[15 * 90 + 15], kBorder);
  EXPECT_TRUE(near(pixels[15 * 90 + 45], kBlue));
  EXPECT_EQ(pixels[15 * 90 + 75], kBorder);
  EXPECT_EQ(tileLoadFailures(), 2u);
  EXPECT_TRUE(dialogs->texts().empty());
}

TEST_F(Renderer, OverlappingShapedCellsBlendAsIfPastedInTurn) {
  // Two mask cells whose boxes overlap; each keeps only its own half of the box, and in the
  // shared middle column both claim the pixels, so the result there is their average.
  FotoInfo& red = addTile("red", kRed, kRed);
  FotoInfo& blue = addTile("blue", kBlue, kBlue);
  for (int repeat = 0; repeat < 8; ++repeat) {
    cells.clear();
    cellStore.clear();
    PuzzleInfo& a = addCell(&red, 0, 0, 30, 20);
    PuzzleInfo& b = addCell(&blue, 20, 0, 30, 20);
    ASSERT_TRUE(a.shape.allocateBitmap(600));
    ASSERT_TRUE(b.shape.allocateBitmap(600));
    for (std::uint32_t y = 0; y < 20; ++y) {
      for (std::uint32_t x = 0; x < 30; ++x) {
        a.shape.setBit(y * 30 + x, x < 25);  // mosaic columns 0-24
        b.shape.setBit(y * 30 + x, x >= 2);  // mosaic columns 22-49
      }
    }
    JPGMosaicSave save(job, cells, comparison, kBorder);
    save.startWorkers(3, 0);
    std::vector<SavedPiece> pieces;
    ASSERT_TRUE(save.savePieces(rawRequest(dir.file("m"), 50, 20), pieces));
    const auto pixels = readRaw(dir.file("m.raw"), 50, 20);
    ASSERT_FALSE(pixels.empty());
    const Pixel left = pixels[10 * 50 + 5];
    const Pixel right = pixels[10 * 50 + 45];
    EXPECT_TRUE(near(left, kRed));
    EXPECT_TRUE(near(right, kBlue));
    const Pixel shared = pixels[10 * 50 + 23];
    EXPECT_EQ(pixelRed(shared), (pixelRed(left) + pixelRed(right)) / 2);
    EXPECT_EQ(pixelBlue(shared), (pixelBlue(left) + pixelBlue(right)) / 2);
    EXPECT_EQ(pixels[10 * 50 + 21], pixels[10 * 50 + 5]) << "only the red cell covers column 21";
  }
}

TEST_F(Renderer, IndividualTilesTakeTheFormatsExtension) {
  addCell(&addTile("Beach Photo", kRed, kBlue), 0, 0, 20, 20);
  addCell(&addTile("dune", kGreen, kGreen), 20, 0, 20, 20);
  const std::string tilesFolder = dir.file("m Tile Images");
  std::filesystem::create_directory(tilesFolder);

  SavePiecesRequest request = rawRequest(dir.file("m"), 40, 20);
  request.format.format = kFormatPpm;
  request.tilesFolder = tilesFolder;
  {
    JPGMosaicSave save(job, cells, comparison, kBorder);
    std::vector<SavedPiece> pieces;
    ASSERT_TRUE(save.savePieces(request, pieces));
    EXPECT_EQ(save.tileSaveErrors(), 0u);
  }
  const std::string first = tilesFolder + "/Tile_x0000000_y0000000__Beach Photo.psd";
  ASSERT_TRUE(std::filesystem::exists(first));
  EXPECT_EQ(std::filesystem::file_size(first), 114u + 20u * 20u * 3u);
  EXPECT_TRUE(std::filesystem::exists(tilesFolder + "/Tile_x0000020_y0000000__dune.psd"));
  EXPECT_EQ(individualTileName(tilesFolder + "/", 5, 7, "/a/b.c/pic.jpeg", ".jpg"),
            tilesFolder + "/Tile_x0000005_y0000007__pic.jpg");

  // The first failure stops further tile files; the mosaic is still saved.
  std::filesystem::remove_all(tilesFolder);
  request.format.format = kFormatJpeg;
  JPGMosaicSave save(job, cells, comparison, kBorder);
  std::vector<SavedPiece> pieces;
  EXPECT_TRUE(save.savePieces(request, pieces));
  EXPECT_GE(save.tileSaveErrors(), 1u);
  EXPECT_TRUE(std::filesystem::exists(dir.file("m.jpg")));
}

TEST_F(Renderer, FormatsThatWriteNoPictureFail) {
  addCell(&addTile("red", kRed, kRed), 0, 0, 20, 20);
  JPGMosaicSave save(job, cells, comparison, kBorder);
  std::vector<SavedPiece> pieces;
  SavePiecesRequest request = rawRequest(dir.file("m"), 20, 20);
  request.format.format = kFormatMosaic;
  EXPECT_FALSE(save.savePieces(request, pieces));
  EXPECT_TRUE(pieces.empty());
  EXPECT_TRUE(dialogs->texts().empty());
}

TEST_F(Renderer, StopDuringTheSaveLeavesNoHalfFileAndSaysNothing) {
  for (int i = 0; i < 6; ++i)
    addCell(&addTile("t" + std::to_string(i), kRed, kBlue), i * 10, 0, 10, 10);
  JPGMosaicSave save(job, cells, comparison, kBorder);
  job.setStopRequest(true);
  std::vector<SavedPiece> pieces;
  SavePiecesRequest request = rawRequest(dir.file("m"), 60, 10);
  request.format.format = kFormatPpm;
  EXPECT_FALSE(save.savePieces(request, pieces));
  EXPECT_EQ(pieces.size(), 1u) << "the record is kept whatever the outcome";
  EXPECT_TRUE(dialogs->texts().empty());
  EXPECT_FALSE(std::filesystem::exists(dir.file("m.ppm")));
}

TEST_F(Renderer, SaveMosaicWritesTheGridUnderTheOutputNames) {
  CellGrid grid;
  FotoInfo& red = addTile("red", kRed, kRed);
  for (int i = 0; i < 3; ++i) {
    PuzzleInfo& cell = grid.append();
    cell.shape.setBox(0, i * 20, 20, 20);
    cell.active = 1;
    cell.tile = &red;
    cell.signature = red.signature;
  }
  grid.cells.emplace_back();  // removed cells leave null entries
  MosaicGeometry geometry;
  geometry.mosaicWidth = 60;
  geometry.mosaicHeight = 20;
  geometry.tileWidth = geometry.tileHeight = 20;
  geometry.ppi = 240.7;
  job.settings.fileFormat.set(kFormatJpeg);
  job.settings.jpgQuality.set(90);
  job.settings.borderColor.set(0x00FF0000);
  job.settings.advanced.setRowValue(AdvancedRow::MosaicFastPreview, "1");
  job.outputNames.base = dir.file("beach Mosaic");
  job.threadCount = 2;
  ASSERT_TRUE(saveMosaic(job, grid, geometry, true, comparison));
  ASSERT_EQ(job.savedPieces.size(), 1u);
  EXPECT_EQ(job.savedPieces[0].path, dir.file("beach Mosaic.jpg"));
  Foto loaded;
  ASSERT_TRUE(loadImageFile(loaded, job.savedPieces[0].path, 0, 0, true));
  EXPECT_EQ(loaded.width, 60u);
  // Black-and-white lists render grey tiles.
  const Pixel p = loaded.at(30, 10);
  EXPECT_NEAR(static_cast<int>(pixelRed(p)), static_cast<int>(pixelBlue(p)), 3);
  EXPECT_NEAR(static_cast<int>(pixelRed(p)), static_cast<int>(greyValue(kRed)), 4);
  // The fast preview went to the window.
  const auto preview = job.takePreview();
  ASSERT_TRUE(preview.has_value());
  EXPECT_EQ(preview->caption, "Mosaic Preview");
}

}  // namespace
}  // namespace tg
