// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/tile_split.h"

#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "engine/matching_context.h"
#include "engine/tile_distance.h"
#include "engine_test_support.h"
#include "job/mosaic_job.h"

namespace tg {
namespace {

using test::addCell;
using test::addTile;

struct Fixture {
  MosaicJob job;
  CellGrid grid;
  TileImagesList list;
  ComparisonSettings comparison;
  MatchingContext context{job, grid, list, comparison};

  Fixture() {
    comparison.setShiftLimit(0);
    // Cells lie inside a larger grid, so none touches its border unless a test says so.
    grid.columns = 10000;
    grid.rows = 10000;
    job.settings.multiSize2.set(0);
    job.settings.multiSize4.set(0);
    job.settings.advanced.setRowValue(AdvancedRow::TileSplit, "AUTO");
    job.settings.advanced.setRowValue(AdvancedRow::TilePriorityArea, "AVERAGE");
    job.settings.advanced.setRowValue(AdvancedRow::TilePrioritySize, "AVERAGE");
  }

  // `count` interior 20 x 20 cells in a row; cell i holds a tile whose distance grows with i.
  std::vector<PuzzleInfo*> row(int count) {
    std::vector<PuzzleInfo*> cells;
    for (int i = 0; i < count; ++i) {
      PuzzleInfo& cell = addCell(grid, 10 + 30 * i, 10, 20, 20);
      FotoInfo& tile = addTile(list, "/t/" + std::to_string(i) + ".jpg",
                               static_cast<std::uint32_t>(128 + i % 120));
      test::place(cell, tile);
      cells.push_back(&cell);
    }
    return cells;
  }

