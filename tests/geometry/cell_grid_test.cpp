// SPDX-License-Identifier: GPL-3.0-or-later
#include "geometry/cell_grid.h"

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "geometry/mosaic_geometry.h"
#include "geometry/pattern_layout.h"
#include "imaging/live_objects.h"
#include "job/mosaic_job.h"
#include "job/mosaic_settings.h"
#include "platform/scripted_dialogs.h"

namespace tg {
namespace {

struct Box {
  std::int32_t left, top, width, height;
  bool operator==(const Box&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Box& b) {
  return out << "[" << b.left << "," << b.top << " " << b.width << "x" << b.height << "]";
}

/// The geometry of a `w` x `h` pixel mosaic of `tile`-pixel tiles with `border`.
MosaicGeometry pixelGeometry(std::uint32_t w, std::uint32_t h, double tile, double border,
                             long adapt) {
  MosaicSettings settings;
  settings.mosaicSize.value = SizeValue{double(w), double(h), UnitId::Pixel};
  settings.resolution.value = Quantity{300, UnitId::Ppi};
  settings.tileSize.value = Quantity{tile, UnitId::Pixel};
  settings.borderSize.value = Quantity{border, UnitId::Pixel};
  settings.tileAdapt.value = adapt;
  MosaicGeometry g;
  EXPECT_TRUE(computeMosaicGeometry(settings, w, h, g)) << g.message;
  return g;
}

std::vector<Box> boxes(const CellGrid& grid) {
  std::vector<Box> result;
  for (const auto& cell : grid.cells) {
    const FotoMask& s = cell->shape;
    result.push_back(Box{s.left, s.top, s.width, s.height});
  }
  return result;
}

/// Every cell carries the whole box: no bitmap, area = width x height, active.
void expectPlainCells(const CellGrid& grid) {
  for (const auto& cell : grid.cells) {
    EXPECT_FALSE(cell->shape.hasBitmap());
    EXPECT_EQ(cell->shape.area, std::uint32_t(cell->shape.width * cell->shape.height));
    EXPECT_EQ(cell->active, 1u);
    EXPECT_EQ(cell->tile, nullptr);
  }
}

TEST(BuildCellGrid, CropTileCutsTheEdgeCells) {
  MosaicGeometry g = pixelGeometry(1000, 750, 300, 0, kAdaptCropTile);
  ASSERT_EQ(g.columns, 4u);
  ASSERT_EQ(g.rows, 3u);
  CellGrid grid;
  ASSERT_TRUE(buildCellGrid(grid, 1, g, kAdaptCropTile));
  ASSERT_EQ(grid.size(), 12u);
  EXPECT_EQ(g.tileCount, 12u);
  const std::vector<Box> b = boxes(grid);
  EXPECT_EQ(b[0], (Box{0, 0, 300, 300}));
  EXPECT_EQ(b[3], (Box{900, 0, 100, 300}));
  EXPECT_EQ(b[8], (Box{0, 600, 300, 150}));
  EXPECT_EQ(b[11], (Box{900, 600, 100, 150}));
  expectPlainCells(grid);
  EXPECT_EQ(grid.columns, 1000u);
  EXPECT_EQ(grid.rows, 750u);
  EXPECT_EQ(grid.gap, 0u);
}

TEST(BuildCellGrid, AdaptTileSpreadsTheLeftoverPixels) {
  MosaicGeometry g = pixelGeometry(1000, 750, 300, 0, kAdaptTile);
  CellGrid grid;
  PatternLayout layout;
  ASSERT_TRUE(buildCellGrid(grid, 1, g, kAdaptTile, &layout));
  const std::vector<Box> expected = {{0, 0, 334, 375},     {334, 0, 334, 375},
                                     {668, 0, 332, 375},   {0, 375, 334, 375},
                                     {334, 375, 334, 375}, {668, 375, 332, 375}};
  EXPECT_EQ(boxes(grid), expected);
  expectPlainCells(grid);
  EXPECT_EQ(layout.largestCellWidth, 334u);
  EXPECT_EQ(layout.largestCellHeight, 375u);
  EXPECT_EQ(layout.firstRowCells, 3u);
  EXPECT_EQ(layout.rowCount, 2u);
  EXPECT_EQ(layout.cellCount, 6u);
  EXPECT_EQ(layout.landscapeCells, 6u);
}

TEST(BuildCellGrid, AdaptTileWithBorderLeavesTheGapsUncovered) {
  // 1000 = 3 x (300 + 10) + 70: 24 extra per cell until the 70 run out. Two rows fit with their
  // gaps (620 pixels); the 130 spare rows give 65 to each.
  MosaicGeometry g = pixelGeometry(1000, 750, 300, 10, kAdaptTile);
  CellGrid grid;
  ASSERT_TRUE(buildCellGrid(grid, 1, g, kAdaptTile));
  const std::vector<Box> b = boxes(grid);
  ASSERT_EQ(b.size(), 6u);
  EXPECT_EQ(b[0], (Box{0, 0, 324, 365}));
  EXPECT_EQ(b[1], (Box{334, 0, 324, 365}));
  EXPECT_EQ(b[2], (Box{668, 0, 322, 365}));
  EXPECT_EQ(b[3], (Box{0, 375, 324, 365}));
  EXPECT_EQ(grid.gap, 10u);
}

TEST(BuildCellGrid, AdaptMosaicFillsTheShrunkMosaicExactly) {
  MosaicGeometry g = pixelGeometry(1000, 750, 300, 0, kAdaptMosaic);
  EXPECT_EQ(g.mosaicWidth, 900u);
  EXPECT_EQ(g.mosaicHeight, 600u);
  CellGrid grid;
  ASSERT_TRUE(buildCellGrid(grid, 1, g, kAdaptMosaic));
  ASSERT_EQ(grid.size(), 6u);
  for (const Box& b : boxes(grid)) {
    EXPECT_EQ(b.width, 300);
    EXPECT_EQ(b.height, 300);
  }
}

TEST(BuildCellGrid, ShiftedRowsStartWithAPartialCell) {
  // "Square (2 rows)" with a step of 300: odd rows shift by 150 and start with 150 - border.
  for (std::uint32_t border : {0u, 4u}) {
    SCOPED_TRACE(border);
    MosaicGeometry g = pixelGeometry(1200, 900, 300 - border, border, kAdaptCropTile);
    CellGrid grid;
    ASSERT_TRUE(buildCellGrid(grid, 2, g, kAdaptCropTile));
    const std::vector<Box> b = boxes(grid);
    const std::int32_t tile = 300 - static_cast<std::int32_t>(border);
    ASSERT_GE(b.size(), 10u);
    EXPECT_EQ(b[0], (Box{0, 0, tile, tile}));
    EXPECT_EQ(b[4], (Box{0, 300, 150 - static_cast<std::int32_t>(border), tile}));
    EXPECT_EQ(b[5], (Box{150, 300, tile, tile}));
    EXPECT_EQ(b[8], (Box{1050, 300, 150, tile}));  // cut by the right edge
    EXPECT_EQ(b[9], (Box{0, 600, tile, tile}));    // row 2 is not shifted
  }
}

TEST(BuildCellGrid, SmallShiftsLeaveAnEmptyStripInsteadOfASliver) {
  // "Square (10 rows)" with 50-pixel tiles shifts row 1 by 5 pixels: no partial cell.
  MosaicGeometry g = pixelGeometry(500, 500, 50, 0, kAdaptCropTile);
  CellGrid grid;
  PatternLayout layout;
  ASSERT_TRUE(buildCellGrid(grid, 10, g, kAdaptCropTile, &layout));
  const std::vector<Box> b = boxes(grid);
  EXPECT_EQ(b[10], (Box{5, 50, 50, 50}));
  // Row 2 shifts by 10 > 5: a partial cell of 10.
  EXPECT_EQ(b[20], (Box{0, 100, 10, 50}));
  EXPECT_EQ(layout.firstRowCells, 10u);
  EXPECT_EQ(layout.rowCount, 10u);
}

TEST(BuildCellGrid, PortraitPatternsLayOutLikeTheLandscapeOnesWithSquareTiles) {
  for (long pattern : {1L, 2L, 3L, 4L}) {
    SCOPED_TRACE(pattern);
    MosaicGeometry g = pixelGeometry(1000, 750, 300, 2, kAdaptTile);
    CellGrid landscape;
    CellGrid portrait;
    PatternLayout layout;
    ASSERT_TRUE(buildCellGrid(landscape, pattern, g, kAdaptTile));
    ASSERT_TRUE(buildCellGrid(portrait, pattern + 4, g, kAdaptTile, &layout));
    EXPECT_EQ(boxes(landscape), boxes(portrait));
    EXPECT_EQ(layout.portraitCells, portrait.size());
    EXPECT_EQ(layout.landscapeCells, 0u);
  }
}

TEST(BuildCellGrid, ABorderWiderThanTheTileLeavesWideGaps) {
  MosaicGeometry g = pixelGeometry(1000, 750, 100, 200, kAdaptCropTile);
  CellGrid grid;
  ASSERT_TRUE(buildCellGrid(grid, 1, g, kAdaptCropTile));
  const std::vector<Box> b = boxes(grid);
  ASSERT_EQ(b.size(), 12u);  // 4 columns at 0, 300, 600, 900 and 3 rows at 0, 300, 600
  EXPECT_EQ(b[3], (Box{900, 0, 100, 100}));
  EXPECT_EQ(b[11], (Box{900, 600, 100, 100}));

  // "Adapt Tile" spreads the 100 spare columns (1000 mod 300) over three cells; three rows
  // with their gaps pass the bottom edge, so no height is spare.
  g = pixelGeometry(1000, 750, 100, 200, kAdaptTile);
  ASSERT_TRUE(buildCellGrid(grid, 1, g, kAdaptTile));
  EXPECT_EQ(boxes(grid)[0], (Box{0, 0, 134, 100}));
  EXPECT_EQ(boxes(grid)[2], (Box{668, 0, 132, 100}));
}

TEST(BuildCellGrid, RefusesWhatCannotBeLaidOut) {
  MosaicGeometry g = pixelGeometry(1000, 750, 300, 0, kAdaptTile);
  CellGrid grid;
  grid.append();
  for (long pattern : {0L, 11L, -1L}) {
    EXPECT_FALSE(buildCellGrid(grid, pattern, g, kAdaptTile));
    EXPECT_TRUE(grid.empty());
  }
  for (int field = 0; field < 5; ++field) {
    MosaicGeometry broken = g;
    (field == 0   ? broken.tileWidth
     : field == 1 ? broken.mosaicWidth
     : field == 2 ? broken.mosaicHeight
     : field == 3 ? broken.columns
                  : broken.rows) = 0;
    EXPECT_FALSE(buildCellGrid(grid, 1, broken, kAdaptTile)) << field;
    EXPECT_TRUE(grid.empty());
    EXPECT_EQ(broken.tileCount, 0u);
  }
}

TEST(BuildCellGrid, LaysOutMosaicsBeyondSixteenBitSides) {
  // 200,000 x 300 pixels of 1000-pixel tiles: 200 columns, the last at 199,000.
  MosaicGeometry g = pixelGeometry(200000, 3000, 1000, 0, kAdaptCropTile);
  CellGrid grid;
  ASSERT_TRUE(buildCellGrid(grid, 3, g, kAdaptCropTile));
  const std::vector<Box> b = boxes(grid);
  EXPECT_EQ(b[199], (Box{199000, 0, 1000, 1000}));
  // Row 1 of "Square (3 rows)" is shifted by a third: 333 (partial) + 200 cells, the last cut.
  EXPECT_EQ(b[200], (Box{0, 1000, 333, 1000}));
  EXPECT_EQ(b[201], (Box{333, 1000, 1000, 1000}));
  EXPECT_EQ(b[400], (Box{199333, 1000, 667, 1000}));
  std::uint64_t area = 0;
  for (const Box& box : b) area += std::uint64_t(box.width) * box.height;
  EXPECT_EQ(area, 200000ull * 3000ull);  // without a border the cells tile the mosaic
}

TEST(BuildCellGrid, RefusesMoreCellsThanMemoryCanHold) {
  // One-pixel tiles on a 200,000 x 200,000 mosaic: 4 * 10^10 cells.
  ScopedScriptedDialogs dialogs;
  MosaicGeometry g;
  g.mosaicWidth = g.mosaicHeight = 200000;
  g.tileWidth = g.tileHeight = 1;
  g.columns = g.rows = g.tileCount = 200000;
  CellGrid grid;
  EXPECT_FALSE(buildCellGrid(grid, 1, g, kAdaptCropTile));
  EXPECT_TRUE(grid.empty());
  EXPECT_EQ(g.tileCount, 0u);
  EXPECT_EQ(dialogs->texts(),
            (std::vector<std::string>{"Out Of Memory while allocating an Image made of "
                                      "200000x200000 Pixels!"}));
}

TEST(BuildCellGrid, ReportsProgressPerCellAndStopsWhenAsked) {
  MosaicGeometry g = pixelGeometry(1000, 750, 300, 0, kAdaptCropTile);
  g.multiSize2 = 50;  // plans 6 full + 2 x 6 halves = 18 tiles
  MosaicJob job;
  CellGrid grid;
  grid.job = &job;
  ASSERT_TRUE(buildCellGrid(grid, 1, g, kAdaptCropTile));
  EXPECT_EQ(job.statusText(), "Building Mosaic Tiles...");
  const ProgressTracker progress = job.progress();
  EXPECT_DOUBLE_EQ(progress.maximum(ProgressStage::BuildingTiles), 18.0);

  job.setStopRequest(true);
  EXPECT_FALSE(buildCellGrid(grid, 1, g, kAdaptCropTile));
  EXPECT_EQ(grid.size(), 1u);  // the cell built before the stop stays
}

TEST(CellGrid, CountsLiveCells) {
  const long before = liveCount(LiveObject::PuzzleInfo);
  {
    CellGrid grid;
    MosaicGeometry g = pixelGeometry(1000, 750, 300, 0, kAdaptCropTile);
    ASSERT_TRUE(buildCellGrid(grid, 1, g, kAdaptCropTile));
    EXPECT_EQ(liveCount(LiveObject::PuzzleInfo), before + 12);
    grid.clear(true);
    EXPECT_EQ(liveCount(LiveObject::PuzzleInfo), before);
    grid.append();
  }
  EXPECT_EQ(liveCount(LiveObject::PuzzleInfo), before);
}

TEST(SplitCell, CutsAcrossTheLongerSideWithTheGap) {
  CellGrid grid;
  PuzzleInfo& wide = grid.append();
  wide.shape.setBox(20, 10, 100, 50);
  wide.active = 1;
  wide.signature.valid = 1;
  PuzzleInfo* right = splitCell(grid, wide, 2);
  ASSERT_NE(right, nullptr);
  ASSERT_EQ(grid.size(), 2u);
  EXPECT_EQ((Box{wide.shape.left, wide.shape.top, wide.shape.width, wide.shape.height}),
            (Box{10, 20, 49, 50}));
  EXPECT_EQ((Box{right->shape.left, right->shape.top, right->shape.width, right->shape.height}),
            (Box{61, 20, 49, 50}));
  EXPECT_EQ(wide.shape.area, 49u * 50u);
  EXPECT_EQ(right->shape.area, 49u * 50u);
  EXPECT_EQ(right->active, 1u);
  EXPECT_EQ(wide.signature.valid, 0u);
  EXPECT_EQ(right->signature.valid, 0u);

  // A tall cell is cut across its height; an odd remainder goes to the new cell.
  PuzzleInfo& tall = grid.append();
  tall.shape.setBox(0, 0, 40, 101);
  PuzzleInfo* lower = splitCell(grid, tall, 0);
  ASSERT_NE(lower, nullptr);
  EXPECT_EQ(tall.shape.height, 50);
  EXPECT_EQ(lower->shape.top, 50);
  EXPECT_EQ(lower->shape.height, 51);
  EXPECT_EQ(lower->shape.width, 40);
  EXPECT_EQ(lower->active, 0u);

  // Below gap + 10 on either side nothing happens.
  PuzzleInfo& small = grid.append();
  small.shape.setBox(0, 0, 11, 40);
  EXPECT_EQ(splitCell(grid, small, 2), nullptr);
  EXPECT_EQ(grid.size(), 5u);
  EXPECT_EQ(small.shape.width, 11);
}

TEST(SplitCell, DividesTheBitmapAndCountsTheCellPixels) {
  CellGrid grid;
  PuzzleInfo& cell = grid.append();
  cell.shape.setBox(5, 7, 12, 10);
  ASSERT_TRUE(cell.shape.allocateBitmap(120));
  // Pixel (x, y) belongs to the cell when x < 3 or y == 9: 3 x 10 + 9 = 39 pixels.
  for (std::uint32_t y = 0; y < 10; ++y) {
    for (std::uint32_t x = 0; x < 12; ++x) cell.shape.setBit(x + 12 * y, x < 3 || y == 9);
  }
  cell.shape.area = 39;
  const FotoMask whole = cell.shape;
  PuzzleInfo* right = splitCell(grid, cell, 0);
  ASSERT_NE(right, nullptr);
  ASSERT_TRUE(cell.shape.hasBitmap());
  ASSERT_TRUE(right->shape.hasBitmap());
  EXPECT_EQ(cell.shape.width, 6);
  EXPECT_EQ(right->shape.left, 13);
  for (std::uint32_t y = 0; y < 10; ++y) {
    for (std::uint32_t x = 0; x < 6; ++x) {
      EXPECT_EQ(cell.shape.bit(x + 6 * y), whole.bit(x + 12 * y)) << x << "," << y;
      EXPECT_EQ(right->shape.bit(x + 6 * y), whole.bit(x + 6 + 12 * y)) << x << "," << y;
    }
  }
  EXPECT_EQ(cell.shape.area, 3u * 10u + 3u);
  EXPECT_EQ(right->shape.area, 6u);
}

TEST(SplitCell, KeepsTheNeighbourLists) {
  CellGrid grid;
  PuzzleInfo& a = grid.append();
  PuzzleInfo& b = grid.append();
  a.shape.setBox(0, 0, 40, 40);
  b.shape.setBox(0, 40, 40, 40);
  a.neighbours = {&b};
  PuzzleInfo* a2 = splitCell(grid, a, 0);
  ASSERT_NE(a2, nullptr);
  EXPECT_EQ(a.neighbours, (std::vector<PuzzleInfo*>{&b, a2}));
  EXPECT_EQ(a2->neighbours, (std::vector<PuzzleInfo*>{&b, &a}));

  // Without neighbours before the split the halves do not become neighbours.
  PuzzleInfo* b2 = splitCell(grid, b, 0);
  ASSERT_NE(b2, nullptr);
  EXPECT_TRUE(b.neighbours.empty());
  EXPECT_TRUE(b2->neighbours.empty());
}

}  // namespace
}  // namespace tg
