// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/improve_quality.h"

#include <atomic>
#include <cstdint>
#include <set>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "engine/matching_context.h"
#include "engine/place_tiles.h"
#include "engine/tile_distance.h"
#include "engine_test_support.h"
#include "job/mosaic_job.h"
#include "platform/scripted_dialogs.h"

namespace tg {
namespace {

using test::addCell;
using test::addTile;
using test::uniformSignature;

struct Fixture : test::PlacementWorld {
  Fixture(int cells, int tiles) : PlacementWorld(kProcessingExperimental2) {
    job.settings.tileDuplication.set(1);
    grid.columns = static_cast<std::uint32_t>(cells * 10);
    grid.rows = 10;
    for (int i = 0; i < cells; ++i) {
      const auto level = static_cast<std::uint32_t>((i * 41) % 256);
      addCell(grid, i * 10, 0, 10, 10).signature = uniformSignature(level, level / 2, 255 - level);
    }
    for (int i = 0; i < tiles; ++i) {
      const auto level = static_cast<std::uint32_t>((i * 23) % 256);
      addTile(list, "/t/" + std::to_string(1000 + i) + ".jpg", level).signature =
          uniformSignature(level, (level * 3) % 256, 255 - level);
    }
  }

  void expectOneToOne(std::size_t placed) {
    std::set<const FotoInfo*> used;
    for (const auto& cell : grid.cells) {
      if (cell->tile == nullptr) continue;
      EXPECT_TRUE(used.insert(cell->tile).second) << cell->tile->path << " used twice";
      EXPECT_EQ(cell->score, tileDistance(comparison, kNoMatch, *cell, *cell->tile));
    }
    EXPECT_EQ(used.size(), placed);
    for (auto& [path, tile] : list.tiles) {
      EXPECT_EQ(tile.useCount, used.contains(&tile) ? 1u : 0u);
      EXPECT_EQ(context.exhausted(tile), used.contains(&tile));
    }
  }
};

const AuctionMethod kMethods[] = {AuctionMethod::Nearest, AuctionMethod::Reference};

AuctionOptions optionsFor(AuctionMethod method) {
  AuctionOptions options;
  options.method = method;
  return options;
}

TEST(Auction, ValuesFavourSmallDistancesAndRejectForbiddenPairs) {
  EXPECT_EQ(auctionValue(0), 4294977295);
  EXPECT_EQ(auctionValue(kMaxScore), 10001);
  EXPECT_EQ(auctionValue(kNoMatch), 0);
}

TEST(Auction, MoreTilesThanCellsGivesEveryCellItsOwnTile) {
  Fixture f(60, 100);
  ASSERT_TRUE(placeTiles(f.context));
  f.expectOneToOne(60);
  EXPECT_EQ(f.job.progress().maximum(ProgressStage::Placement), 60.0);
}

TEST(Auction, MoreCellsThanTilesPlacesEveryTileOnce) {
  Fixture f(100, 60);
  ASSERT_TRUE(improveQuality(f.context));
  f.expectOneToOne(60);
  std::size_t empty = 0;
  for (const auto& cell : f.grid.cells) empty += cell->tile == nullptr ? 1 : 0;
  EXPECT_EQ(empty, 40u);
  EXPECT_EQ(f.job.statusText().rfind("Improving Quality. Press Mosaic button to Stop&&Save (#", 0),
            0u)
      << f.job.statusText();
}

TEST(Auction, TheLargerGapKeepsTheContestedTile) {
  for (const AuctionMethod method : {AuctionMethod::Automatic, AuctionMethod::Reference}) {
    Fixture f(0, 0);
    const test::ContestedTile contest = test::addContestedTile(f.grid, f.list);
    ASSERT_TRUE(improveQuality(f.context, optionsFor(method)));
    EXPECT_EQ(contest.picky.tile, &contest.x);
    EXPECT_EQ(contest.flexible.tile, &contest.near);
  }
}

TEST(Auction, BeatsOrMatchesGreedyOnASmallProblem) {
  // Three cells and three tiles where serving cells one by one in order costs more in total.
  for (const AuctionMethod method : kMethods) {
    Fixture f(0, 0);
    f.grid.columns = 30;
    FotoInfo& a = addTile(f.list, "/t/a.jpg", 100);
    FotoInfo& b = addTile(f.list, "/t/b.jpg", 130);
    FotoInfo& c = addTile(f.list, "/t/c.jpg", 60);
    PuzzleInfo& first = test::addGreyCell(f.grid, 0, 110);
    PuzzleInfo& second = test::addGreyCell(f.grid, 10, 100);
    PuzzleInfo& third = test::addGreyCell(f.grid, 20, 65);
    ASSERT_TRUE(improveQuality(f.context, optionsFor(method)));
    EXPECT_EQ(second.tile, &a);
    EXPECT_EQ(first.tile, &b);
    EXPECT_EQ(third.tile, &c);
  }
}

TEST(Auction, AStopIsConsumedAndTheAssignmentSoFarIsKept) {
  // Through the placement stage (square: the auction), and with the nearest pairs.
  for (const bool nearest : {false, true}) {
    Fixture f(30, 30);
    f.job.setStopRequest(true);
    if (nearest) {
      f.job.beginStage(ProgressStage::Placement, 30);
      ASSERT_TRUE(improveQuality(f.context, optionsFor(AuctionMethod::Nearest)));
    } else {
      ASSERT_TRUE(placeTiles(f.context));
    }
    EXPECT_FALSE(f.job.stopRequested());
    // The first scan sees the request: the pass ends before the first bid.
    f.expectOneToOne(0);
    EXPECT_EQ(f.job.statusText(), "Adding Tile#: 0 of 30 (#0, 0)");
  }
}

TEST(Auction, AStopWhileImprovingKeepsEveryCellFilled) {
  for (const AuctionMethod method : kMethods) {
    Fixture f(200, 200);
    std::atomic<bool> finished{false};
    // Presses the button as soon as the improving status shows, whenever that is.
    std::thread presser([&] {
      while (!finished.load()) {
        if (f.job.statusText().rfind("Improving Quality.", 0) == 0) {
          f.job.setStopRequest(true);
          return;
        }
        std::this_thread::yield();
      }
    });
    AuctionOptions options = optionsFor(method);
    options.nearest = 3;  // rounds of checks to be stopped in
    const bool goOn = improveQuality(f.context, options);
    finished.store(true);
    presser.join();
    EXPECT_TRUE(goOn);
    f.expectOneToOne(200);
  }
}

TEST(Auction, TilesNoVariantAllowsStayUnused) {
  for (const AuctionMethod method : kMethods) {
    Fixture f(4, 4);
    f.comparison.variantBits = 0;  // nothing may be placed
    ASSERT_TRUE(improveQuality(f.context, optionsFor(method)));
    f.expectOneToOne(0);
  }
}

}  // namespace
}  // namespace tg
