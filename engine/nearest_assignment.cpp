// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/nearest_assignment.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <utility>

#include "engine/auction_progress.h"
#include "engine/auction_scan.h"
#include "engine/matching_context.h"
#include "engine/sparse_assignment.h"
#include "engine/tile_distance.h"
#include "geometry/cell_grid.h"
#include "job/mosaic_job.h"
#include "parallel/worker_pool.h"
#include "tiles/foto_info.h"

namespace tg {

namespace {

constexpr std::uint32_t kNone = 0xFFFFFFFFu;
constexpr std::size_t kDefaultNearest = 32;
// A bound meaning "no pair was left out".
constexpr std::int64_t kUnbounded = std::numeric_limits<std::int64_t>::max();
// Bidders per job of the first scan. With cells bidding each job prepares its own cells; with
// tiles bidding each job prepares every cell once, so its jobs are larger.
constexpr std::size_t kCellScanBlock = 512;
constexpr std::size_t kTileScanBlock = 1024;
// Bidders per job of an optimality check, and per batch between two stop checks.
constexpr std::size_t kRescanBlock = 4;
constexpr std::size_t kRescanBatch = 256;

class NearestAssignment {
 public:
  NearestAssignment(MatchingContext& context, std::span<PuzzleInfo* const> cells,
                    std::span<FotoInfo* const> tiles, const AuctionOptions& options, bool keepFirst,
                    AuctionProgress& progress)
      : m_context(context),
        m_cells(cells),
        m_tiles(tiles),
        m_tilesBid(tiles.size() < cells.size()),
        m_bidders(m_tilesBid ? tiles.size() : cells.size()),
        m_items(m_tilesBid ? cells.size() : tiles.size()),
        m_nearest(std::min(options.nearest > 0 ? options.nearest : kDefaultNearest, m_items)),
        m_nearestBidders(std::min(std::max<std::size_t>(2, m_nearest / 4), m_bidders)),
        m_mayGiveUp(options.method == AuctionMethod::Automatic),
        m_keepFirst(keepFirst),
        m_progress(progress),
        m_stats(options.stats),
        m_workers(context.job),
        m_assignment(m_bidders, m_items),
        m_kept(m_bidders, kNone) {
    if (m_bidders > 0 && m_items > 0) m_squares = squaresOf(tiles);
  }

  // False when it gave up without a result (see `assignNearest`).
  [[nodiscard]] bool run();
  [[nodiscard]] std::vector<std::uint32_t> tileOfCell() const;

 private:
  // The first scan over all pairs: each bidder's `m_nearest` nearest items and each item's
  // `m_nearestBidders` nearest bidders become the pairs of the assignment; the distance of
  // the first pair each list left out becomes its bound. False when a stop request ended it
  // (the request is left for the caller to consume).
  [[nodiscard]] bool scanAllPairs();
  void scanCellBidders(std::size_t first, std::size_t last, NearLists& bidderLists,
                       NearLists& itemLists) const;
  void scanTileBidders(std::size_t first, std::size_t last, NearLists& bidderLists,
                       NearLists& itemLists) const;

  // The pairs outside the rows that beat what their bidders pay now, as a list of additions
  // per bidder; empty when the assignment is optimal for all pairs. False when a stop ended
  // the check.
  // The bidders for which some pair outside their rows may beat what they pay: the others are
  // proven optimal by the bounds alone.
  [[nodiscard]] std::vector<std::uint32_t> suspects() const;
  [[nodiscard]] bool findBetterPairs(
      std::vector<std::pair<std::uint32_t, std::vector<AssignmentEdge>>>& found);
  // Counts the pairs it compares in `compared`.
  [[nodiscard]] std::vector<AssignmentEdge> rescan(std::uint32_t bidder,
                                                   std::vector<std::uint8_t>& inRow,
                                                   std::size_t& compared) const;

  // Solves with the pairs given so far; false when a stop ended it.
  [[nodiscard]] bool solve();
  // Keeps the assignment if it serves more bidders than the one kept, or as many at less cost.
  void keepIfBetter();

