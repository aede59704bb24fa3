// SPDX-License-Identifier: GPL-3.0-or-later
// The no-duplicates auction against an exact assignment solver on random problems, and what a
// stop at any moment leaves behind.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "engine/improve_quality.h"
#include "engine/matching_context.h"
#include "engine/place_tiles.h"
#include "engine/tile_distance.h"
#include "engine_test_support.h"
#include "job/mosaic_job.h"

namespace tg {
namespace {

using test::addCell;
using test::addTile;

// The smallest total of `cost` over assignments of every row to a different column (rows must
// not outnumber columns): the Hungarian method with potentials, O(rows^2 x columns).
std::int64_t optimalTotal(const std::vector<std::vector<std::int64_t>>& cost) {
  const std::size_t rows = cost.size();
  if (rows == 0) return 0;
  const std::size_t columns = cost[0].size();
  constexpr std::int64_t kInfinity = std::numeric_limits<std::int64_t>::max() / 4;
  std::vector<std::int64_t> u(rows + 1, 0);
  std::vector<std::int64_t> v(columns + 1, 0);
  std::vector<std::size_t> rowOf(columns + 1, 0);
  std::vector<std::size_t> way(columns + 1, 0);
  for (std::size_t i = 1; i <= rows; ++i) {
    rowOf[0] = i;
    std::size_t j0 = 0;
    std::vector<std::int64_t> slack(columns + 1, kInfinity);
    std::vector<bool> used(columns + 1, false);
    do {
      used[j0] = true;
      const std::size_t i0 = rowOf[j0];
      std::int64_t delta = kInfinity;
      std::size_t j1 = 0;
      for (std::size_t j = 1; j <= columns; ++j) {
        if (used[j]) continue;
        const std::int64_t reduced = cost[i0 - 1][j - 1] - u[i0] - v[j];
        if (reduced < slack[j]) {
          slack[j] = reduced;
          way[j] = j0;
        }
        if (slack[j] < delta) {
          delta = slack[j];
          j1 = j;
        }
      }
      for (std::size_t j = 0; j <= columns; ++j) {
        if (used[j]) {
          u[rowOf[j]] += delta;
          v[j] -= delta;
        } else {
          slack[j] -= delta;
        }
      }
      j0 = j1;
    } while (rowOf[j0] != 0);
    do {
      const std::size_t j1 = way[j0];
      rowOf[j0] = rowOf[j1];
      j0 = j1;
    } while (j0 != 0);
  }
  std::int64_t total = 0;
  for (std::size_t j = 1; j <= columns; ++j) {
    if (rowOf[j] != 0) total += cost[rowOf[j] - 1][j - 1];
  }
  return total;
}

TEST(OptimalTotal, SolvesSmallProblemsByHand) {
  EXPECT_EQ(optimalTotal({{4, 1, 3}, {2, 0, 5}, {3, 2, 2}}), 5);
  // More columns than rows: the cheapest distinct columns.
  EXPECT_EQ(optimalTotal({{7, 1, 9, 1}, {1, 8, 8, 8}}), 2);
  EXPECT_EQ(optimalTotal({{5, 5}, {5, 5}}), 10);
}

// A signature of random colours drawn from `palette`.
ImageSignature patternSignature(std::mt19937& random, const std::vector<Pixel>& palette) {
  ImageSignature signature;
  for (Pixel& value : signature.values) value = palette[random() % palette.size()];
  signature.opaque = 1;
  signature.valid = 1;
  return signature;
}

// A random problem of `cells` cells and `tiles` tiles. Signatures are drawn from a handful of
// patterns, so that many pairs have exactly the same distance, and the cells have different
// weights.
struct RandomProblem : test::PlacementWorld {
  RandomProblem(int cells, int tiles, std::uint32_t seed, int patterns = 6)
      : PlacementWorld(kProcessingExperimental2) {
    job.settings.tileDuplication.set(1);
    std::mt19937 random(seed);
    std::vector<Pixel> palette;
    for (int i = 0; i < 5; ++i) {
      palette.push_back(makePixel(random() % 256, random() % 256, random() % 256, 0));
    }
    std::vector<ImageSignature> shapes;
    for (int i = 0; i < patterns; ++i) shapes.push_back(patternSignature(random, palette));
    grid.columns = static_cast<std::uint32_t>(cells * 10);
    grid.rows = 10;
    const std::uint8_t weights[] = {10, 20, 20, 37};
    for (int i = 0; i < cells; ++i) {
      PuzzleInfo& cell = addCell(grid, i * 10, 0, 10, 10, weights[random() % 4]);
      cell.signature = shapes[random() % shapes.size()];
    }
    for (int i = 0; i < tiles; ++i) {
      FotoInfo& tile = addTile(list, "/t/" + std::to_string(10000 + i) + ".jpg", 0);
      tile.signature = shapes[random() % shapes.size()];
    }
  }

