// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/cell_priorities.h"

#include <cmath>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "engine/image_limits.h"
#include "engine/matching_context.h"
#include "engine_test_support.h"
#include "job/mosaic_job.h"
#include "platform/scripted_dialogs.h"
#include "support/scratch_dir.h"

namespace tg {
namespace {

using test::addCell;
using test::addTile;

std::uint8_t weightOf(AreaPriority mode, int left, int top, int width, int height,
                      std::uint32_t columns, std::uint32_t rows) {
  FotoMask box;
  box.setBox(top, left, width, height);
  return priorityWeight(areaPriorityFactor(mode, box, columns, rows));
}

std::string sample(const std::string& name) {
  return (test::testDataDir() / "engine" / name).string();
}

TEST(PriorityWeight, RoundsTwentyTimesTheFactorIntoOneTo255) {
  EXPECT_EQ(priorityWeight(1), 20);
  EXPECT_EQ(priorityWeight(1.5), 30);
  EXPECT_EQ(priorityWeight(0.3), 6);
  EXPECT_EQ(priorityWeight(0.06), 1);
  EXPECT_EQ(priorityWeight(12), 240);
  EXPECT_EQ(priorityWeight(0), 1);
  EXPECT_EQ(priorityWeight(-2), 1);
  EXPECT_EQ(priorityWeight(40), 255);
  EXPECT_EQ(priorityWeight(NAN), 1);
}

TEST(AreaPriority, TokensIgnoreCase) {
  EXPECT_EQ(areaPriorityFromText("center_small"), AreaPriority::CenterSmall);
  EXPECT_EQ(areaPriorityFromText("CENTER_WIDE"), AreaPriority::CenterWide);
  EXPECT_EQ(areaPriorityFromText("Center_Strong"), AreaPriority::CenterStrong);
  EXPECT_EQ(areaPriorityFromText("edge"), AreaPriority::Edge);
  EXPECT_EQ(areaPriorityFromText("Custom_Priority"), AreaPriority::Custom);
  EXPECT_EQ(areaPriorityFromText("average"), AreaPriority::Uniform);
  EXPECT_EQ(areaPriorityFromText(""), AreaPriority::Uniform);
}

TEST(AreaPriority, FavoursTheCentreAndTakesFromTheBorder) {
  // A 210 x 210 grid of 10-unit cells: the centre cell sits at g = 0, the corner at g = 1.
  EXPECT_EQ(weightOf(AreaPriority::CenterSmall, 100, 100, 10, 10, 210, 210), 30);
  EXPECT_EQ(weightOf(AreaPriority::CenterSmall, 0, 0, 10, 10, 210, 210), 6);
  EXPECT_EQ(weightOf(AreaPriority::CenterWide, 100, 100, 10, 10, 210, 210), 28);
  EXPECT_EQ(weightOf(AreaPriority::CenterStrong, 100, 100, 10, 10, 210, 210), 28);
  EXPECT_EQ(weightOf(AreaPriority::Edge, 100, 100, 10, 10, 210, 210), 20);
  EXPECT_EQ(weightOf(AreaPriority::Edge, 0, 0, 10, 10, 210, 210), 30);
  EXPECT_EQ(weightOf(AreaPriority::Uniform, 0, 0, 10, 10, 210, 210), 20);

  // On a 100 x 100 grid a cell centred at (40, 50) has g = 0.2.
  EXPECT_EQ(weightOf(AreaPriority::CenterWide, 35, 45, 10, 10, 100, 100), 24);
  EXPECT_EQ(weightOf(AreaPriority::CenterStrong, 35, 45, 10, 10, 100, 100), 20);
  // Interior cells from g = 0.4 on get 20, border cells 12.
  EXPECT_EQ(weightOf(AreaPriority::CenterWide, 15, 45, 10, 10, 100, 100), 20);
  EXPECT_EQ(weightOf(AreaPriority::CenterWide, 10, 10, 10, 10, 100, 100), 20);
  EXPECT_EQ(weightOf(AreaPriority::CenterWide, 0, 45, 10, 10, 100, 100), 12);
  EXPECT_EQ(weightOf(AreaPriority::CenterWide, 45, 90, 10, 10, 100, 100), 12);
  EXPECT_EQ(weightOf(AreaPriority::CenterStrong, 0, 45, 10, 10, 100, 100), 18);
}

TEST(MapPriority, DarkerAreasWeighMore) {
  Foto map;
  ASSERT_TRUE(map.create(8, 8));
  FotoMask box;
  box.setBox(0, 0, 4, 4);
  map.fill(makePixel(0, 0, 0, 0));
  EXPECT_EQ(priorityWeight(mapPriorityFactor(map, 1, 1, box)), 240);
  map.fill(makePixel(255, 255, 255, 0));
  EXPECT_EQ(priorityWeight(mapPriorityFactor(map, 1, 1, box)), 1);
  map.fill(makePixel(128, 128, 128, 0));
  EXPECT_EQ(priorityWeight(mapPriorityFactor(map, 1, 1, box)), 20);

  // The four corners count, clamped to the map: one black corner in white gives K = 64.
  map.fill(makePixel(255, 255, 255, 0));
  map.at(7, 7) = makePixel(0, 0, 0, 0);
  box.setBox(4, 4, 10, 10);
  const double level = (64 / 255.0 - 0.5) * 2;
  EXPECT_DOUBLE_EQ(mapPriorityFactor(map, 1, 1, box), 1 + 0.94 * level);
}

struct Fixture {
  MosaicJob job;
  CellGrid grid;
  TileImagesList list;
  MatchingContext context{job, grid, list};

