// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/faster_placement.h"
#include "engine/matching_context.h"
#include "engine/place_tiles.h"
#include "engine/score_tile.h"
#include "engine/tile_distance.h"
#include "engine/tile_list_file.h"
#include "engine_test_support.h"
#include "job/mosaic_job.h"
#include "platform/file_times.h"
#include "platform/scripted_dialogs.h"
#include "support/scratch_dir.h"

namespace tg {
namespace {

using test::addCell;
using test::addTile;
using test::uniformSignature;

struct Fixture : test::PlacementWorld {
  explicit Fixture(long processing = kProcessingHighQuality) : PlacementWorld(processing) {
    job.settings.tileDuplication.set(0);
    job.settings.duplicateSpacing.set(0);
    job.threadCount = 1;
  }

  // A square grid of `side` x `side` cells of 10 x 10 units; cell i has grey level `levelOf(i)`.
  template <typename Level>
  void squareGrid(int side, Level levelOf) {
    grid.columns = static_cast<std::uint32_t>(side * 10);
    grid.rows = grid.columns;
    for (int i = 0; i < side * side; ++i) {
      PuzzleInfo& cell = addCell(grid, (i % side) * 10, (i / side) * 10, 10, 10);
      const std::uint32_t level = levelOf(i);
      cell.signature = uniformSignature(level, level, level);
    }
  }
  void tiles(int count, std::uint32_t step = 7) {
    for (int i = 0; i < count; ++i) {
      addTile(list, "/t/tile" + std::to_string(100 + i) + ".jpg",
              static_cast<std::uint32_t>(i) * step % 256);
    }
  }
  std::map<const FotoInfo*, int> uses() const {
    std::map<const FotoInfo*, int> counted;
    for (const auto& cell : grid.cells) {
      if (cell && cell->tile != nullptr) ++counted[cell->tile];
    }
    return counted;
  }
  std::size_t filled() const {
    std::size_t n = 0;
    for (const auto& cell : grid.cells) n += cell && cell->tile != nullptr ? 1 : 0;
    return n;
  }
  std::vector<const FotoInfo*> placement() const {
    std::vector<const FotoInfo*> out;
    for (const auto& cell : grid.cells) out.push_back(cell->tile);
    return out;
  }
  // Every pair of cells holding one tile lies at least the spacing threshold apart.
  void expectSpacingKept() const {
    const std::uint64_t threshold = spacingThreshold(grid, job.settings.duplicateSpacing.value);
    for (std::size_t i = 0; i < grid.cells.size(); ++i) {
      for (std::size_t j = i + 1; j < grid.cells.size(); ++j) {
        const PuzzleInfo& a = *grid.cells[i];
        const PuzzleInfo& b = *grid.cells[j];
        if (a.tile == nullptr || a.tile != b.tile) continue;
        EXPECT_FALSE(withinSpacing(a, b, threshold)) << "cells " << i << " and " << j;
      }
    }
  }
};

int level(int i) { return (i * 37) % 256; }

TEST(Spacing, ThresholdFollowsTheAverageCellAreaAndStartsAtTwo) {
  Fixture f;
  f.squareGrid(4, level);
  EXPECT_EQ(spacingThreshold(f.grid, 0), 0u);
  EXPECT_EQ(spacingThreshold(f.grid, 1), 0u);
  EXPECT_EQ(spacingThreshold(f.grid, 3), 900u);  // 3 x 3 x (40 x 40 / 16)
  const PuzzleInfo& origin = *f.grid.cells[0];
  EXPECT_TRUE(withinSpacing(origin, *f.grid.cells[2], 900));   // two cells to the right
  EXPECT_FALSE(withinSpacing(origin, *f.grid.cells[3], 900));  // three cells: not closer
  EXPECT_TRUE(withinSpacing(origin, *f.grid.cells[10], 900));  // (2, 2): 800 < 900
  EXPECT_FALSE(withinSpacing(origin, *f.grid.cells[1], 0));    // no spacing at all
  CellGrid empty;
  EXPECT_EQ(spacingThreshold(empty, 5), 0u);
}

TEST(CandidateCapacity, ShrinksWithTheWaitingCellsAndNeverDropsBelowTwo) {
  EXPECT_EQ(candidateCapacity(1000000, 99, 100), 100u);
  EXPECT_EQ(candidateCapacity(1000, 99, 100), 10u);
  EXPECT_EQ(candidateCapacity(1000, 999, 1000), 2u);
  EXPECT_EQ(candidateCapacity(1000000, 1, 1), 2u);
  Fixture f;
  f.squareGrid(2, level);
  f.tiles(3);
  f.job.settings.advanced.setRowValue(AdvancedRow::MemoryMaxSizeMB, "5");  // taken as 10
  EXPECT_EQ(candidateBudget(f.context, 3), 50000000u / 60);
  f.job.settings.advanced.setRowValue(AdvancedRow::MemoryMaxSizeMB, "9999");  // taken as 3900
  EXPECT_EQ(candidateBudget(f.context, 3),
            (3900ull * 1000000 - (700 * 3 + 24 + 4 * 728 + 60000048)) / 60);
}

TEST(HighQuality, NoDuplicatesFillsAsManyCellsAsThereAreTilesAndTwoUsesFillAll) {
  for (const long duplication : {1L, 2L}) {
    Fixture f;
    f.job.settings.tileDuplication.set(duplication);
    f.squareGrid(1, level);
    f.grid.cells.clear();
    f.grid.columns = 200;
    f.grid.rows = 10;
    for (int i = 0; i < 20; ++i) {
      addCell(f.grid, i * 10, 0, 10, 10).signature = uniformSignature(level(i), level(i), level(i));
    }
    f.tiles(10, 25);
    ASSERT_TRUE(placeTiles(f.context));
    EXPECT_EQ(f.filled(), duplication == 1 ? 10u : 20u);
    for (const auto& [tile, count] : f.uses()) {
      EXPECT_LE(count, duplication);
      EXPECT_EQ(tile->useCount, static_cast<std::uint32_t>(count));
    }
    for (const auto& cell : f.grid.cells) {
      if (cell->tile != nullptr) {
        EXPECT_EQ(cell->score, tileDistance(f.comparison, kNoMatch, *cell, *cell->tile));
      } else {
        EXPECT_EQ(cell->score, kNoScore);
      }
    }
    EXPECT_EQ(f.job.progress().maximum(ProgressStage::Placement), 60.0);
  }
}

TEST(HighQuality, TheCellThatWouldLoseMostGetsTheContestedTile) {
  Fixture f;
  f.job.settings.tileDuplication.set(1);
  f.grid.rows = 10;
  const test::ContestedTile contest = test::addContestedTile(f.grid, f.list);
  ASSERT_TRUE(placeTiles(f.context));
  EXPECT_EQ(contest.picky.tile, &contest.x);
  EXPECT_EQ(contest.flexible.tile, &contest.near);
  EXPECT_TRUE(f.context.exhausted(contest.x));
}

TEST(HighQuality, SpacingIsKeptForEveryPairAndSpacingOneImposesNothing) {
  for (const long spacing : {1L, 3L}) {
    Fixture f;
    f.job.settings.duplicateSpacing.set(spacing);
    f.job.settings.advanced.setRowValue(AdvancedRow::MemoryMaxSizeMB, "10");
    f.squareGrid(12, [](int i) { return 120 + (i % 5); });
    f.tiles(12, 2);  // levels 0..22: tile 11 (level 22) is nearest for all but far from each
    f.list.tiles.begin()->second.signature = uniformSignature(122, 122, 122);
    ASSERT_TRUE(placeTiles(f.context));
    EXPECT_EQ(f.filled(), 144u);
    if (spacing == 1) {
      // Without spacing the one matching tile takes every cell.
      EXPECT_EQ(f.uses().size(), 1u);
    } else {
      EXPECT_GT(f.uses().size(), 8u);
      f.expectSpacingKept();
    }
  }
}

TEST(HighQuality, ResultDoesNotDependOnThreadsOrRuns) {
  std::vector<const FotoInfo*> first;
  std::vector<std::string> firstPaths;
  for (const std::uint32_t threads : {1u, 4u, 4u}) {
    Fixture f;
    f.job.threadCount = threads;
    f.job.settings.tileDuplication.set(2);
    f.job.settings.duplicateSpacing.set(2);
    f.squareGrid(15, [](int i) { return (i * 53) % 200; });
    f.tiles(60, 3);
    ASSERT_TRUE(placeTiles(f.context));
    std::vector<std::string> paths;
    for (const auto& cell : f.grid.cells) paths.push_back(cell->tile ? cell->tile->path : "");
    if (firstPaths.empty()) {
      firstPaths = paths;
    } else {
      EXPECT_EQ(paths, firstPaths) << threads << " threads";
    }
    f.expectSpacingKept();
  }
}

TEST(HighQuality, SkipsInactiveAndFilledCellsAndStopsWhenAsked) {
  Fixture f;
  f.squareGrid(3, level);
  f.tiles(4);
  f.grid.cells[0]->active = 0;
  FotoInfo& fixed = f.list.tiles.begin()->second;
  test::place(*f.grid.cells[1], fixed);
  ASSERT_TRUE(placeTiles(f.context));
  EXPECT_EQ(f.grid.cells[0]->tile, nullptr);
  EXPECT_EQ(f.grid.cells[1]->tile, &fixed);
  EXPECT_EQ(f.grid.cells[1]->score, 0u);
  EXPECT_EQ(f.filled(), 8u);

  Fixture stopped;
  stopped.squareGrid(3, level);
  stopped.tiles(4);
  stopped.job.setStopRequest(true);
  EXPECT_FALSE(placeTiles(stopped.context));
  EXPECT_EQ(stopped.filled(), 0u);
}

TEST(HighQuality, SmallCandidateListsRefilledGiveTheSameResultAsLargeOnes) {
  std::vector<std::string> results[2];
  for (const int run : {0, 1}) {
    Fixture f;
    f.job.settings.tileDuplication.set(1);
    f.job.settings.advanced.setRowValue(AdvancedRow::MemoryMaxSizeMB, run == 0 ? "10" : "3900");
    f.grid.columns = 1000;
    f.grid.rows = 10;
    for (int i = 0; i < 100; ++i) {
      addCell(f.grid, i * 10, 0, 10, 10).signature =
          uniformSignature(90 + i % 50, 90 + i % 50, 90 + i % 50);
    }
    // Empty slots count as cells for the budget: with 10 MB each list holds 91 of 120 tiles, and
    // lists run dry and are refilled as the placements use the tiles up.
    if (run == 0) f.grid.cells.resize(9100);
    f.tiles(120, 2);
    ASSERT_TRUE(placeTiles(f.context));
    EXPECT_EQ(f.filled(), 100u);
    for (const auto& [tile, count] : f.uses()) EXPECT_EQ(count, 1);
    for (std::size_t i = 0; i < 100; ++i) results[run].push_back(f.grid.cells[i]->tile->path);
  }
  EXPECT_EQ(results[0], results[1]);
}

TEST(HighQuality, TileGroupsAreUsedOnceUnderCustomVariants) {
  Fixture f(kProcessingCustomVariants);
  f.job.settings.tileDuplication.set(1);
  f.grid.columns = 30;
  f.grid.rows = 10;
  FotoInfo& a = addTile(f.list, "/t/beach___1.jpg", 100);
  FotoInfo& b = addTile(f.list, "/t/beach___2.jpg", 110);
  FotoInfo& other = addTile(f.list, "/t/forest.jpg", 200);
  a.groupId = 2;
  b.groupId = 2;
  other.groupId = 3;
  addCell(f.grid, 0, 0, 10, 10).signature = uniformSignature(100, 100, 100);
  addCell(f.grid, 10, 0, 10, 10).signature = uniformSignature(110, 110, 110);
  addCell(f.grid, 20, 0, 10, 10).signature = uniformSignature(105, 105, 105);
  ASSERT_TRUE(placeTiles(f.context));
  const auto counted = f.uses();
  EXPECT_EQ(counted.count(&a) + counted.count(&b), 1u);
  EXPECT_EQ(counted.count(&other), 1u);
  EXPECT_EQ(f.filled(), 2u);
}

TEST(Sequence, RandomRepeatsOneShuffleAndSequentialFollowsTheList) {
  Fixture f(kProcessingRandom);
  f.grid.columns = 70;
  f.grid.rows = 10;
  for (int i = 0; i < 7; ++i) addCell(f.grid, i * 10, 0, 10, 10);
  f.tiles(3);
  ASSERT_TRUE(placeSequence(f.context, kProcessingRandom, 12345));
  const auto order = f.placement();
  for (std::size_t i = 3; i < order.size(); ++i) EXPECT_EQ(order[i], order[i - 3]);
  EXPECT_EQ(std::set<const FotoInfo*>(order.begin(), order.begin() + 3).size(), 3u);
  for (const auto& [tile, count] : f.uses()) EXPECT_TRUE(count == 2 || count == 3);

  Fixture s(kProcessingSequential);
  s.grid.columns = 70;
  s.grid.rows = 10;
  for (int i = 0; i < 5; ++i) addCell(s.grid, i * 10, 0, 10, 10);
  s.tiles(3);
  s.grid.cells[1]->locked = 1;
  // Rotated pictures are left out unless quarter turns are allowed.
  s.list.tiles.rbegin()->second.signature.rotated = 1;
  s.job.settings.tileVariants.set(kVariantBitOriginal);
  ASSERT_TRUE(placeTiles(s.context));
  std::vector<std::string> names;
  for (const auto* tile : s.placement()) names.push_back(tile ? tile->path : "-");
  EXPECT_EQ(names, (std::vector<std::string>{"/t/tile100.jpg", "-", "/t/tile101.jpg",
                                             "/t/tile100.jpg", "/t/tile101.jpg"}));
}

TEST(Sequence, DateFallsBackToTheFileCreationTime) {
  test::ScratchDir dir;
  const std::string path = dir.file("plain.jpg");
  test::writeFile(path, "not a photograph");
  FotoInfo tile;
  tile.path = path;
  const std::string text = sequenceDateText(tile);
  ASSERT_EQ(text.size(), 19u);
  EXPECT_EQ(text[4], ':');
  EXPECT_EQ(text[13], ':');
  tile.path = dir.file("missing.jpg");
  EXPECT_EQ(sequenceDateText(tile), "");
}

TEST(Faster, ConsecutiveFramesForceFasterWhateverTheChoice) {
  Fixture f(kProcessingHighQuality);
  f.job.settings.consecutiveFrames.set(1);
  f.squareGrid(2, level);
  f.tiles(3);
  ASSERT_TRUE(placeTiles(f.context));
  EXPECT_EQ(f.job.statusText().rfind("Tile: ", 0), 0u) << f.job.statusText();
  // Frames take one cell per visit: three tiles, three of the four cells.
  EXPECT_EQ(f.filled(), 3u);
}

TEST(Faster, EachCellGetsItsBestTileWithinLimitsAndSpacing) {
  Fixture f(kProcessingFaster);
  f.squareGrid(6, [](int i) { return (i * 29) % 256; });
  f.tiles(40, 6);
  ASSERT_TRUE(placeTiles(f.context));
  for (const auto& cell : f.grid.cells) {
    std::uint32_t best = kNoMatch;
    for (auto& [path, tile] : f.list.tiles) {
      best = std::min(best, tileDistance(f.comparison, kNoMatch, *cell, tile));
    }
    EXPECT_EQ(cell->score, best);
  }

  Fixture spaced(kProcessingFaster);
  spaced.job.settings.duplicateSpacing.set(3);
  spaced.job.settings.tileDuplication.set(3);
  spaced.squareGrid(8, [](int i) { return 100 + i % 3; });
  spaced.tiles(30, 4);
  ASSERT_TRUE(placeTiles(spaced.context));
  spaced.expectSpacingKept();
  for (const auto& [tile, count] : spaced.uses()) EXPECT_LE(count, 3);
  EXPECT_GE(spaced.filled(), 9u);
}

TEST(Faster, NoDuplicatesGivesEachTileOneCellAndRequiredTilesLockTheirs) {
  Fixture f(kProcessingFaster);
  f.job.settings.tileDuplication.set(1);
  f.squareGrid(3, level);
  f.tiles(6, 30);
  FotoInfo& required = addTile(f.list, "/t/zz-required.jpg", 250, true);
  ASSERT_TRUE(placeTiles(f.context));
  EXPECT_EQ(f.filled(), 7u);
  for (const auto& [tile, count] : f.uses()) EXPECT_EQ(count, 1);
  bool found = false;
  for (const auto& cell : f.grid.cells) {
    if (cell->tile == &required) {
      found = true;
      EXPECT_EQ(cell->locked, 1u);
    }
  }
  EXPECT_TRUE(found);
}

TEST(Faster, VideoFramesWithinTheConsecutiveRangeStayApart) {
  Fixture f(kProcessingFaster);
  f.job.settings.consecutiveFrames.set(2);
  f.job.settings.duplicateSpacing.set(2);
  f.squareGrid(6, [](int) { return 128; });
  for (int i = 0; i < 12; ++i) {
    FotoInfo& frame = addTile(f.list, "/frames/f" + std::to_string(10 + i) + ".jpg", 128);
    frame.groupId = static_cast<std::uint32_t>(i + 1);
  }
  ASSERT_TRUE(placeTiles(f.context));
  ASSERT_FALSE(f.grid.cells[0]->neighbours.empty());
  for (const auto& cell : f.grid.cells) {
    if (cell->tile == nullptr) continue;
    for (const PuzzleInfo* neighbour : cell->neighbours) {
      if (neighbour->tile == nullptr) continue;
      const std::uint32_t a = cell->tile->groupId;
      const std::uint32_t b = neighbour->tile->groupId;
      EXPECT_GT(a > b ? a - b : b - a, 2u);
    }
  }
  EXPECT_GT(f.filled(), 0u);
}

TEST(TileListFile, RoundTripLocksEveryNamedCell) {
  test::ScratchDir dir;
  Fixture first(kProcessingFaster);
  first.job.outputNames.base = dir.file("Mosaic");
  first.job.settings.advanced.setRowValue(AdvancedRow::TileListSave, "1");
  first.squareGrid(3, level);
  first.tiles(5, 50);
  ASSERT_TRUE(placeTiles(first.context));
  const std::string path = tileListFilePath(first.job);
  EXPECT_EQ(path, dir.file("Mosaic Tile List.txt"));
  EXPECT_NE(test::readFile(path).find("Tile10x0-10x10"), std::string::npos);

  Fixture second(kProcessingFaster);
  second.job.outputNames.base = first.job.outputNames.base;
  second.job.settings.advanced.setRowValue(AdvancedRow::TileListLoad, "1");
  // The main image changed: without the file every cell would take the grey tile.
  second.squareGrid(3, [](int) { return 128; });
  second.tiles(5, 50);
  ASSERT_TRUE(placeTiles(second.context));
  for (std::size_t i = 0; i < first.grid.cells.size(); ++i) {
    ASSERT_NE(second.grid.cells[i]->tile, nullptr);
    EXPECT_EQ(second.grid.cells[i]->tile->path, first.grid.cells[i]->tile->path);
    EXPECT_EQ(second.grid.cells[i]->locked, 1u);
  }
}

TEST(TileListFile, DamagedOrForeignFilesLockNothing) {
  test::ScratchDir dir;
  Fixture f(kProcessingFaster);
  f.squareGrid(2, level);
  f.tiles(2);
  const std::string garbage = dir.file("garbage.txt");
  test::writeFile(garbage, std::string("\x00\xff[TileList\n=\n\x01", 13));
  EXPECT_EQ(loadTileListFile(f.context, garbage), 0u);
  EXPECT_EQ(loadTileListFile(f.context, dir.file("missing.txt")), 0u);
  const std::string foreign = dir.file("foreign.txt");
  test::writeFile(foreign,
                  "[TileList]\r\nTile0x0-10x10 = /elsewhere/x.jpg\r\n"
                  "Tile10x0-10x10 = /t/tile101.jpg\r\n");
  EXPECT_EQ(loadTileListFile(f.context, foreign), 1u);
  EXPECT_EQ(f.grid.cells[0]->locked, 0u);
  EXPECT_EQ(f.grid.cells[1]->tile->path, "/t/tile101.jpg");
  EXPECT_EQ(test::readFile(garbage), std::string("\x00\xff[TileList\n=\n\x01", 13));
  // A folder that does not exist cannot take the file; saving says so.
  EXPECT_FALSE(saveTileListFile(f.context, dir.file("no/such/folder/list.txt")));
}

TEST(Experimental, NeedsNoDuplicatesAndNoPerImageLimits) {
  for (const long duplication : {0L, 2L, 1L}) {
    Fixture f(kProcessingExperimental1);
    f.job.settings.tileDuplication.set(duplication);
    f.squareGrid(2, level);
    f.tiles(3);
    if (duplication == 1) f.context.imageLimits[&f.list.tiles.begin()->second] = 1;
    EXPECT_FALSE(placeTiles(f.context));
    EXPECT_EQ(f.filled(), 0u);
    ASSERT_EQ(f.dialogs->texts().size(), 1u);
    EXPECT_EQ(f.dialogs->texts()[0],
              "The selected Experimental Mosaic Processing can be used only with the No "
              "Duplicate Tile Count.");
  }
}

}  // namespace
}  // namespace tg