  // The smallest possible total score, rows being the smaller side.
  std::int64_t optimum() {
    std::vector<const PuzzleInfo*> cells;
    for (const auto& cell : grid.cells) cells.push_back(cell.get());
    std::vector<const FotoInfo*> tiles;
    for (const auto& [path, tile] : list.tiles) tiles.push_back(&tile);
    const bool tilesAreRows = tiles.size() < cells.size();
    std::vector<std::vector<std::int64_t>> cost;
    for (std::size_t r = 0; r < (tilesAreRows ? tiles.size() : cells.size()); ++r) {
      std::vector<std::int64_t> row;
      for (std::size_t c = 0; c < (tilesAreRows ? cells.size() : tiles.size()); ++c) {
        const PuzzleInfo& cell = *cells[tilesAreRows ? c : r];
        const FotoInfo& tile = *tiles[tilesAreRows ? r : c];
        row.push_back(tileDistance(comparison, kNoMatch, cell, tile));
      }
      cost.push_back(std::move(row));
    }
    return optimalTotal(cost);
  }

  // What the placement left: the number of filled cells and their total score. Fails the test
  // when a tile is used twice or the records disagree with the cells.
  std::pair<std::size_t, std::int64_t> outcome() {
    std::set<const FotoInfo*> used;
    std::int64_t total = 0;
    for (const auto& cell : grid.cells) {
      if (cell->tile == nullptr) continue;
      EXPECT_TRUE(used.insert(cell->tile).second) << cell->tile->path << " used twice";
      EXPECT_EQ(cell->score, tileDistance(comparison, kNoMatch, *cell, *cell->tile));
      total += cell->score;
    }
    for (auto& [path, tile] : list.tiles) {
      EXPECT_EQ(tile.useCount, used.contains(&tile) ? 1u : 0u) << path;
    }
    return {used.size(), total};
  }