  MatchingContext& m_context;
  std::span<PuzzleInfo* const> m_cells;
  std::span<FotoInfo* const> m_tiles;
  bool m_tilesBid;
  std::size_t m_bidders;
  std::size_t m_items;
  std::size_t m_nearest;
  std::size_t m_nearestBidders;
  bool m_mayGiveUp;
  bool m_keepFirst;
  AuctionProgress& m_progress;
  AuctionStats* m_stats;
  ScanWorkers m_workers;
  // The squares of every tile's thumbnail, which let comparisons over their limit stop early.
  std::vector<TileSquares> m_squares;
  SparseAssignment m_assignment;
  // The distance every item outside a bidder's nearest has at least (`kUnbounded`: none was
  // left out), and the same for the bidders outside an item's nearest.
  std::vector<std::int64_t> m_bidderBound;
  std::vector<std::int64_t> m_itemBound;
  std::vector<std::uint32_t> m_kept;
  std::size_t m_keptServed = 0;
  std::uint64_t m_keptCost = 0;
  bool m_anyKept = false;
};

void NearestAssignment::scanCellBidders(std::size_t first, std::size_t last, NearLists& bidderLists,
                                        NearLists& itemLists) const {
  // Each group of bidder cells meets every tile; a pair is compared only as far as it could
  // still enter the bidder's list or the tile's.
  constexpr std::size_t kLanes = CellBlock::kCells;
  std::array<std::uint32_t, kLanes> limits{};
  std::array<std::uint32_t, kLanes> scores{};
  for (std::size_t lane0 = first; lane0 < last; lane0 += kLanes) {
    if (m_context.job.stopRequested()) return;
    const PreparedCells block(m_context.comparison, m_cells, lane0, std::min(kLanes, last - lane0));
    const std::size_t lanes = block.size();
    for (std::size_t item = 0; item < m_items; ++item) {
      const std::uint32_t itemLimit = itemLists.limit(item);
      for (std::size_t lane = 0; lane < lanes; ++lane) {
        limits[lane] = std::max(bidderLists.limit(lane0 - first + lane), itemLimit);
      }
      block.distances(m_tiles[item]->signature, &m_squares[item], limits.data(), scores.data());
      for (std::size_t lane = 0; lane < lanes; ++lane) {
        if (scores[lane] == kNoMatch) continue;
        const auto bidder = static_cast<std::uint32_t>(lane0 + lane);
        bidderLists.offer(lane0 - first + lane, {scores[lane], static_cast<std::uint32_t>(item)});
        itemLists.offer(item, {scores[lane], bidder});
      }
    }
  }
}

void NearestAssignment::scanTileBidders(std::size_t first, std::size_t last, NearLists& bidderLists,
                                        NearLists& itemLists) const {
  // Each group of item cells meets every bidder tile of the job.
  constexpr std::size_t kLanes = CellBlock::kCells;
  std::array<std::uint32_t, kLanes> limits{};
  std::array<std::uint32_t, kLanes> scores{};
  for (std::size_t item0 = 0; item0 < m_items; item0 += kLanes) {
    if (m_context.job.stopRequested()) return;
    const PreparedCells block(m_context.comparison, m_cells, item0,
                              std::min(kLanes, m_items - item0));
    const std::size_t lanes = block.size();
    for (std::size_t bidder = first; bidder < last; ++bidder) {
      const std::uint32_t bidderLimit = bidderLists.limit(bidder - first);
      for (std::size_t lane = 0; lane < lanes; ++lane) {
        limits[lane] = std::max(bidderLimit, itemLists.limit(item0 + lane));
      }
      block.distances(m_tiles[bidder]->signature, &m_squares[bidder], limits.data(), scores.data());
      for (std::size_t lane = 0; lane < lanes; ++lane) {
        if (scores[lane] == kNoMatch) continue;
        const auto item = static_cast<std::uint32_t>(item0 + lane);
        bidderLists.offer(bidder - first, {scores[lane], item});
        itemLists.offer(item, {scores[lane], static_cast<std::uint32_t>(bidder)});
      }
    }
  }
}

bool NearestAssignment::scanAllPairs() {
  // Each list keeps one pair more than it passes on: the first pair left out is the bound.
  const std::size_t blockSize = m_tilesBid ? kTileScanBlock : kCellScanBlock;
  const std::size_t blocks = (m_bidders + blockSize - 1) / blockSize;
  std::vector<std::vector<NearPair>> bidderNear(m_bidders);
  NearLists itemNear(m_items, m_nearestBidders + 1);
  std::mutex itemMutex;
  m_workers.forParts(blocks, [&](std::size_t block) {
    const std::size_t first = block * blockSize;
    const std::size_t last = std::min(m_bidders, first + blockSize);
    NearLists bidderLists(last - first, m_nearest + 1);
    NearLists itemLists(m_items, m_nearestBidders + 1);
    if (m_tilesBid) {
      scanTileBidders(first, last, bidderLists, itemLists);
    } else {
      scanCellBidders(first, last, bidderLists, itemLists);
    }
    for (std::size_t bidder = first; bidder < last; ++bidder) {
      const std::span<const NearPair> pairs = bidderLists.sorted(bidder - first);
      bidderNear[bidder].assign(pairs.begin(), pairs.end());
    }
    // The lists hold a strict order, so merging the jobs' lists in any order gives the same.
    const std::lock_guard lock(itemMutex);
    for (std::size_t item = 0; item < m_items; ++item) itemNear.merge(item, itemLists, item);
  });
  if (m_context.job.stopRequested()) return false;

  m_bidderBound.assign(m_bidders, kUnbounded);
  m_itemBound.assign(m_items, kUnbounded);
  // For every bidder, the pairs in which it is among an item's nearest bidders.
  std::vector<std::vector<AssignmentEdge>> extra(m_bidders);
  for (std::size_t item = 0; item < m_items; ++item) {
    const std::span<const NearPair> pairs = itemNear.sorted(item);
    const std::size_t kept = std::min(pairs.size(), m_nearestBidders);
    if (pairs.size() > kept) m_itemBound[item] = pairs[kept].score;
    for (std::size_t i = 0; i < kept; ++i) {
      extra[pairs[i].index].push_back({static_cast<std::uint32_t>(item), pairs[i].score});
    }
  }
  std::vector<AssignmentEdge> row;
  std::size_t pairsKept = 0;
  for (std::size_t bidder = 0; bidder < m_bidders; ++bidder) {
    const std::vector<NearPair>& pairs = bidderNear[bidder];
    const std::size_t kept = std::min(pairs.size(), m_nearest);
    if (pairs.size() > kept) m_bidderBound[bidder] = pairs[kept].score;
    row.clear();
    for (std::size_t i = 0; i < kept; ++i) row.push_back({pairs[i].index, pairs[i].score});
    const auto known = [&](std::uint32_t item) {
      return std::any_of(row.begin(), row.end(),
                         [&](const AssignmentEdge& e) { return e.item == item; });
    };
    for (const AssignmentEdge& edge : extra[bidder]) {
      if (!known(edge.item)) row.push_back(edge);
    }
    // One more pair per bidder, bidder i with item i, so that the pairs always allow every
    // bidder an item of its own: where the nearest pairs crowd onto a few items, the first
    // solve still serves everyone at prices on the scale of distances, and the check then
    // finds the better pairs there are.
    const auto own = static_cast<std::uint32_t>(bidder);
    if (!known(own)) {
      const std::uint32_t score =
          m_tilesBid
              ? tileDistance(m_context.comparison, kNoMatch, *m_cells[own], *m_tiles[bidder])
              : tileDistance(m_context.comparison, kNoMatch, *m_cells[bidder], *m_tiles[own]);
      if (score != kNoMatch) row.push_back({own, score});
    }
    pairsKept += row.size();
    m_assignment.addEdges(static_cast<std::uint32_t>(bidder), row);
    std::vector<NearPair>().swap(bidderNear[bidder]);
  }
  if (m_stats != nullptr) m_stats->firstPairs = pairsKept;
  return true;
}

std::vector<AssignmentEdge> NearestAssignment::rescan(std::uint32_t bidder,
                                                      std::vector<std::uint8_t>& inRow,
                                                      std::size_t& compared) const {
  // Every item outside the row whose distance plus price is below the bidder's level proves
  // the assignment not yet optimal; the most valuable of them join the row.
  const std::int64_t level = m_assignment.level(bidder);
  // Every item outside the row lies at least this far from the bidder.
  const std::int64_t bidderBound = m_bidderBound[bidder];
  const std::span<const AssignmentEdge> row = m_assignment.row(bidder);
  for (const AssignmentEdge& edge : row) inRow[edge.item] = 1;
  std::unique_ptr<CellComparison> bidderCell;
  std::unique_ptr<TileComparison> bidderTile;
  if (m_tilesBid) {
    bidderTile = std::make_unique<TileComparison>(m_context.comparison, m_tiles[bidder]->signature);
  } else {
    const PuzzleInfo& cell = *m_cells[bidder];
    bidderCell =
        std::make_unique<CellComparison>(m_context.comparison, cell.signature, cell.weight);
  }
  std::vector<std::pair<std::int64_t, AssignmentEdge>> better;
  for (std::uint32_t item = 0; item < m_items; ++item) {
    if (inRow[item] != 0) continue;
    // A pair beats the level if its distance is below `needed`; the item's bound may show
    // that none of the bidders outside its nearest has such a distance.
    const std::int64_t needed = level - m_assignment.price(item);
    if (needed <= 0 || m_itemBound[item] >= needed || bidderBound >= needed) continue;
    ++compared;
    const std::uint32_t limit =
        needed >= std::int64_t{kNoMatch} ? kNoMatch : static_cast<std::uint32_t>(needed);
    const std::uint32_t score =
        m_tilesBid ? bidderTile->distance(limit, m_cells[item]->signature, m_cells[item]->weight)
                   : bidderCell->distance(limit, m_tiles[item]->signature);
    if (score == kNoMatch || std::int64_t{score} >= needed) continue;
    better.push_back({std::int64_t{score} + m_assignment.price(item), {item, score}});
  }
  for (const AssignmentEdge& edge : row) inRow[edge.item] = 0;
  const std::size_t keep = std::min(better.size(), m_nearest);
  std::partial_sort(better.begin(), better.begin() + static_cast<std::ptrdiff_t>(keep),
                    better.end(), [](const auto& a, const auto& b) {
                      return a.first != b.first ? a.first < b.first : a.second.item < b.second.item;
                    });
  std::vector<AssignmentEdge> result;
  result.reserve(keep);
  for (std::size_t i = 0; i < keep; ++i) result.push_back(better[i].second);
  return result;
}

std::vector<std::uint32_t> NearestAssignment::suspects() const {
  // No item is cheaper than the lowest price, and none outside a bidder's nearest is nearer
  // than its bound; nor, for bidders outside an item's nearest, nearer than the item's bound.
  const std::int64_t lowest = m_assignment.lowestPrice();
  std::int64_t cheapestOutside = kUnbounded;
  for (std::uint32_t item = 0; item < m_items; ++item) {
    if (m_itemBound[item] != kUnbounded) {
      cheapestOutside = std::min(cheapestOutside, m_itemBound[item] + m_assignment.price(item));
    }
  }
  std::vector<std::uint32_t> result;
  for (std::uint32_t bidder = 0; bidder < m_bidders; ++bidder) {
    const std::int64_t bound = m_bidderBound[bidder];
    if (bound == kUnbounded || cheapestOutside == kUnbounded) continue;
    if (std::max(bound + lowest, cheapestOutside) >= m_assignment.level(bidder)) continue;
    result.push_back(bidder);
  }
  return result;
}

bool NearestAssignment::findBetterPairs(
    std::vector<std::pair<std::uint32_t, std::vector<AssignmentEdge>>>& found) {
  found.clear();
  const std::vector<std::uint32_t> suspects = this->suspects();
  if (m_stats != nullptr) m_stats->rescanned += suspects.size();
  for (std::size_t start = 0; start < suspects.size(); start += kRescanBatch) {
    const std::size_t count = std::min(kRescanBatch, suspects.size() - start);
    std::vector<std::vector<AssignmentEdge>> results(count);
    const std::size_t parts = (count + kRescanBlock - 1) / kRescanBlock;
    std::vector<std::size_t> compared(parts, 0);
    m_workers.forParts(parts, [&](std::size_t part) {
      std::vector<std::uint8_t> inRow(m_items, 0);
      for (std::size_t i = part * kRescanBlock; i < std::min(count, (part + 1) * kRescanBlock);
           ++i) {
        results[i] = rescan(suspects[start + i], inRow, compared[part]);
      }
    });
    if (m_stats != nullptr) {
      for (const std::size_t n : compared) m_stats->compared += n;
    }
    for (std::size_t i = 0; i < count; ++i) {
      if (!results[i].empty()) found.emplace_back(suspects[start + i], std::move(results[i]));
    }
    if (m_progress.consumeStop(m_assignment.servedCount())) return false;
  }
  return true;
}

bool NearestAssignment::solve() {
  m_progress.startRound();
  if (m_stats != nullptr) ++m_stats->rounds;
  // Every pass ends with a valid assignment, which a stop in the next pass must not lose.
  return m_assignment.solve([this] { return !m_progress.afterBid(m_assignment.servedCount()); },
                            [this] { keepIfBetter(); });
}

void NearestAssignment::keepIfBetter() {
  std::uint64_t cost = 0;
  for (std::uint32_t bidder = 0; bidder < m_bidders; ++bidder) {
    if (m_assignment.itemOf(bidder) != kNone) cost += m_assignment.costOf(bidder);
  }
  const std::size_t served = m_assignment.servedCount();
  if (m_anyKept && (served < m_keptServed || (served == m_keptServed && cost >= m_keptCost))) {
    return;
  }
  for (std::uint32_t bidder = 0; bidder < m_bidders; ++bidder) {
    m_kept[bidder] = m_assignment.itemOf(bidder);
  }
  m_keptServed = served;
  m_keptCost = cost;
  m_anyKept = true;
}

bool NearestAssignment::run() {
  if (m_bidders == 0 || m_items == 0) return true;
  // A stop during the scan ends the pass before any tile is placed.
  if (!scanAllPairs()) {
    (void)m_progress.consumeStop(0);
    return true;
  }
  const bool solved = solve();
  // Before the first assignment is complete, a stop keeps what was reached so far.
  keepIfBetter();
  if (!solved) return true;
  // Where most bidders may still find better pairs outside their nearest (nearly every item
  // is needed, so many bidders must go far down their lists), checking round after round
  // costs more than the price auction.
  if (m_mayGiveUp && suspects().size() > m_bidders / 4) {
    if (!m_keepFirst) return false;
    // The assignment on the nearest pairs stands without the checks: where twice as many
    // cells as tiles take part it came within a few thousandths of a percent of the best.
    m_progress.setCompleted();
    m_progress.publish(m_assignment.servedCount());
    return true;
  }
  m_progress.setCompleted();
  m_progress.publish(m_assignment.servedCount());
  std::vector<std::pair<std::uint32_t, std::vector<AssignmentEdge>>> found;
  for (;;) {
    if (!findBetterPairs(found) || found.empty()) break;
    for (const auto& [bidder, edges] : found) {
      if (m_stats != nullptr) m_stats->addedPairs += edges.size();
      m_assignment.addEdges(bidder, edges);
    }
    const bool done = solve();
    keepIfBetter();
    if (!done) return true;
  }
  m_progress.publish(m_assignment.servedCount());
  return true;
}

std::vector<std::uint32_t> NearestAssignment::tileOfCell() const {
  std::vector<std::uint32_t> result(m_cells.size(), kNone);
  for (std::uint32_t bidder = 0; bidder < m_bidders; ++bidder) {
    const std::uint32_t item = m_kept[bidder];
    if (item == kNone) continue;
    result[m_tilesBid ? item : bidder] = m_tilesBid ? bidder : item;
  }
  return result;
}

}  // namespace

bool assignNearest(MatchingContext& context, std::span<PuzzleInfo* const> cells,
                   std::span<FotoInfo* const> tiles, const AuctionOptions& options, bool keepFirst,
                   AuctionProgress& progress, std::vector<std::uint32_t>& tileOfCell) {
  NearestAssignment assignment(context, cells, tiles, options, keepFirst, progress);
  if (!assignment.run()) return false;
  tileOfCell = assignment.tileOfCell();
  return true;
}

}  // namespace tg