  std::size_t cellCount() const { return grid.size(); }
};

TEST(SplitSelection, ChoosesByTextAndPriorityMap) {
  EXPECT_EQ(splitSelectionFromText("QUALITY", true), SplitSelection::Quality);
  EXPECT_EQ(splitSelectionFromText("priority", false), SplitSelection::Priority);
  EXPECT_EQ(splitSelectionFromText("Priority_And_Quality", false), SplitSelection::Merged);
  EXPECT_EQ(splitSelectionFromText("AUTO", false), SplitSelection::Quality);
  EXPECT_EQ(splitSelectionFromText("AUTO", true), SplitSelection::Priority);
}

TEST(SplitSelection, KeysAndPartWeights) {
  EXPECT_EQ(splitKey(SplitSelection::Quality, 1234, 200), 1234u);
  EXPECT_EQ(splitKey(SplitSelection::Priority, 1234, 21), (21ull << 32) + 1234);
  EXPECT_EQ(splitKey(SplitSelection::Merged, 100, 20), 310000u);
  EXPECT_EQ(splitKey(SplitSelection::Merged, 400, 80),
            static_cast<std::uint64_t>(std::trunc(2.0 * 61 * 10000)));

  EXPECT_EQ(splitPartWeight(20, "LOWER"), 15);
  EXPECT_EQ(splitPartWeight(20, "lowest"), 10);
  EXPECT_EQ(splitPartWeight(20, "HIGHER"), 25);
  EXPECT_EQ(splitPartWeight(25, "HIGHER"), 31);
  EXPECT_EQ(splitPartWeight(20, "AVERAGE"), 20);
  EXPECT_EQ(splitPartWeight(1, "LOWEST"), 1);
  EXPECT_EQ(splitPartWeight(250, "HIGHER"), 255);
}

TEST(SplitTiles, SplitsTheGivenShareOfCells) {
  Fixture f;
  f.row(200);
  f.job.settings.multiSize2.set(10);
  ASSERT_TRUE(splitTiles(f.context));
  EXPECT_EQ(f.cellCount(), 220u);

  Fixture none;
  none.row(200);
  none.job.settings.multiSize2.set(16);
  EXPECT_FALSE(splitTiles(none.context));
  none.job.settings.multiSize2.set(5);
  none.job.settings.multiSize4.set(16);
  EXPECT_FALSE(splitTiles(none.context));
  EXPECT_EQ(none.cellCount(), 200u);

  // Fewer cells than one percentage step: nothing to split.
  Fixture few;
  few.row(6);
  few.job.settings.multiSize2.set(15);
  EXPECT_FALSE(splitTiles(few.context));
}

TEST(SplitTiles, QuartersGoToTheWorstCellsFirst) {
  Fixture f;
  const std::vector<PuzzleInfo*> cells = f.row(100);
  f.job.settings.multiSize2.set(5);
  f.job.settings.multiSize4.set(5);
  ASSERT_TRUE(splitTiles(f.context));
  EXPECT_EQ(f.cellCount(), 100u + 5 * 3 + 5);
  // The worst five (the last cells) are quarters, the next five halves, the rest whole.
  for (int i = 0; i < 100; ++i) {
    const FotoMask& box = cells[i]->shape;
    if (i >= 95) {
      EXPECT_EQ(box.width * box.height, 100) << i;
    } else if (i >= 90) {
      EXPECT_EQ(box.width * box.height, 200) << i;
    } else {
      EXPECT_EQ(box.width * box.height, 400) << i;
    }
  }
  // The new parts are active, need an analysis and are empty.
  for (std::size_t i = 100; i < f.grid.size(); ++i) {
    EXPECT_EQ(f.grid.cells[i]->active, 1u);
    EXPECT_EQ(f.grid.cells[i]->signature.valid, 0);
    EXPECT_EQ(f.grid.cells[i]->tile, nullptr);
  }
}

TEST(SplitTiles, HalvesCutTheLongerSideLeavingTheGap) {
  Fixture f;
  f.grid.gap = 2;
  f.row(6);
  PuzzleInfo& wide = addCell(f.grid, 400, 100, 30, 20);  // empty: the worst key
  f.job.settings.multiSize2.set(15);
  ASSERT_TRUE(splitTiles(f.context));
  ASSERT_EQ(f.cellCount(), 8u);
  const PuzzleInfo& added = *f.grid.cells[7];
  EXPECT_EQ(wide.shape.width, 14);
  EXPECT_EQ(wide.shape.height, 20);
  EXPECT_EQ(added.shape.width, 14);
  EXPECT_EQ(added.shape.left, 416);
}

TEST(SplitTiles, NeverSplitsCellsBelowTheGapPlusTen) {
  Fixture f;
  f.grid.gap = 2;
  for (int i = 0; i < 20; ++i) addCell(f.grid, 10 + 20 * i, 10, 11, 40);
  f.job.settings.multiSize2.set(15);
  EXPECT_FALSE(splitTiles(f.context));
  EXPECT_EQ(f.cellCount(), 20u);
}

TEST(SplitTiles, BorderCellsCountAQuarterUnlessAPriorityMapIsUsed) {
  for (const bool map : {false, true}) {
    Fixture f;
    if (map) f.job.settings.advanced.setRowValue(AdvancedRow::TilePriorityArea, "CUSTOM_PRIORITY");
    f.job.settings.advanced.setRowValue(AdvancedRow::TileSplit, "QUALITY");
    std::vector<PuzzleInfo*> cells = f.row(6);
    PuzzleInfo& border = addCell(f.grid, 0, 500, 20, 20);
    // The border cell's raw distance lies between two and four times the worst inner one's.
    FotoInfo& bad = addTile(f.list, "/t/bad.jpg", 0);
    bad.signature = test::uniformSignature(136, 136, 137);
    test::place(border, bad);
    const std::uint32_t inner = rawDistance(f.comparison, *cells[5], *cells[5]->tile);
    ASSERT_GT(rawDistance(f.comparison, border, bad), 2 * inner);
    ASSERT_LT(rawDistance(f.comparison, border, bad), 4 * inner);
    f.job.settings.multiSize2.set(15);
    ASSERT_TRUE(splitTiles(f.context));
    EXPECT_EQ(border.shape.width, map ? 10 : 20) << map;
    EXPECT_EQ(cells[5]->shape.width, map ? 20 : 10) << map;
  }
}

TEST(SplitTiles, PrioritySelectionPrefersHeavyCellsAndScalesTheirParts) {
  Fixture f;
  f.job.settings.advanced.setRowValue(AdvancedRow::TileSplit, "PRIORITY");
  f.job.settings.advanced.setRowValue(AdvancedRow::TilePrioritySize, "HIGHER");
  std::vector<PuzzleInfo*> cells = f.row(20);
  cells[3]->weight = 21;  // a heavier cell with a good match
  f.job.settings.multiSize4.set(5);
  ASSERT_TRUE(splitTiles(f.context));
  EXPECT_EQ(f.cellCount(), 23u);
  EXPECT_EQ(cells[3]->shape.width * cells[3]->shape.height, 100);
  // The factor is applied once per cut: 21 -> 26 -> 33 for all four quarters.
  EXPECT_EQ(cells[3]->weight, 33);
  for (std::size_t i = 20; i < 23; ++i) EXPECT_EQ(f.grid.cells[i]->weight, 33);
  EXPECT_EQ(cells[19]->weight, 20);
}

}  // namespace
}  // namespace tg