  // The assignment as tile path by cell index.
  std::map<std::size_t, std::string> assignment() const {
    std::map<std::size_t, std::string> result;
    for (std::size_t i = 0; i < grid.cells.size(); ++i) {
      if (grid.cells[i]->tile != nullptr) result[i] = grid.cells[i]->tile->path;
    }
    return result;
  }
};

struct Shape {
  int cells;
  int tiles;
  int patterns;
};

const AuctionMethod kMethods[] = {AuctionMethod::Nearest, AuctionMethod::Reference,
                                  AuctionMethod::Automatic};

std::string nameOf(AuctionMethod method) {
  return method == AuctionMethod::Nearest     ? "nearest"
         : method == AuctionMethod::Reference ? "reference"
                                              : "automatic";
}

class AuctionOptimum : public ::testing::TestWithParam<Shape> {};

TEST_P(AuctionOptimum, NearestPairsReachTheBestTotalTheAuctionWithinOnePerBidder) {
  // The nearest pairs are checked with 32 pairs per bidder (often all there are) and with 2,
  // which makes the optimality check find better pairs outside them round after round.
  const Shape shape = GetParam();
  const auto bidders = static_cast<std::size_t>(std::min(shape.cells, shape.tiles));
  for (std::uint32_t seed = 1; seed <= 6; ++seed) {
    for (const AuctionMethod method : kMethods) {
      for (const std::size_t nearest : {std::size_t{0}, std::size_t{2}}) {
        if (method != AuctionMethod::Nearest && nearest > 0) continue;
        SCOPED_TRACE("seed " + std::to_string(seed) + " " + nameOf(method) + " nearest " +
                     std::to_string(nearest));
        RandomProblem problem(shape.cells, shape.tiles, seed, shape.patterns);
        const std::int64_t best = problem.optimum();
        AuctionOptions options;
        options.method = method;
        options.nearest = nearest;
        ASSERT_TRUE(improveQuality(problem.context, options));
        const auto [filled, total] = problem.outcome();
        EXPECT_EQ(filled, bidders);
        EXPECT_GE(total, best);
        // The nearest pairs are exact, the reference within 1 per bidder; the automatic method
        // (distances in two bytes) within 1 % of the best.
        const std::int64_t slack = method == AuctionMethod::Nearest     ? 0
                                   : method == AuctionMethod::Reference ? std::int64_t(bidders)
                                                                        : best / 100;
        EXPECT_LE(total, best + slack);
      }
    }
  }
}

TEST(AuctionNearest, WithoutRoomForAllDistancesTheFirstSolveStands) {
  // Cells of one colour and their two nearest tiles the same two: the bounds prove almost no
  // bidder. Where the price auction could keep every distance it takes over; where it could
  // not (a table of 1 byte), the assignment on the nearest pairs stands, checked no further.
  for (const std::size_t tableBytes : {std::size_t{0}, std::size_t{1}}) {
    SCOPED_TRACE("table bytes " + std::to_string(tableBytes));
    RandomProblem problem(30, 60, 21, 40);
    for (const auto& cell : problem.grid.cells) {
      cell->signature = problem.grid.cells[0]->signature;
    }
    AuctionStats stats;
    AuctionOptions options;
    options.nearest = 2;
    options.tableBytes = tableBytes;
    options.rowLength = 3;  // the price auction, if it runs, looks beyond its rows
    options.stats = &stats;
    ASSERT_TRUE(improveQuality(problem.context, options));
    const auto [filled, total] = problem.outcome();
    const std::int64_t best = problem.optimum();
    EXPECT_EQ(filled, 30u);
    EXPECT_GE(total, best);
    EXPECT_EQ(stats.rounds, 1);  // no rounds of checks
    EXPECT_EQ(stats.rescanned > 0, tableBytes == 0);
    if (tableBytes == 0) {
      EXPECT_LE(total, best + best / 100);
    }
  }
}

TEST(AuctionNearest, BetterPairsOutsideTheNearestAreFoundAndProveTheBest) {
  // Cells of one colour and tiles of many: every cell's two nearest tiles are the same two,
  // so all but two cells must get pairs the first scan left out.
  for (const Shape shape : {Shape{30, 50, 40}, Shape{50, 30, 40}}) {
    SCOPED_TRACE(std::to_string(shape.cells) + "x" + std::to_string(shape.tiles));
    RandomProblem problem(shape.cells, shape.tiles, 21, shape.patterns);
    for (const auto& cell : problem.grid.cells) {
      cell->signature = problem.grid.cells[0]->signature;
    }
    const std::int64_t best = problem.optimum();
    AuctionStats stats;
    AuctionOptions options;
    options.method = AuctionMethod::Nearest;
    options.nearest = 2;
    options.stats = &stats;
    ASSERT_TRUE(improveQuality(problem.context, options));
    const auto [filled, total] = problem.outcome();
    EXPECT_EQ(filled, static_cast<std::size_t>(std::min(shape.cells, shape.tiles)));
    EXPECT_EQ(total, best);
    EXPECT_GT(stats.addedPairs, 0u);
    EXPECT_GT(stats.rounds, 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, AuctionOptimum,
                         ::testing::Values(Shape{40, 60, 6}, Shape{60, 40, 6}, Shape{50, 50, 6},
                                           Shape{40, 60, 40}, Shape{60, 40, 40}, Shape{9, 45, 3},
                                           Shape{45, 9, 3}, Shape{30, 30, 2}));

TEST(AuctionRows, ShortRowsReachTheSameTotalsAsFullOnes) {
  // Rows of a few entries make almost every scan look beyond them, at prices that went up and
  // (with more items than bidders) down again; the rows grow where there is room, and where
  // there is none the items found serve the caches alone.
  for (const Shape shape : {Shape{40, 60, 40}, Shape{60, 40, 40}, Shape{35, 35, 5}}) {
    const auto bidders = static_cast<std::size_t>(std::min(shape.cells, shape.tiles));
    for (std::uint32_t seed = 11; seed <= 13; ++seed) {
      for (const std::size_t room : {std::size_t{0}, 3 * bidders}) {
        // With the table of all distances (bytes 0: the budget holds it) rows grow by reading
        // it; without, by comparing again.
        for (const std::size_t tableBytes : {std::size_t{0}, std::size_t{1}}) {
          SCOPED_TRACE(std::to_string(shape.cells) + "x" + std::to_string(shape.tiles) + " seed " +
                       std::to_string(seed) + " room " + std::to_string(room) + " table bytes " +
                       std::to_string(tableBytes));
          RandomProblem problem(shape.cells, shape.tiles, seed, shape.patterns);
          const std::int64_t best = problem.optimum();
          AuctionOptions options;
          options.method = AuctionMethod::Reference;
          options.rowLength = 3;
          options.rowEntries = room;
          options.tableBytes = tableBytes;
          ASSERT_TRUE(improveQuality(problem.context, options));
          const auto [filled, total] = problem.outcome();
          EXPECT_EQ(filled, bidders);
          EXPECT_GE(total, best);
          EXPECT_LE(total, best + static_cast<std::int64_t>(bidders));
        }
      }
    }
  }
}

TEST(AuctionThreads, TheAssignmentDoesNotDependOnTheThreadCount) {
  // Enough items that scans are split over the workers: cells bidding for 2,100 tiles, and
  // tiles bidding for 2,100 cells (the first scan of the nearest pairs in three jobs).
  for (const AuctionMethod method : kMethods) {
    // (The automatic method: a square, where its table is kept in two bytes a pair.)
    const std::vector<Shape> shapes =
        method == AuctionMethod::Automatic
            ? std::vector<Shape>{Shape{300, 300, 30}, Shape{2100, 24, 30}}
            : std::vector<Shape>{Shape{24, 2100, 30}, Shape{2100, 24, 30}};
    for (const Shape shape : shapes) {
      std::map<std::size_t, std::map<std::size_t, std::string>> first;
      // Run twice: with the table of all distances and without (the second).
      for (const std::uint32_t threads : {1u, 3u, 1u + 8u, 3u + 8u}) {
        const std::size_t tableBytes = threads > 8 ? 1 : 0;
        if (method == AuctionMethod::Nearest && tableBytes > 0) continue;
        SCOPED_TRACE(std::to_string(shape.cells) + "x" + std::to_string(shape.tiles) + " on " +
                     std::to_string(threads % 8) + " " + nameOf(method) + " table bytes " +
                     std::to_string(tableBytes));
        RandomProblem problem(shape.cells, shape.tiles, 5, shape.patterns);
        problem.job.threadCount = threads % 8;
        AuctionOptions options;
        options.method = method;
        options.tableBytes = tableBytes;
        // Short rows, so that scans over every item happen too.
        options.rowLength = 40;
        options.nearest = 3;
        ASSERT_TRUE(improveQuality(problem.context, options));
        EXPECT_EQ(problem.outcome().first,
                  static_cast<std::size_t>(std::min(shape.cells, shape.tiles)));
        if (threads % 8 == 1) {
          first[tableBytes] = problem.assignment();
        } else {
          EXPECT_EQ(problem.assignment(), first[tableBytes]);
        }
      }
    }
  }
}

TEST(AuctionStop, AStopAfterAnyBidKeepsWhatTheFillingPhaseFilled) {
  for (const auto& [shape, method] : {std::pair{Shape{40, 60, 6}, AuctionMethod::Reference},
                                      std::pair{Shape{60, 40, 6}, AuctionMethod::Reference},
                                      std::pair{Shape{40, 60, 6}, AuctionMethod::Nearest},
                                      std::pair{Shape{60, 40, 6}, AuctionMethod::Nearest}}) {
    SCOPED_TRACE(std::to_string(shape.cells) + "x" + std::to_string(shape.tiles) + " " +
                 nameOf(method));
    const auto bidders = static_cast<std::size_t>(std::min(shape.cells, shape.tiles));
    RandomProblem unstopped(shape.cells, shape.tiles, 3);
    AuctionOptions plain;
    plain.method = method;
    plain.nearest = 3;  // rounds of checks after the first solve, to be stopped in too
    ASSERT_TRUE(improveQuality(unstopped.context, plain));
    const std::int64_t finalTotal = unstopped.outcome().second;

    std::size_t lastFilled = 0;
    std::int64_t lastTotal = std::numeric_limits<std::int64_t>::max();
    bool reachedEnd = false;
    for (long bids = 1; !reachedEnd; bids = bids < 80 ? bids + 1 : bids * 5 / 4) {
      SCOPED_TRACE("stop after " + std::to_string(bids) + " bids");
      RandomProblem problem(shape.cells, shape.tiles, 3);
      AuctionOptions options = plain;
      options.stopAfterBids = bids;
      ASSERT_TRUE(improveQuality(problem.context, options));
      EXPECT_FALSE(problem.job.stopRequested());  // consumed
      const auto [filled, total] = problem.outcome();
      // While filling, every bid fills at most one more cell; once full, always full, and a
      // later stop keeps an assignment at least as good.
      EXPECT_GE(filled, lastFilled);
      EXPECT_LE(filled, bidders);
      if (lastFilled == bidders) {
        EXPECT_EQ(filled, bidders);
        EXPECT_LE(total, lastTotal);
        EXPECT_GE(total, finalTotal);
      }
      lastFilled = filled;
      lastTotal = filled == bidders ? total : lastTotal;
      reachedEnd = filled == bidders && total == finalTotal && bids > 5000;
      ASSERT_LT(bids, 1000000) << "the auction never ended";
    }
  }
}

TEST(AuctionStop, StatusShowsImprovingOnceEveryBidderHoldsAnItem) {
  for (const AuctionMethod method : kMethods) {
    SCOPED_TRACE(nameOf(method));
    RandomProblem problem(30, 30, 8);
    AuctionOptions options;
    options.method = method;
    options.stopAfterBids = 29;  // within the filling phase
    ASSERT_TRUE(improveQuality(problem.context, options));
    EXPECT_EQ(problem.job.statusText().rfind("Adding Tile#: ", 0), 0u) << problem.job.statusText();

    RandomProblem later(30, 30, 8);
    options.stopAfterBids = 400;
    ASSERT_TRUE(improveQuality(later.context, options));
    EXPECT_EQ(later.job.statusText().rfind("Improving Quality. Press Mosaic button", 0), 0u)
        << later.job.statusText();
    EXPECT_EQ(later.outcome().first, 30u);
  }
}

TEST(AuctionTies, IdenticalTilesAndCellsSettleWithoutPriceWars) {
  // 200 identical cells and 300 tiles of three kinds: every choice ties with hundreds of
  // others, the case in which small price steps make bidders outbid each other for ever.
  for (const AuctionMethod method : kMethods) {
    SCOPED_TRACE(nameOf(method));
    test::PlacementWorld world(kProcessingExperimental2);
    world.job.settings.tileDuplication.set(1);
    world.grid.columns = 2000;
    world.grid.rows = 10;
    for (int i = 0; i < 200; ++i) {
      addCell(world.grid, i * 10, 0, 10, 10).signature = test::uniformSignature(100, 100, 100);
    }
    for (int i = 0; i < 300; ++i) {
      addTile(world.list, "/t/" + std::to_string(1000 + i) + ".jpg", 90 + (i % 3) * 10);
    }
    AuctionOptions options;
    options.method = method;
    ASSERT_TRUE(improveQuality(world.context, options));
    std::map<std::uint32_t, int> byScore;
    for (const auto& cell : world.grid.cells) {
      ASSERT_NE(cell->tile, nullptr);
      ++byScore[cell->score];
    }
    // The 100 exact matches and then 100 of the 200 next best.
    ASSERT_EQ(byScore.size(), 2u);
    EXPECT_EQ(byScore.begin()->first, 0u);
    EXPECT_EQ(byScore.begin()->second, 100);
  }
}

}  // namespace
}  // namespace tg