  Fixture() {
    grid.columns = 100;
    grid.rows = 100;
    job.settings.advanced.setRowValue(AdvancedRow::TilePriorityArea, "CENTER_SMALL");
  }
};

TEST(InitializeCells, EmptiesCellsResetsTilesAndSetsWeights) {
  Fixture f;
  FotoInfo& limited = addTile(f.list, "/p/MAX[3]/a.jpg", 100);
  FotoInfo& plain = addTile(f.list, "/p/b.jpg", 120);
  PuzzleInfo& centre = addCell(f.grid, 45, 45, 10, 10, 0);
  PuzzleInfo& corner = addCell(f.grid, 0, 0, 10, 10, 0);
  test::place(centre, limited);
  corner.locked = 1;
  f.context.setExhausted(plain, true);
  f.context.imageLimits[&plain] = 9;

  ASSERT_TRUE(initializeCells(f.context, true));
  EXPECT_EQ(f.job.statusText(), "Initializing Mosaic...");
  EXPECT_EQ(centre.tile, nullptr);
  EXPECT_EQ(centre.score, kNoScore);
  EXPECT_EQ(corner.locked, 0u);
  EXPECT_EQ(centre.weight, 30);
  EXPECT_EQ(corner.weight, 6);
  EXPECT_EQ(limited.useCount, 0u);
  EXPECT_FALSE(f.context.exhausted(plain));
  EXPECT_EQ(f.context.imageLimits, (ImageLimits{{&limited, 3}}));

  // Later initialisations keep the weights.
  f.job.settings.advanced.setRowValue(AdvancedRow::TilePriorityArea, "EDGE");
  centre.weight = 77;
  ASSERT_TRUE(initializeCells(f.context, false));
  EXPECT_EQ(centre.weight, 77);
}

TEST(InitializeCells, NeedsTilesAndCells) {
  Fixture f;
  addCell(f.grid, 0, 0, 10, 10);
  EXPECT_FALSE(initializeCells(f.context, true));
  Fixture g;
  addTile(g.list, "/p/a.jpg", 1);
  EXPECT_FALSE(initializeCells(g.context, true));
}

TEST(InitializeCells, AsksForThePriorityMap) {
  ScopedScriptedDialogs dialogs;
  Fixture f;
  f.job.settings.advanced.setRowValue(AdvancedRow::TilePriorityArea, "custom_priority");
  addTile(f.list, "/p/a.jpg", 100);
  PuzzleInfo& left = addCell(f.grid, 0, 0, 40, 100);
  PuzzleInfo& right = addCell(f.grid, 60, 0, 40, 100);

  dialogs->chooseNext(sample("black-priority-map.png"));
  ASSERT_TRUE(initializeCells(f.context, true));
  EXPECT_EQ(left.weight, 240);
  EXPECT_EQ(right.weight, 240);
  ASSERT_EQ(dialogs->dialogTitles().size(), 1u);
  EXPECT_EQ(dialogs->dialogTitles()[0],
            "Please select an Image (JPG/PNG file) to use as the priority map for the Mosaic. \n"
            "Priority goes from White color (lowest priority) to Black color (highest priority). "
            "\nRead the user manual about using this feature.");

  dialogs->chooseNext(sample("white-priority-map.png"));
  ASSERT_TRUE(initializeCells(f.context, true));
  EXPECT_EQ(left.weight, 1);

  // The map is laid over the grid: the black half weighs the left cell.
  dialogs->chooseNext(sample("black-left-white-right-map.png"));
  ASSERT_TRUE(initializeCells(f.context, true));
  EXPECT_EQ(left.weight, 240);
  EXPECT_EQ(right.weight, 1);

  // Without a map nothing changes and the job cannot go on.
  test::place(left, f.list.tiles.begin()->second);
  dialogs->chooseNext(std::nullopt);
  EXPECT_FALSE(initializeCells(f.context, true));
  EXPECT_NE(left.tile, nullptr);
  dialogs->chooseNext(sample("not-a-picture.png"));
  EXPECT_FALSE(initializeCells(f.context, true));
  EXPECT_NE(left.tile, nullptr);
  EXPECT_FALSE(dialogs->texts().empty());  // the loader said why

  // The map is asked for only with priorities.
  const std::size_t asked = dialogs->dialogTitles().size();
  EXPECT_TRUE(initializeCells(f.context, false));
  EXPECT_EQ(dialogs->dialogTitles().size(), asked);
}

TEST(ImageLimits, ReadTheFirstMaxMarkOfThePath) {
  EXPECT_EQ(imageLimitFromPath("/photos/MAX[2]/beach.jpg"), 2u);
  EXPECT_EQ(imageLimitFromPath("/photos/beach max[0].jpg"), kUnlimitedUses);
  EXPECT_EQ(imageLimitFromPath("/photos/Max[12]/MAX[3] beach.jpg"), 12u);
  EXPECT_EQ(imageLimitFromPath("/photos/MAX[MAX[4]].jpg"), 4u);
  EXPECT_EQ(imageLimitFromPath("/photos/MAX[]/beach.jpg"), std::nullopt);
  EXPECT_EQ(imageLimitFromPath("/photos/MAX[ 2]/beach.jpg"), std::nullopt);
  EXPECT_EQ(imageLimitFromPath("/photos/beach.jpg"), std::nullopt);
  EXPECT_EQ(imageLimitFromPath("/photos/MAX[99999999999999999999]/a.jpg"), kUnlimitedUses);
  EXPECT_EQ(imageLimitFromPath("/photos/ünïcødé MAX[7].png"), 7u);
}

TEST(ImageLimits, ApplyBeforeTheDuplicationSetting) {
  Fixture f;
  FotoInfo& limited = addTile(f.list, "/p/max[2]/a.jpg", 1);
  FotoInfo& open = addTile(f.list, "/p/b.jpg", 1);
  readImageLimit(limited, f.context);
  readImageLimit(open, f.context);
  f.job.settings.tileDuplication.set(0);
  EXPECT_EQ(f.context.useLimit(limited), 2u);
  EXPECT_EQ(f.context.useLimit(open), kUnlimitedUses);
  f.job.settings.tileDuplication.set(5);
  EXPECT_EQ(f.context.useLimit(open), 5u);
}

}  // namespace
}  // namespace tg
