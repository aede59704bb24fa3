// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/main_image_analysis.h"

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "geometry/cell_grid.h"
#include "imaging/foto.h"
#include "imaging/image_signature.h"
#include "job/mosaic_job.h"

namespace tg {
namespace {

// A picture whose colour changes across it, so that every part has its own signature.
Foto gradient(std::uint32_t w, std::uint32_t h) {
  Foto image;
  EXPECT_TRUE(image.create(w, h));
  for (std::uint32_t y = 0; y < h; ++y) {
    for (std::uint32_t x = 0; x < w; ++x) {
      image.at(x, y) = makePixel(x * 255 / w, y * 255 / h, 128, 0);
    }
  }
  return image;
}

PuzzleInfo& addCell(CellGrid& grid, int left, int top, int width, int height) {
  PuzzleInfo& cell = grid.append();
  cell.shape.setBox(top, left, width, height);
  cell.active = 1;
  return cell;
}

// A square grid of `count` x `count` cells of `side` units.
void squareGrid(CellGrid& grid, int count, int side) {
  for (int row = 0; row < count; ++row) {
    for (int column = 0; column < count; ++column) {
      addCell(grid, column * side, row * side, side, side);
    }
  }
}

std::vector<const PuzzleInfo*> order(const CellGrid& grid) {
  std::vector<const PuzzleInfo*> cells;
  for (const auto& cell : grid.cells) cells.push_back(cell.get());
  return cells;
}

TEST(AnalyzeMainImage, LaysTheGridAroundTheWholeImage) {
  const Foto image = gradient(1000, 500);
  CellGrid grid;
  squareGrid(grid, 4, 10);  // 40 x 40 units: e = max(25, 12.5)
  ASSERT_TRUE(analyzeMainImage(image, grid, false, false));
  EXPECT_EQ(grid.columns, 40u);
  EXPECT_EQ(grid.rows, 20u);
  // The lower half lies beyond the image and is gone; the rest carry the picture under them.
  ASSERT_EQ(grid.size(), 8u);
  for (const auto& cell : grid.cells) {
    ASSERT_TRUE(cell);
    EXPECT_LT(cell->shape.top, 20);
    EXPECT_EQ(cell->active, 1u);
    ImageSignature expected;
    ASSERT_TRUE(buildSignature(image, false, expected, 250, 250, cell->shape.left * 25.0,
                               cell->shape.top * 25.0));
    EXPECT_EQ(cell->signature, expected);
  }
}

TEST(AnalyzeMainImage, FitsTheGridInsideTheImage) {
  const Foto image = gradient(1000, 500);
  CellGrid grid;
  squareGrid(grid, 4, 10);  // e = min(25, 12.5): the grid covers 500 x 500 pixels
  ASSERT_TRUE(analyzeMainImage(image, grid, true, false));
  EXPECT_EQ(grid.columns, 40u);
  EXPECT_EQ(grid.rows, 40u);
  ASSERT_EQ(grid.size(), 16u);
  const PuzzleInfo& last = *grid.cells[15];
  ImageSignature expected;
  ASSERT_TRUE(buildSignature(image, false, expected, 125, 125, last.shape.left * 12.5,
                             last.shape.top * 12.5));
  EXPECT_EQ(last.signature, expected);
}

TEST(AnalyzeMainImage, CountsOnlyColumnsThatReallyCoverTheImage) {
  EXPECT_EQ(coveredGridSize(40, 1000, 25), 40u);
  EXPECT_EQ(coveredGridSize(40, 500, 25), 20u);
  EXPECT_EQ(coveredGridSize(40, 1000, 12.5), 40u);
  // 0.9999 is added: an edge just past a grid line adds a column only from 1/10,000 on.
  EXPECT_EQ(coveredGridSize(40, 200.001, 10), 21u);
  EXPECT_EQ(coveredGridSize(40, 200.0005, 10), 20u);
  EXPECT_EQ(coveredGridSize(40, 200.0001, 10), 20u);
  EXPECT_EQ(coveredGridSize(40, 200, 10), 20u);
  EXPECT_EQ(coveredGridSize(20, 1000, 1), 20u);
}

TEST(AnalyzeMainImage, RemovesFailedCellsByMovingTheLastIntoTheirPlace) {
  const Foto image = gradient(1000, 500);
  CellGrid grid;
  // A, B, C, D on a 40 x 40 grid (e = 25): B and D lie below the image.
  PuzzleInfo& a = addCell(grid, 0, 0, 10, 10);
  addCell(grid, 0, 20, 10, 10);
  PuzzleInfo& c = addCell(grid, 10, 10, 10, 10);
  PuzzleInfo& d = addCell(grid, 30, 30, 10, 10);
  (void)d;
  grid.cells.insert(grid.cells.begin() + 2, nullptr);  // an empty entry is passed over
  ASSERT_TRUE(analyzeMainImage(image, grid, false, false));
  EXPECT_EQ(order(grid), (std::vector<const PuzzleInfo*>{&a, &c, nullptr}));
}

TEST(AnalyzeMainImage, SkipsCellsStartingOnTheImageEdge) {
  const Foto image = gradient(1000, 500);
  CellGrid grid;
  PuzzleInfo& inside = addCell(grid, 30, 0, 10, 20);
  addCell(grid, 40, 0, 10, 20);  // 50 x 20 grid: e = max(20, 25); left x e = 1000 = W
  ASSERT_TRUE(analyzeMainImage(image, grid, false, false));
  EXPECT_EQ(order(grid), (std::vector<const PuzzleInfo*>{&inside}));
  EXPECT_EQ(grid.columns, 40u);
}

TEST(AnalyzeMainImage, OnlyMissingKeepsValidCellsAndTheirFlags) {
  const Foto image = gradient(1000, 500);
  CellGrid grid;
  squareGrid(grid, 2, 20);
  PuzzleInfo& kept = *grid.cells[0];
  kept.signature.values.fill(makePixel(1, 2, 3, 0));
  kept.signature.valid = 1;
  const ImageSignature marker = kept.signature;
  PuzzleInfo& fresh = *grid.cells[1];
  ASSERT_TRUE(analyzeMainImage(image, grid, true, true));
  EXPECT_EQ(kept.signature, marker);
  EXPECT_EQ(kept.active, 1u);
  EXPECT_EQ(fresh.active, 1u);
  EXPECT_NE(fresh.signature, marker);
  EXPECT_EQ(fresh.signature.valid, 1);
}

TEST(AnalyzeMainImage, RefusesEmptyGridsAndImagesWithoutTouchingCells) {
  CellGrid grid;
  grid.columns = 7;
  EXPECT_FALSE(analyzeMainImage(gradient(10, 10), grid, false, false));
  PuzzleInfo& idle = addCell(grid, 0, 0, 10, 10);
  idle.active = 0;
  addCell(grid, 0, 0, 0, 10);  // no area
  EXPECT_FALSE(analyzeMainImage(gradient(10, 10), grid, false, false));
  EXPECT_EQ(grid.size(), 2u);
  EXPECT_EQ(grid.columns, 7u);

  addCell(grid, 0, 0, 10, 10);
  const Foto empty;
  EXPECT_FALSE(analyzeMainImage(empty, grid, false, false));
  EXPECT_EQ(grid.size(), 3u);
}

TEST(AnalyzeMainImage, ReportsProgressAndStopsWhenAsked) {
  const Foto image = gradient(100, 100);
  MosaicJob job;
  CellGrid grid;
  grid.job = &job;
  squareGrid(grid, 3, 10);
  ASSERT_TRUE(analyzeMainImage(image, grid, false, false));
  EXPECT_EQ(job.statusText(), "Analyzing Main Image...");
  EXPECT_EQ(job.progress().maximum(ProgressStage::Analysis), 9.0);
  EXPECT_EQ(job.progress().current(ProgressStage::Analysis), 9.0);

  CellGrid stopped;
  stopped.job = &job;
  squareGrid(stopped, 3, 10);
  addCell(stopped, 100, 100, 10, 10);  // would be removed
  job.setStopRequest(true);
  EXPECT_FALSE(analyzeMainImage(image, stopped, false, false));
  EXPECT_EQ(stopped.size(), 10u);
  for (const auto& cell : stopped.cells) {
    EXPECT_EQ(cell->active, 1u);
    EXPECT_EQ(cell->signature.valid, 0);
  }
}

TEST(AnalyzeMainImage, RemovedCellsLeaveNoDanglingNeighbours) {
  const Foto image = gradient(1000, 500);
  CellGrid grid;
  PuzzleInfo& top = addCell(grid, 0, 0, 10, 10);
  PuzzleInfo& below = addCell(grid, 0, 30, 10, 10);  // outside: removed
  PuzzleInfo& side = addCell(grid, 30, 0, 10, 10);
  top.neighbours = {&below, &side};
  side.neighbours = {&top, &below};
  below.neighbours = {&top, &side};
  ASSERT_TRUE(analyzeMainImage(image, grid, false, false));
  ASSERT_EQ(grid.size(), 2u);
  EXPECT_EQ(top.neighbours, (std::vector<PuzzleInfo*>{&side}));
  EXPECT_EQ(side.neighbours, (std::vector<PuzzleInfo*>{&top}));
}

}  // namespace
}  // namespace tg
