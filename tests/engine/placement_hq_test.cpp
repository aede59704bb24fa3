// SPDX-License-Identifier: GPL-3.0-or-later
// High Quality's candidate searches: split searches against a plain reference, the spacing
// index against a walk over every cell, and whole runs that must not depend on the thread
// count or on the memory budget's list lengths.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/matching_context.h"
#include "engine/place_tiles.h"
#include "engine/score_tile.h"
#include "engine/tile_distance.h"
#include "engine_test_support.h"
#include "job/mosaic_job.h"
#include "support/photo_signature.h"

namespace tg {
namespace {

using test::addCell;
using Entry = CScoreTile::Entry;

// A thumbnail with a gradient and texture; with `levels` > 0 a uniform grey of one of that many
// levels instead, so that many tiles score alike and ties decide.
ImageSignature photo(std::mt19937& rng, int levels = 0) {
  if (levels > 0) {
    const auto grey = static_cast<std::uint32_t>(40 + 160 * (rng() % levels) / levels);
    return test::uniformSignature(grey, grey, grey);
  }
  return test::photoLikeSignature(rng);
}

struct World : test::PlacementWorld {
  World() : PlacementWorld(kProcessingHighQuality) {
    job.settings.tileDuplication.set(0);
    job.settings.duplicateSpacing.set(0);
    job.threadCount = 1;
  }
  // side x side cells of 10 x 10 units.
  void squareGrid(int side, std::mt19937& rng, int levels = 0) {
    grid.columns = static_cast<std::uint32_t>(side * 10);
    grid.rows = grid.columns;
    for (int i = 0; i < side * side; ++i) {
      addCell(grid, (i % side) * 10, (i / side) * 10, 10, 10, static_cast<std::uint8_t>(20))
          .signature = photo(rng, levels);
    }
  }
  void tiles(int count, std::mt19937& rng, int levels = 0) {
    for (int i = 0; i < count; ++i) {
      FotoInfo& tile = test::addTile(list, "/t/" + std::to_string(100000 + i) + ".jpg", 0);
      tile.signature = photo(rng, levels && i % 2 == 0 ? levels : 0);
    }
  }
  std::vector<std::string> placement() const {
    std::vector<std::string> out;
    for (const auto& cell : grid.cells) {
      if (cell) out.push_back(cell->tile != nullptr ? cell->tile->path : "");
    }
    return out;
  }
};

// What one list keeps from candidates first .. last - 1, worked out from its definition: every
// allowed candidate's exact score, ordered by (score, candidate), the first `capacity` of them.
std::vector<Entry> referenceList(const CandidateSet& set, const CellGrid& grid,
                                 const PuzzleInfo& cell, std::uint64_t threshold,
                                 std::uint32_t initialLimit, std::uint32_t capacity,
                                 std::uint32_t first, std::uint32_t last) {
  std::vector<std::uint32_t> excluded;
  for (const auto& other : grid.cells) {
    if (!other || other.get() == &cell || other->tile == nullptr) continue;
    if (withinSpacing(cell, *other, threshold)) {
      excluded.push_back(set.candidateOf[set.indexOf.at(other->tile)]);
    }
  }
  std::vector<Entry> all;
  for (std::uint32_t c = first; c < last; ++c) {
    if (std::find(excluded.begin(), excluded.end(), c) != excluded.end()) continue;
    const auto [from, to] = set.members[c];
    bool out = false;
    std::uint32_t best = kNoMatch;
    for (std::uint32_t i = from; i < to; ++i) {
      out = out || set.exhausted[i] != 0;
      best = std::min(best, tileDistance(*set.comparison, kNoMatch, cell, *set.tiles[i]));
    }
    if (!out && best < initialLimit) all.emplace_back(best, c);
  }
  std::sort(all.begin(), all.end());
  if (all.size() > capacity) all.resize(capacity);
  return all;
}

// Searches of the lists of a small grid split in three parts, merged, against `referenceList`;
// with `chunked` the parts run on threads of their own and take chunks of the range in turn.
void checkSplitSearches(bool chunked) {
  std::mt19937 rng(99);
  World w;
  w.squareGrid(6, rng, 5);
  w.tiles(300, rng, 4);
  // Groups of one to three consecutive tiles, some exhausted, some cells already holding tiles.
  std::vector<FotoInfo*> tiles;
  std::uint32_t group = 1;
  for (auto& [path, tile] : w.list.tiles) {
    tile.groupId = rng() % 3 == 0 ? group : ++group;
    tiles.push_back(&tile);
  }
  CandidateSet set;
  set.assign(tiles, true, w.comparison);
  ASSERT_LT(set.members.size(), tiles.size());
  for (auto& flag : set.exhausted) flag = rng() % 12 == 0 ? 1 : 0;
  set.updateLive();
  for (int i = 0; i < 36; i += 5) w.grid.cells[i]->tile = tiles[rng() % tiles.size()];
  const std::uint64_t threshold = spacingThreshold(w.grid, 3);
  const SpacingIndex nearby(w.grid, threshold);

  std::vector<std::unique_ptr<CScoreTile>> scores;
  std::vector<CScoreTile*> lists;
  for (const auto& cell : w.grid.cells) {
    if (cell->tile != nullptr) continue;
    scores.push_back(std::make_unique<CScoreTile>(*cell));
    lists.push_back(scores.back().get());
  }
  ASSERT_GT(lists.size(), CellBlock::kCells);  // more than one block
  const auto candidates = static_cast<std::uint32_t>(set.members.size());
  for (const std::uint32_t capacity : {1u, 2u, 7u, 1000u}) {
    for (const std::uint32_t initialLimit : {kNoMatch, 400000u}) {
      for (CScoreTile* list : lists) list->capacity = capacity;
      for (const bool indexed : {false, true}) {
        CScoreTile::RebuildInfo info;
        info.tiles = &set;
        info.cells = &w.grid;
        info.threshold = threshold;
        info.initialLimit = initialLimit;
        info.nearby = indexed ? &nearby : nullptr;
        // Seeds by the blocks' detail or by the average: the work changes, never the lists.
        info.detailSeeds = rng() % 2 == 0;
        // The range in three uneven parts.
        const std::uint32_t cuts[] = {0, 1 + static_cast<std::uint32_t>(rng() % 50),
                                      candidates / 2 + static_cast<std::uint32_t>(rng() % 50),
                                      candidates};
        // Half the time the parts share their limits and seeds, as split searches on a pool
        // do, and run last part first: the earlier candidates then meet the limits of later
        // ones, which they win ties against, and the last part works out every seed.
        std::vector<SearchShare> shares(lists.size());
        for (SearchShare& share : shares) share.reset(0, candidates, initialLimit);
        std::span<SearchShare> shared;
        if (chunked || rng() % 2 == 0) shared = shares;
        std::vector<std::vector<std::vector<Entry>>> parts(3);
        for (auto& part : parts) part.resize(lists.size());
        if (chunked) {
          // A block of lists at a time, as the refills of a run do; chunks of 1 to 40.
          const auto size = static_cast<std::uint32_t>(1 + rng() % 40);
          for (std::size_t at = 0; at < lists.size(); at += CellBlock::kCells) {
            const std::size_t n = std::min(CellBlock::kCells, lists.size() - at);
            CandidateChunks chunks;
            chunks.reset(0, candidates, size);
            std::vector<std::thread> threads;
            for (auto& part : parts) {
              threads.emplace_back([&, at, n] {
                searchCandidates(std::span(lists).subspan(at, n), info, 0, candidates,
                                 std::span(part).subspan(at, n), shared.subspan(at, n), &chunks);
              });
            }
            for (auto& thread : threads) thread.join();
          }
        } else {
          for (int step = 0; step < 3; ++step) {
            const int p = shared.empty() ? step : 2 - step;
            searchCandidates(lists, info, cuts[p], cuts[p + 1], parts[p], shared);
          }
        }
        for (std::size_t l = 0; l < lists.size(); ++l) {
          const std::vector<Entry> expected = referenceList(
              set, w.grid, lists[l]->cell(), threshold, initialLimit, capacity, 0, candidates);
          std::vector<std::vector<Entry>> pieces{parts[0][l], parts[1][l], parts[2][l]};
          EXPECT_EQ(mergeCandidates(pieces, capacity), expected)
              << "capacity " << capacity << " limit " << initialLimit << " list " << l;
          lists[l]->rebuild(info);
          EXPECT_EQ(lists[l]->candidates(), expected);
          if (expected.size() >= 2) {
            EXPECT_EQ(lists[l]->gap(), expected[1].first - expected[0].first);
          }
        }
      }
    }
  }
}

TEST(CandidateSearch, SplitSearchesMergeToThePlainDefinition) { checkSplitSearches(false); }

TEST(HighQualityThreads, ChunkedSearchesOnThreadsMergeToThePlainDefinition) {
  checkSplitSearches(true);
}

TEST(CScoreTile, RemovesByScoreAndCandidateAmongEqualScores) {
  World w;
  PuzzleInfo& cell = addCell(w.grid, 0, 0, 10, 10);
  CScoreTile score(cell);
  score.assign({{5, 1}, {5, 4}, {5, 9}, {8, 2}});
  EXPECT_EQ(score.gap(), 0u);
  EXPECT_FALSE(score.remove(4, 8));  // listed with another score
  EXPECT_TRUE(score.remove(4, 5));
  EXPECT_FALSE(score.remove(4, 5));
  EXPECT_TRUE(score.remove(1, 5));
  EXPECT_TRUE(score.remove(9));
  EXPECT_EQ(score.best(), Entry(8, 2));
  EXPECT_EQ(score.gap(), 0u);
  score.assign({{3, 7}, {10, 1}});
  EXPECT_EQ(score.gap(), 7u);
}

TEST(CScoreTile, RemovalsLeaveTheListAPlainEraseLeaves) {
  // Removed candidates stay marked in place until the list closes up; what the list reports
  // must be what erasing each one at once gives.
  std::mt19937 rng(3);
  PuzzleInfo cell;
  for (const std::size_t length : {2u, 10u, 65u, 300u}) {
    std::vector<Entry> model;
    for (std::uint32_t c = 0; c < length; ++c) model.emplace_back(rng() % 40, c);
    std::sort(model.begin(), model.end());
    CScoreTile list(cell);
    list.assign(model);
    while (!model.empty()) {
      const Entry gone = model[rng() % model.size()];
      // Both forms of removal; a second removal of the same candidate finds nothing.
      ASSERT_TRUE(rng() % 2 == 0 ? list.remove(gone.second) : list.remove(gone.second, gone.first));
      EXPECT_FALSE(list.remove(gone.second, gone.first));
      EXPECT_FALSE(list.remove(gone.second));
      model.erase(std::find(model.begin(), model.end(), gone));
      ASSERT_EQ(list.size(), model.size());
      if (model.empty()) break;
      EXPECT_EQ(list.best(), model.front());
      EXPECT_EQ(list.gap(), model.size() < 2 ? 0 : model[1].first - model[0].first);
      if (rng() % 8 == 0) {
        list.compact();
        EXPECT_EQ(list.candidates(), model);
      }
    }
    EXPECT_TRUE(list.empty());
  }
}

TEST(SpacingIndex, FindsExactlyTheCellsWithinSpacing) {
  std::mt19937 rng(5);
  CellGrid grid;
  grid.columns = 400;
  grid.rows = 300;
  for (int i = 0; i < 400; ++i) {
    // Cells of mixed sizes at arbitrary places, some sharing a top edge.
    addCell(grid, static_cast<int>(rng() % 390), static_cast<int>(rng() % 30) * 10,
            static_cast<int>(1 + rng() % 20), static_cast<int>(1 + rng() % 20));
  }
  for (const std::uint64_t threshold : {0ull, 1ull, 2ull, 99ull, 100ull, 101ull, 2500ull}) {
    const SpacingIndex index(grid, threshold);
    std::uint32_t most = 0;
    for (const auto& cell : grid.cells) {
      std::vector<const PuzzleInfo*> found;
      index.near(*cell, found);
      std::vector<const PuzzleInfo*> expected;
      for (const auto& other : grid.cells) {
        if (other != cell && withinSpacing(*cell, *other, threshold))
          expected.push_back(other.get());
      }
      std::sort(found.begin(), found.end());
      std::sort(expected.begin(), expected.end());
      ASSERT_EQ(found, expected) << "threshold " << threshold;
      most = std::max<std::uint32_t>(most, static_cast<std::uint32_t>(expected.size()));
    }
    EXPECT_EQ(index.mostNear(100000), most) << "threshold " << threshold;
    EXPECT_EQ(index.mostNear(3), std::min<std::uint32_t>(most, 3)) << "threshold " << threshold;
  }
}

// Every pair of cells holding the same tile on a square grid of `side` lies apart.
void expectSpacingKept(const World& w, int side, long spacing) {
  const std::uint64_t threshold = spacingThreshold(w.grid, spacing);
  for (int i = 0; i < side * side; ++i) {
    const PuzzleInfo& a = *w.grid.cells[i];
    for (int dy = -spacing; dy <= spacing; ++dy) {
      for (int dx = -spacing; dx <= spacing; ++dx) {
        const int x = i % side + dx;
        const int y = i / side + dy;
        if ((dx == 0 && dy == 0) || x < 0 || y < 0 || x >= side || y >= side) continue;
        const PuzzleInfo& b = *w.grid.cells[y * side + x];
        if (a.tile != nullptr && a.tile == b.tile) {
          EXPECT_FALSE(withinSpacing(a, b, threshold)) << "cells " << i << ", " << y * side + x;
        }
      }
    }
  }
}

struct RunCase {
  const char* name;
  long duplication;
  long spacing;
  const char* megabytes;
  // Empty slots in the cell container: they count as cells for the first list length only,
  // which makes the first lists short and forces many refills.
  std::size_t padding;
};

TEST(HighQualityThreads, EverySettingGivesTheSameResultOnAnyNumberOfThreads) {
  const RunCase cases[] = {{"no duplicates, short lists", 1, 0, "10", 150000},
                           {"no duplicates", 1, 0, "3900", 0},
                           {"no duplicates with spacing", 1, 3, "10", 150000},
                           {"spacing only, short lists", 0, 2, "10", 150000},
                           {"two uses with spacing", 2, 2, "10", 0},
                           {"unlimited", 0, 0, "3900", 0}};
  for (const RunCase& c : cases) {
    std::vector<std::string> first;
    std::uint64_t firstJobs = 0;
    for (const unsigned threads : {1u, 2u, 4u}) {
      std::mt19937 rng(42);
      World w;
      w.job.threadCount = threads;
      w.job.settings.tileDuplication.set(c.duplication);
      w.job.settings.duplicateSpacing.set(c.spacing);
      w.job.settings.advanced.setRowValue(AdvancedRow::MemoryMaxSizeMB, c.megabytes);
      w.squareGrid(16, rng, 6);
      // Enough tiles that a refill of a few lists is split between the threads.
      w.tiles(1500, rng, 6);
      w.grid.cells.resize(w.grid.cells.size() + c.padding);
      HighQualityStats stats;
      ASSERT_TRUE(placeHighQuality(w.context, false, &stats)) << c.name;
      const std::vector<std::string> result = w.placement();
      EXPECT_EQ(std::count(result.begin(), result.end(), ""), 0) << c.name;
      if (c.spacing > 0) expectSpacingKept(w, 16, c.spacing);
      if (first.empty()) {
        first = result;
        firstJobs = stats.searchJobs;
      } else {
        EXPECT_EQ(result, first) << c.name << ", " << threads << " threads";
        // A refill of a few lists is split into parts on more than one thread.
        if (c.padding > 0 && c.duplication == 1) {
          EXPECT_GT(stats.searchJobs, firstJobs) << c.name;
        }
      }
      if (c.duplication == 1) {
        std::vector<std::string> sorted = result;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end()) << c.name;
      }
    }
  }
}

// High Quality worked out from its definition, with lists of every candidate a cell may still
// take (so none ever runs short): the largest gap is served first; a list whose gap changes
// goes behind the lists of equal gap, the lists one placement changes in container order.
// `threshold` is the spacing threshold. Returns each cell's tile path and score.
std::vector<std::pair<std::string, std::uint32_t>> referenceHighQuality(World& w,
                                                                        std::uint64_t threshold) {
  struct Waiting {
    PuzzleInfo* cell;
    std::vector<Entry> list;
    std::uint32_t gap = 0;
    std::uint64_t order = 0;
  };
  const auto gapOf = [](const std::vector<Entry>& list) {
    return list.size() < 2 ? 0u : list[1].first - list[0].first;
  };
  const std::vector<FotoInfo*> tiles = placementTiles(w.list);
  std::uint64_t next = 0;
  std::vector<Waiting> waiting;
  for (const auto& cell : w.grid.cells) {
    if (!cell || cell->active == 0 || cell->tile != nullptr) continue;
    Waiting entry{cell.get(), {}};
    for (std::uint32_t i = 0; i < tiles.size(); ++i) {
      const std::uint32_t score = tileDistance(w.comparison, kNoMatch, *cell, *tiles[i]);
      if (score != kNoMatch) entry.list.emplace_back(score, i);
    }
    std::sort(entry.list.begin(), entry.list.end());
    entry.gap = gapOf(entry.list);
    entry.order = next++;
    waiting.push_back(std::move(entry));
  }
  while (!waiting.empty()) {
    const auto first =
        std::min_element(waiting.begin(), waiting.end(), [](const Waiting& a, const Waiting& b) {
          return a.gap != b.gap ? a.gap > b.gap : a.order < b.order;
        });
    const Waiting served = std::move(*first);
    waiting.erase(first);
    if (served.list.empty()) continue;
    const auto [score, index] = served.list.front();
    FotoInfo& tile = *tiles[index];
    served.cell->tile = &tile;
    served.cell->score = score;
    const bool spent = ++tile.useCount >= w.context.useLimit(tile);
    for (Waiting& other : waiting) {
      if (!spent && !withinSpacing(*served.cell, *other.cell, threshold)) continue;
      std::erase_if(other.list, [&](const Entry& e) { return e.second == index; });
      if (gapOf(other.list) == other.gap) continue;
      other.gap = gapOf(other.list);
      other.order = next++;
    }
  }
  std::vector<std::pair<std::string, std::uint32_t>> out;
  for (const auto& cell : w.grid.cells) {
    if (cell) out.emplace_back(cell->tile != nullptr ? cell->tile->path : "", cell->score);
  }
  return out;
}

TEST(HighQualityReference, RunsGiveThePlainDefinitionWhateverTheListLengths) {
  // Many tiles of a few grey levels, so that equal gaps are common and the order among them
  // decides; short lists (a small budget stretched over empty slots) are refilled many times.
  const RunCase cases[] = {{"no duplicates, short lists", 1, 0, "10", 150000},
                           {"no duplicates", 1, 0, "3900", 0},
                           {"two uses with spacing, short lists", 2, 2, "10", 150000},
                           {"spacing only, short lists", 0, 3, "10", 150000},
                           {"unlimited", 0, 0, "3900", 0}};
  for (const RunCase& c : cases) {
    for (const unsigned threads : {1u, 2u}) {
      std::mt19937 rng(8);
      World w;
      w.job.threadCount = threads;
      w.job.settings.tileDuplication.set(c.duplication);
      w.job.settings.duplicateSpacing.set(c.spacing);
      w.job.settings.advanced.setRowValue(AdvancedRow::MemoryMaxSizeMB, c.megabytes);
      w.squareGrid(14, rng, 5);
      w.tiles(400, rng, 5);
      World plain;
      plain.job.settings = w.job.settings;
      plain.grid.columns = w.grid.columns;
      plain.grid.rows = w.grid.rows;
      for (const auto& cell : w.grid.cells) {
        addCell(plain.grid, cell->shape.left, cell->shape.top, 10, 10).signature = cell->signature;
      }
      for (const auto& [path, tile] : w.list.tiles) {
        test::addTile(plain.list, path, 0).signature = tile.signature;
      }
      w.grid.cells.resize(w.grid.cells.size() + c.padding);
      ASSERT_TRUE(placeHighQuality(w.context, false)) << c.name;
      std::vector<std::pair<std::string, std::uint32_t>> result;
      for (const auto& cell : w.grid.cells) {
        if (cell) result.emplace_back(cell->tile != nullptr ? cell->tile->path : "", cell->score);
      }
      // Empty slots count in the average cell area, and so shorten the spacing.
      const std::uint64_t threshold = spacingThreshold(w.grid, c.spacing);
      EXPECT_EQ(result, referenceHighQuality(plain, threshold))
          << c.name << ", " << threads << " threads";
    }
  }
}

TEST(HighQualityReference, EqualGapsKeepTheirOrderWhenShortListsAreRefilled) {
  // Uniform greys a few levels apart: many cells share gaps and compete for the same tiles, and
  // lists of three run short at different times.
  for (std::uint32_t seed = 0; seed < 12; ++seed) {
    std::mt19937 rng(seed);
    World w;
    w.job.settings.tileDuplication.set(1 + seed % 2);
    w.job.settings.advanced.setRowValue(AdvancedRow::MemoryMaxSizeMB, "10");
    World plain;
    plain.job.settings = w.job.settings;
    w.grid.columns = plain.grid.columns = 80;
    w.grid.rows = plain.grid.rows = 80;
    for (int i = 0; i < 64; ++i) {
      const auto grey = static_cast<std::uint32_t>(100 + 4 * (rng() % 4));
      addCell(w.grid, (i % 8) * 10, (i / 8) * 10, 10, 10).signature =
          test::uniformSignature(grey, grey, grey);
      addCell(plain.grid, (i % 8) * 10, (i / 8) * 10, 10, 10).signature =
          test::uniformSignature(grey, grey, grey);
    }
    for (int i = 0; i < 70; ++i) {
      const std::string path = "/t/" + std::to_string(100 + i) + ".jpg";
      const auto grey = static_cast<std::uint32_t>(96 + 3 * (rng() % 8));
      test::addTile(w.list, path, grey);
      test::addTile(plain.list, path, grey);
    }
    w.grid.cells.resize(w.grid.cells.size() + 250000);
    ASSERT_TRUE(placeHighQuality(w.context, false));
    std::vector<std::pair<std::string, std::uint32_t>> result;
    for (const auto& cell : w.grid.cells) {
      if (cell) result.emplace_back(cell->tile != nullptr ? cell->tile->path : "", cell->score);
    }
    EXPECT_EQ(result, referenceHighQuality(plain, 0)) << "seed " << seed;
  }
}

TEST(HighQualitySpacing, ListsAsLongAsTheNeighboursCanTakeNeverRunShort) {
  // Unlimited uses with spacing: lists as long as the cells within spacing plus the two best are
  // never refilled, and give what lists of every candidate give (a use limit that is never
  // reached keeps those).
  std::vector<std::string> results[2];
  for (const long duplication : {0L, 10000L}) {
    std::mt19937 rng(11);
    World w;
    w.job.threadCount = 2;
    w.job.settings.tileDuplication.set(duplication);
    w.job.settings.duplicateSpacing.set(3);
    w.squareGrid(20, rng, 6);
    w.tiles(600, rng, 6);
    HighQualityStats stats;
    ASSERT_TRUE(placeHighQuality(w.context, false, &stats));
    results[duplication != 0] = w.placement();
    expectSpacingKept(w, 20, 3);
    const std::uint64_t cells = w.grid.cells.size();
    const SpacingIndex index(w.grid, spacingThreshold(w.grid, 3));
    const std::uint64_t bound = cells * (index.mostNear(1000) + 2);
    if (duplication == 0) {
      EXPECT_EQ(stats.rebuilds, cells);
      EXPECT_LE(stats.peakListed, bound);
    } else {
      EXPECT_GT(stats.peakListed, bound);
    }
  }
  EXPECT_EQ(results[0], results[1]);
}

TEST(HighQualityBudget, SmallBudgetKeepsListsWithinItAndStillFillsEveryCell) {
  for (const unsigned threads : {1u, 2u}) {
    std::mt19937 rng(7);
    World w;
    w.job.threadCount = threads;
    // Exactly as many uses as cells: the last cells take what is left, far down their lists.
    w.job.settings.tileDuplication.set(25);
    w.job.settings.advanced.setRowValue(AdvancedRow::MemoryMaxSizeMB, "10");
    w.squareGrid(100, rng);
    w.tiles(400, rng);
    HighQualityStats stats;
    ASSERT_TRUE(placeHighQuality(w.context, false, &stats));
    // The smallest budget: 50,000,000 bytes, room for 833,333 candidates, 83 for each of the
    // 10,000 cells at first.
    EXPECT_EQ(stats.entries, 50000000u / 60);
    EXPECT_GT(stats.peakListed, stats.entries / 2);
    EXPECT_LE(stats.peakListed, stats.entries);
    EXPECT_LE(stats.peakIndexed, 2 * stats.peakListed + 65536);
    EXPECT_LE(stats.peakBytes, 50000000u);
    EXPECT_GT(stats.rebuilds, 10000u);  // lists ran short and were refilled
    std::map<const FotoInfo*, int> uses;
    for (const auto& cell : w.grid.cells) {
      ASSERT_NE(cell->tile, nullptr);
      EXPECT_EQ(cell->score, tileDistance(w.comparison, kNoMatch, *cell, *cell->tile));
      ++uses[cell->tile];
    }
    for (const auto& [tile, count] : uses) EXPECT_EQ(count, 25);
  }
}

}  // namespace
}  // namespace tg
