// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/improve_quality.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <chrono>
#include <cstddef>
#include <ctime>
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <queue>
#include <span>
#include <vector>

#include "config/advanced_settings.h"
#include "engine/auction_progress.h"
#include "engine/auction_scan.h"
#include "engine/matching_context.h"
#include "engine/nearest_assignment.h"
#include "engine/place_tiles.h"
#include "engine/tile_distance.h"
#include "geometry/cell_grid.h"
#include "job/mosaic_job.h"
#include "parallel/worker_pool.h"
#include "tiles/foto_info.h"

namespace tg {

namespace {

// The candidate caches of the filling phase.
constexpr std::size_t kFillingCacheSize = 32;
// The caches of the improving phases are longer: their small steps let many bidders crowd the
// same items, so a bidder's prices drift further from the ones of its last scan.
constexpr std::size_t kImprovingCacheSize = 128;
// With the table of all distances kept, a look beyond the cache reads the table instead of
// comparing, and the shorter the list it keeps the sooner its threshold rises above most of the
// row: at 10,000 x 10,000 caches of 16 took the auction after the scan from 9.9 s to 5.2 s
// against 128, with more looks (438,000 against 314,000) but each far cheaper.
constexpr std::size_t kTableCacheSize = 16;
constexpr std::uint32_t kNone = 0xFFFFFFFFu;
// A key below every net value: nothing was left out.
constexpr std::int64_t kNoFloor = std::numeric_limits<std::int64_t>::min();
// The price step of the filling phase: far above any difference of values, so that the phase
// behaves like a best-first assignment whose conflicts go to the bidder that would lose most.
constexpr std::int64_t kFillingStep = 1000000000;
// The smallest price step of the improving phases; the final assignment lies within this much
// per bidder of the best total.
constexpr std::int64_t kFinalStep = 1;
// Scans over fewer items than this stay on the job thread.
constexpr std::size_t kParallelScanItems = 2048;

// A candidate of a scan: its rank key (a net value, or a value minus a profit), the value of the
// pair and the index of the partner.
struct Ranked {
  std::int64_t key;
  std::int64_t value;
  std::uint32_t index;
};

// Larger keys first; equal keys by the lower index, so that every scan, however it is split,
// ranks the candidates in the same order.
bool ranksBefore(const Ranked& a, const Ranked& b) {
  return a.key != b.key ? a.key > b.key : a.index < b.index;
}

// The `capacity` best candidates offered with a key of at least `minimum`, kept as a heap whose
// top is the worst of them.
class TopList {
 public:
  explicit TopList(std::size_t capacity, std::int64_t minimum = kNoFloor)
      : m_capacity(capacity), m_minimum(minimum) {
    m_heap.reserve(capacity);
  }

  [[nodiscard]] bool full() const { return m_heap.size() >= m_capacity; }
  // The key a candidate must at least reach to enter.
  [[nodiscard]] std::int64_t threshold() const {
    return full() && m_capacity > 0 ? std::max(m_minimum, m_heap.front().key) : m_minimum;
  }
  void offer(const Ranked& candidate) {
    if (candidate.key < m_minimum || m_capacity == 0) return;
    if (!full()) {
      m_heap.push_back(candidate);
      std::push_heap(m_heap.begin(), m_heap.end(), ranksBefore);
    } else if (ranksBefore(candidate, m_heap.front())) {
      std::pop_heap(m_heap.begin(), m_heap.end(), ranksBefore);
      m_heap.back() = candidate;
      std::push_heap(m_heap.begin(), m_heap.end(), ranksBefore);
    }
  }
  // Offers all `candidates` at once: the same list as offering them one by one, in less time
  // when many would enter. `candidates` is used up.
  void absorb(std::vector<Ranked>& candidates) {
    if (m_capacity == 0) return;
    std::erase_if(candidates, [&](const Ranked& c) { return c.key < m_minimum; });
    candidates.insert(candidates.end(), m_heap.begin(), m_heap.end());
    if (candidates.size() > m_capacity) {
      std::nth_element(candidates.begin(),
                       candidates.begin() + static_cast<std::ptrdiff_t>(m_capacity - 1),
                       candidates.end(), ranksBefore);
      candidates.resize(m_capacity);
    }
    m_heap.assign(candidates.begin(), candidates.end());
    std::make_heap(m_heap.begin(), m_heap.end(), ranksBefore);
  }
  void merge(const TopList& other) {
    for (const Ranked& candidate : other.m_heap) offer(candidate);
  }
  // The candidates, best first.
  [[nodiscard]] std::vector<Ranked> sorted() const {
    std::vector<Ranked> result = m_heap;
    std::sort(result.begin(), result.end(), ranksBefore);
    return result;
  }

 private:
  std::size_t m_capacity;
  std::int64_t m_minimum;
  std::vector<Ranked> m_heap;
};

// One stored pair of a bidder's row: the distance and the item.
struct RowEntry {
  std::uint32_t score;
  std::uint32_t item;
};

// Smaller distances first, equal ones by the lower item.
bool rowBefore(const RowEntry& a, const RowEntry& b) {
  return a.score != b.score ? a.score < b.score : a.item < b.item;
}

// A distance an eighth larger: the band a growing row takes beyond the items that rank today.
std::int64_t widen(std::int64_t distance) { return distance + distance / 8; }

// The limit for a comparison whose value minus `offset` must reach `threshold`: the value is
// 2^32 + 9,999 - distance, so the distance may be at most 2^32 + 9,999 - offset - threshold.
// One more is allowed: for a cell weight below the neutral one, a limited comparison may reject
// a weighted distance equal to its limit; the caller checks the exact value. False when no
// distance can reach the threshold.
// With `widened`, the limit is larger by `widen`.
bool distanceLimit(std::int64_t offset, std::int64_t threshold, std::uint32_t& limit,
                   bool widened = false) {
  if (threshold == kNoFloor) {
    limit = kNoMatch;
    return true;
  }
  std::int64_t largest = auctionValue(0) - offset - threshold;
  if (largest < 0) return false;
  if (widened) largest = widen(largest);
  limit =
      largest + 1 >= std::int64_t{kMaxScore} ? kNoMatch : static_cast<std::uint32_t>(largest + 1);
  return true;
}

// The items most valuable to a bidder, best first, as its first scan found them, and the
// largest value of the items left out (`kNoFloor` when none was). Values do not depend on
// prices, so later scans read the row instead of comparing the bidder with every item again,
// as far as the prices allow (see `Auction::rescan`).
struct BidderRow {
  std::vector<RowEntry> entries;
  std::int64_t bound = kNoFloor;
};

struct CacheEntry {
  std::int64_t value;
  std::uint32_t item;
};

// A bidder's best items at the time of its last scan and the floor: the best net value any item
// left out may have. Prices only rise, so no item outside can ever be worth more than the
// floor, and the cache answers exactly while it holds at least two entries at or above it.
struct BidderCache {
  std::vector<CacheEntry> entries;
  std::int64_t floor = kNoFloor;
};

// A bidder's choice: its best item, the value and net value of that pair, and the second-best
// net value.
struct Choice {
  bool found = false;
  std::uint32_t item = kNone;
  std::int64_t value = 0;
  std::int64_t net = 0;
  std::int64_t second = 0;
};

// Three quarters of `Options.MemoryMaxSizeMB` in bytes: the room of the price auction's rows,
// or of its table of all distances.
std::size_t auctionRoom(const MosaicJob& job) {
  long megabytes = job.settings.advanced.rowLong(AdvancedRow::MemoryMaxSizeMB);
  megabytes = std::clamp(megabytes, 10L, 3900L);
  return static_cast<std::size_t>(megabytes) * 750000;
}

// Whether the price auction keeps the distances of all pairs: 4 bytes a pair for the
// reference, 2 for the automatic method (see `Auction::m_coarse`).
bool tableFits(const MosaicJob& job, const AuctionOptions& options, std::size_t bidders,
               std::size_t items) {
  const std::size_t room = options.tableBytes > 0 ? options.tableBytes : auctionRoom(job);
  const std::size_t entry = options.method == AuctionMethod::Automatic ? 2 : 4;
  return items > 0 && bidders <= room / entry / items;
}

class Auction {
 public:
  Auction(MatchingContext& context, std::span<PuzzleInfo* const> cells,
          std::span<FotoInfo* const> tiles, const AuctionOptions& options,
          AuctionProgress& progress)
      : m_context(context),
        m_job(context.job),
        m_options(options),
        m_progress(progress),
        m_cells(cells),
        m_tiles(tiles),
        m_tilesBid(m_tiles.size() < m_cells.size()),
        m_workers(context.job),
        m_coarse(options.method == AuctionMethod::Automatic) {
    const std::size_t bidders = m_tilesBid ? m_tiles.size() : m_cells.size();
    const std::size_t items = m_tilesBid ? m_cells.size() : m_tiles.size();
    m_itemOf.assign(bidders, kNone);
    m_valueOf.assign(bidders, 0);
    m_bidderOf.assign(items, kNone);
    m_price.assign(items, 0);
  }

  void run();
  // The best assignment reached, as the tile index of every cell (`kNone` for none).
  [[nodiscard]] std::vector<std::uint32_t> tileOfCell() const;

 private:
  [[nodiscard]] std::size_t bidderCount() const { return m_itemOf.size(); }
  [[nodiscard]] std::size_t itemCount() const { return m_bidderOf.size(); }
  [[nodiscard]] PuzzleInfo& cellOf(std::uint32_t bidder, std::uint32_t item) const {
    return *m_cells[m_tilesBid ? item : bidder];
  }
  [[nodiscard]] FotoInfo& tileOf(std::uint32_t bidder, std::uint32_t item) const {
    return *m_tiles[m_tilesBid ? bidder : item];
  }

  // How many parts a scan over `count` entries is split into.
  [[nodiscard]] std::size_t scanParts(std::size_t count) const;
  // The entries the memory budget allows all rows together, and the length of the first rows.
  [[nodiscard]] std::size_t rowCapacity() const;
  [[nodiscard]] std::size_t rowLength() const;
  // Whether the distances of all pairs are kept (see `m_table`).
  [[nodiscard]] bool keepsTable() const;
  [[nodiscard]] bool hasTable() const { return !m_table.empty() || !m_coarseTable.empty(); }
  [[nodiscard]] std::uint32_t tableScore(std::uint32_t bidder, std::uint32_t item) const {
    const std::size_t at = std::size_t{bidder} * itemCount() + item;
    return m_coarse ? fromCoarse(m_coarseTable[at]) : m_table[at];
  }
  // Calls `visit(item, score)` for every item of the bidder's table row.
  template <typename Visit>
  void forTableRow(std::uint32_t bidder, Visit visit) const {
    const std::size_t at = std::size_t{bidder} * itemCount();
    if (m_coarse) {
      const std::uint16_t* codes = m_coarseTable.data() + at;
      for (std::uint32_t item = 0; item < itemCount(); ++item) visit(item, fromCoarse(codes[item]));
    } else {
      const std::uint32_t* scores = m_table.data() + at;
      for (std::uint32_t item = 0; item < itemCount(); ++item) visit(item, scores[item]);
    }
  }

  // Every bidder's first row, compared at zero prices. False when a stop request ended it (the
  // request is left for the caller to consume).
  [[nodiscard]] bool scanAllAtZeroPrices(std::size_t length);
  // Every bidder's row read at today's prices: the best `m_cacheSize` entries become the cache;
  // the floor also covers the items outside the row. Compares the bidder with the items outside
  // its row only when fewer than two entries would be left (see `extendRow`).
  void rescan(std::uint32_t bidder);
  // Compares the bidder with every item outside its row that could rank in `fromRow` (the row's
  // best at today's prices, not yet full enough), fills the cache from both, and lengthens the
  // row by the best items found, up to twice its length while the rows' memory allows: values
  // do not change, so a bidder that has to look far down its list compares each item a few
  // times instead of at every price change. Once the rows are full it only fills the cache.
  void extendRow(std::uint32_t bidder, TopList& fromRow);
  // `extendRow` with the table kept: reads the distances of the items outside the row.
  void extendFromTable(std::uint32_t bidder, TopList& fromRow);
  // The floor of a cache filled from `best` (best first) whose items outside are worth at most
  // `outside`: the first candidate it leaves out, or `outside` if that is more.
  [[nodiscard]] std::int64_t cacheFloor(const std::vector<Ranked>& best,
                                        std::int64_t outside) const {
    return std::max(best.size() > m_cacheSize ? best[m_cacheSize].key : kNoFloor, outside);
  }
  // The cache from a list's candidates, best first (`TopList::sorted`).
  void fillCache(const std::vector<Ranked>& best, std::int64_t outside, BidderCache& cache) const;
  [[nodiscard]] Choice choose(std::uint32_t bidder);

  // Offers the assigned bidders [first, last) to `top` keyed by what `item` is worth to them
  // beyond the profit they make now, and lists in `raised` the bidders whose cache must take
  // `item` if its price falls as low as `lambda` (value, bidder in `Ranked`).
  void scanBidders(std::uint32_t item, std::uint32_t first, std::uint32_t last, std::int64_t lambda,
                   TopList& top, std::vector<Ranked>& raised) const;
  // Puts `item` into the cache of every bidder in `raised` for which it now beats the floor.
  void insertLowered(std::uint32_t item, const std::vector<std::vector<Ranked>>& raised);

  // One phase with price step `epsilon` from the current prices and an empty assignment. False
  // when a stop ended it.
  [[nodiscard]] bool runPhase(std::int64_t epsilon, const std::vector<std::uint32_t>& bidders);
  // Lets the items left unassigned at too high a price bid for bidders (see the definition).
  // False when a stop ended it.
  [[nodiscard]] bool lowerUnassignedPrices(std::int64_t epsilon);
  void assign(std::uint32_t bidder, std::uint32_t item, std::int64_t value) {
    m_itemOf[bidder] = item;
    m_bidderOf[item] = bidder;
    m_valueOf[bidder] = value;
  }
  [[nodiscard]] std::int64_t assignedValue() const {
    std::int64_t total = 0;
    for (std::uint32_t bidder = 0; bidder < bidderCount(); ++bidder) {
      if (m_itemOf[bidder] != kNone) total += m_valueOf[bidder];
    }
    return total;
  }
  void refreshLowestPrice() {
    m_lowestPrice = m_price.empty() ? 0 : *std::min_element(m_price.begin(), m_price.end());
    m_bidsSinceLowest = 0;
  }
  // Keeps the better of the current assignment and the one kept before: more bidders served,
  // then the larger total value. A stop in the middle of a phase thus never leaves cells empty
  // that an earlier phase had filled.
  void keepIfBetter();
  void publish() { m_progress.publish(m_assigned); }
  // Publishes now and then, and consumes a stop request. True when the auction must end.
  [[nodiscard]] bool afterBid() {
    ++m_bidsSinceLowest;
    return m_progress.afterBid(m_assigned);
  }

  MatchingContext& m_context;
  MosaicJob& m_job;
  AuctionOptions m_options;
  AuctionProgress& m_progress;
  std::span<PuzzleInfo* const> m_cells;
  std::span<FotoInfo* const> m_tiles;
  bool m_tilesBid;
  ScanWorkers m_workers;
  std::vector<std::uint32_t> m_itemOf;
  std::vector<std::int64_t> m_valueOf;
  std::vector<std::uint32_t> m_bidderOf;
  std::vector<std::int64_t> m_price;
  // A price no item is below (prices only rise between two refreshes, so an old one holds).
  std::int64_t m_lowestPrice = 0;
  long m_bidsSinceLowest = 0;
  std::vector<BidderRow> m_rows;
  // Where the budget holds it, the distance of every pair, a row of `itemCount()` per bidder
  // (`kNoMatch` for none): the scans after the first then read distances instead of comparing.
  std::vector<std::uint32_t> m_table;
  // The automatic method keeps the table in two bytes a pair (`toCoarse`), and every distance
  // it uses goes through that form, so that each pair has one value wherever it is read. Its
  // distances are those of the variant each pair's blocks lead to (`blockLedDistance`), which
  // costs a third of the full search over every variant: at 10,000 x 10,000 the scan fell from
  // 23 s to 7 s on two cores and the mean score (of the exact distances) rose by 0.5 %.
  bool m_coarse = false;
  std::vector<std::uint16_t> m_coarseTable;
  // The entries all rows may hold together, and those they hold.
  std::size_t m_rowCapacity = 0;
  std::size_t m_rowEntries = 0;
  std::vector<BidderCache> m_caches;
  std::size_t m_cacheSize = kFillingCacheSize;
  // Marks the items of one row while it is lengthened.
  std::vector<std::uint8_t> m_inRow;
  // The items a lengthening compares.
  std::vector<std::uint32_t> m_candidates;
  // The candidates a look along a table row collects before they go to the bidder's list.
  std::vector<Ranked> m_found;
  std::size_t m_assigned = 0;
  std::vector<std::uint32_t> m_kept;
  std::size_t m_keptCount = 0;
  std::int64_t m_keptValue = 0;
};

std::size_t Auction::scanParts(std::size_t count) const {
  if (!m_workers.parallel() || count < kParallelScanItems) return 1;
  return std::min<std::size_t>(4 * std::size_t{m_job.threadCount}, count / 1024);
}

std::size_t Auction::rowCapacity() const { return auctionRoom(m_job) / sizeof(RowEntry); }

bool Auction::keepsTable() const { return tableFits(m_job, m_options, bidderCount(), itemCount()); }

std::size_t Auction::rowLength() const {
  // The first rows take half the budget, at least the improving caches' length plus one each;
  // rows that turn out too short grow into the rest. With the table kept, the rows are short:
  // a bidder reads the items beyond them from the table.
  const std::size_t length = rowCapacity() * 2 / 3 / std::max<std::size_t>(bidderCount(), 1);
  if (m_options.rowLength > 0) return std::min(itemCount(), m_options.rowLength);
  if (keepsTable()) return std::min(itemCount(), kTableCacheSize + 1);
  return std::min(itemCount(), std::max(length, kImprovingCacheSize + 1));
}

bool Auction::scanAllAtZeroPrices(std::size_t length) {
  // Every bidder's first scan, all at once: with every price still zero the scans do not depend
  // on each other, so they run side by side, a block of bidders per job. Cells are compared in
  // blocks of `CellBlock::kCells` against one tile signature after the other.
  constexpr std::size_t kLanes = CellBlock::kCells;
  const std::size_t bidders = bidderCount();
  const std::size_t items = itemCount();
  m_rows.assign(bidders, {});
  // Tiles bid: a job prepares every cell once, so its block is large enough to repay that, yet
  // small enough that the long lists of its tiles stay few.
  const std::size_t blockSize = !m_workers.parallel() ? bidders
                                : m_tilesBid          ? std::size_t{256}
                                                      : std::size_t{kLanes};
  const std::size_t blocks = (bidders + blockSize - 1) / blockSize;
  const auto store = [&](std::uint32_t bidder, NearLists& tops, std::size_t list) {
    const std::span<const NearPair> best = tops.sorted(list);
    BidderRow& row = m_rows[bidder];
    row.bound = best.size() > length ? auctionValue(best[length].score) : kNoFloor;
    row.entries.reserve(std::min(best.size(), length));
    for (std::size_t i = 0; i < best.size() && i < length; ++i) {
      row.entries.push_back({best[i].score, best[i].index});
    }
  };
  m_rowCapacity = m_options.rowEntries > 0 ? m_options.rowEntries : rowCapacity();
  // With the table kept every pair is compared once, without a limit (the automatic method in
  // the variant its blocks lead to, see `m_coarse`).
  const bool table = keepsTable();
  if (table && m_coarse) {
    m_coarseTable.assign(bidders * items, toCoarse(kNoMatch));
  } else if (table) {
    m_table.assign(bidders * items, kNoMatch);
  }
  // Stores a pair's distance in the table, and gives it as the auction reads it.
  const auto keep = [&](std::size_t at, std::uint32_t score) {
    if (!table) return score;
    if (!m_coarse) {
      m_table[at] = score;
      return score;
    }
    m_coarseTable[at] = toCoarse(score);
    return fromCoarse(m_coarseTable[at]);
  };
  // Without the table every comparison has a limit, which the tiles' squares help to apply.
  const std::vector<TileSquares> squares = table ? std::vector<TileSquares>{} : squaresOf(m_tiles);
  const auto squaresOfTile = [&squares](std::uint32_t tile) {
    return squares.empty() ? nullptr : &squares[tile];
  };
  const bool blockLed = table && m_coarse;
  const auto compare = [&](const PreparedCells& cells, std::uint32_t tile,
                           const std::uint32_t* limits, std::uint32_t* out) {
    if (blockLed) {
      cells.blockLedDistances(m_tiles[tile]->signature, out);
    } else {
      cells.distances(m_tiles[tile]->signature, squaresOfTile(tile), limits, out);
    }
  };
  m_workers.forParts(blocks, [&](std::size_t block) {
    const auto first = static_cast<std::uint32_t>(block * blockSize);
    const auto last = static_cast<std::uint32_t>(std::min(bidders, (block + 1) * blockSize));
    std::array<std::uint32_t, kLanes> limits{};
    std::array<std::uint32_t, kLanes> scores{};
    if (!m_tilesBid) {
      // Cells bid: each group of bidder cells meets every tile.
      for (std::uint32_t lane0 = first; lane0 < last; lane0 += kLanes) {
        if (m_job.stopRequested()) return;
        const PreparedCells cells(m_context.comparison, m_cells, lane0,
                                  std::min<std::size_t>(kLanes, last - lane0));
        const std::size_t lanes = cells.size();
        NearLists tops(lanes, length + 1);
        for (std::uint32_t item = 0; item < items; ++item) {
          for (std::size_t lane = 0; lane < lanes; ++lane) {
            limits[lane] = table ? kNoMatch : tops.limit(lane);
          }
          compare(cells, item, limits.data(), scores.data());
          for (std::size_t lane = 0; lane < lanes; ++lane) {
            tops.offer(lane, {keep((lane0 + lane) * items + item, scores[lane]), item});
          }
        }
        for (std::size_t lane = 0; lane < lanes; ++lane) {
          store(static_cast<std::uint32_t>(lane0 + lane), tops, lane);
        }
      }
      return;
    }
    // Tiles bid: each group of item cells meets every tile of the block.
    NearLists tops(last - first, length + 1);
    for (std::uint32_t item0 = 0; item0 < items; item0 += kLanes) {
      if (m_job.stopRequested()) return;
      const PreparedCells cells(m_context.comparison, m_cells, item0,
                                std::min<std::size_t>(kLanes, items - item0));
      const std::size_t lanes = cells.size();
      for (std::uint32_t bidder = first; bidder < last; ++bidder) {
        limits.fill(table ? kNoMatch : tops.limit(bidder - first));
        compare(cells, bidder, limits.data(), scores.data());
        for (std::size_t lane = 0; lane < lanes; ++lane) {
          const std::uint32_t score =
              keep(std::size_t{bidder} * items + item0 + lane, scores[lane]);
          tops.offer(bidder - first, {score, static_cast<std::uint32_t>(item0 + lane)});
        }
      }
    }
    for (std::uint32_t bidder = first; bidder < last; ++bidder) {
      store(bidder, tops, bidder - first);
    }
  });
  if (m_job.stopRequested()) return false;
  m_rowEntries = 0;
  for (const BidderRow& row : m_rows) m_rowEntries += row.entries.size();
  return true;
}

void Auction::fillCache(const std::vector<Ranked>& best, std::int64_t outside,
                        BidderCache& cache) const {
  const std::size_t kept = std::min(best.size(), m_cacheSize);
  cache.entries.clear();
  cache.entries.reserve(m_cacheSize);
  for (std::size_t i = 0; i < kept; ++i) cache.entries.push_back({best[i].value, best[i].index});
  cache.floor = cacheFloor(best, outside);
}

void Auction::rescan(std::uint32_t bidder) {
  if (m_bidsSinceLowest > static_cast<long>(itemCount() / 16)) refreshLowestPrice();
  const BidderRow& row = m_rows[bidder];
  TopList top(m_cacheSize + 1);
  for (const RowEntry& entry : row.entries) {
    const std::int64_t value = auctionValue(entry.score);
    // The row is in falling value: once even the lowest price cannot lift an entry into the
    // list, none after it can enter either.
    if (value - m_lowestPrice < top.threshold()) break;
    top.offer({value - m_price[entry.item], value, entry.item});
  }
  // An item outside the row is worth at most the row's bound, at a price of at least the
  // lowest one.
  const std::int64_t outside = row.bound == kNoFloor ? kNoFloor : row.bound - m_lowestPrice;
  // The entries the cache would keep that reach its floor; with fewer than two the bidder looks
  // beyond its row, which fills the cache itself.
  const std::vector<Ranked> best = top.sorted();
  const std::int64_t floor = cacheFloor(best, outside);
  const auto usable = std::count_if(
      best.begin(), best.begin() + static_cast<std::ptrdiff_t>(std::min(best.size(), m_cacheSize)),
      [&](const Ranked& candidate) { return candidate.key >= floor; });
  if (usable < 2 && outside != kNoFloor && outside > top.threshold()) {
    extendRow(bidder, top);
    return;
  }
  fillCache(best, outside, m_caches[bidder]);
}

void Auction::extendFromTable(std::uint32_t bidder, TopList& fromRow) {
  // Every item outside the row that ranks at today's prices, straight from the table; the row
  // stays as it is (a later look beyond it reads the table again, which costs little).
  const BidderRow& row = m_rows[bidder];
  m_inRow.resize(itemCount(), 0);
  for (const RowEntry& entry : row.entries) m_inRow[entry.item] = 1;
  // The candidates are collected and cut back now and then to the list's length, which costs
  // less than keeping each in the list's heap as it comes: the best ones of a long row come in
  // no order. Whatever ranks below the list's own threshold or below as many collected ones
  // as the list holds cannot enter it.
  std::int64_t threshold = fromRow.threshold();
  const std::size_t capacity = m_cacheSize + 1;
  m_found.clear();
  const auto take = [&](std::uint32_t item, std::uint32_t score) {
    if (score == kNoMatch || m_inRow[item] != 0) return;
    const std::int64_t value = auctionValue(score);
    const std::int64_t key = value - m_price[item];
    if (threshold != kNoFloor && key < threshold) return;
    m_found.push_back({key, value, item});
    if (m_found.size() < 4 * capacity) return;
    std::nth_element(m_found.begin(), m_found.begin() + static_cast<std::ptrdiff_t>(capacity - 1),
                     m_found.end(), ranksBefore);
    m_found.resize(capacity);
    threshold = std::max(threshold, m_found.back().key);
  };
  if (!m_coarse) {
    forTableRow(bidder, take);
  } else {
    // Most items of a long row cannot rank: a batch at a time, only those whose distance plus
    // price is small enough for a key of at least the threshold are looked at one by one.
    const std::uint16_t* codes = m_coarseTable.data() + std::size_t{bidder} * itemCount();
    std::uint32_t first = 0;
    for (; first + kCoarseBatch <= itemCount(); first += kCoarseBatch) {
      const std::int64_t limit = threshold == kNoFloor ? std::numeric_limits<std::int64_t>::max()
                                                       : auctionValue(0) - threshold;
      for (std::uint64_t mask = coarseWithin(codes + first, m_price.data() + first, limit);
           mask != 0; mask &= mask - 1) {
        const auto item = first + static_cast<std::uint32_t>(std::countr_zero(mask));
        take(item, fromCoarse(codes[item]));
      }
    }
    for (std::uint32_t item = first; item < itemCount(); ++item)
      take(item, fromCoarse(codes[item]));
  }
  fromRow.absorb(m_found);
  for (const RowEntry& entry : row.entries) m_inRow[entry.item] = 0;
  fillCache(fromRow.sorted(), kNoFloor, m_caches[bidder]);
}

void Auction::extendRow(std::uint32_t bidder, TopList& fromRow) {
  if (m_options.stats != nullptr) ++m_options.stats->rescanned;
  if (hasTable()) {
    extendFromTable(bidder, fromRow);
    return;
  }
  BidderRow& row = m_rows[bidder];
  m_inRow.assign(itemCount(), 0);
  for (const RowEntry& entry : row.entries) m_inRow[entry.item] = 1;
  m_candidates.clear();
  for (std::uint32_t item = 0; item < itemCount(); ++item) {
    if (m_inRow[item] == 0) m_candidates.push_back(item);
  }
  const std::size_t count = m_candidates.size();
  const std::size_t parts = scanParts(count);
  // Each part ranks its items at today's prices. An item outside ranks only if it is worth at
  // least the part's threshold plus the lowest price. The scan compares every item up to an
  // eighth further in distance than that, with one limit for every item however the threshold
  // rises: the items found then hold every item within the widened distance of the final
  // threshold, and the row takes that band, not just the few items that rank today (with
  // values close together, prices pass over such a narrow band within a few bids).
  // Without room left in the rows the scan only fills the cache, and the price of each item
  // tells how much it must be worth to rank.
  const bool persist = m_rowCapacity > m_rowEntries;
  std::vector<TopList> tops(parts, TopList(m_cacheSize + 1, fromRow.threshold()));
  std::vector<std::vector<RowEntry>> found(parts);
  // The bidder is prepared once for all the items it meets.
  std::unique_ptr<CellComparison> bidderCell;
  std::unique_ptr<TileComparison> bidderTile;
  if (m_tilesBid) {
    bidderTile = std::make_unique<TileComparison>(m_context.comparison, m_tiles[bidder]->signature);
  } else {
    const PuzzleInfo& cell = *m_cells[bidder];
    bidderCell =
        std::make_unique<CellComparison>(m_context.comparison, cell.signature, cell.weight);
  }
  // The highest threshold any part has reached: no part's is above the final one, so every
  // part may skip what cannot reach it, whatever the timing of the threads.
  std::atomic<std::int64_t> shared(fromRow.threshold());
  m_workers.forParts(parts, [&](std::size_t part) {
    TopList& top = tops[part];
    std::uint32_t limit = kNoMatch;
    for (std::size_t i = count * part / parts; i < count * (part + 1) / parts; ++i) {
      std::int64_t reached = shared.load(std::memory_order_relaxed);
      const std::int64_t own = top.threshold();
      while (own > reached &&
             !shared.compare_exchange_weak(reached, own, std::memory_order_relaxed)) {
      }
      const std::int64_t threshold = std::max(own, reached);
      const std::uint32_t item = m_candidates[i];
      if (!persist) {
        if (threshold != kNoFloor && (row.bound - m_price[item] < threshold ||
                                      !distanceLimit(m_price[item], threshold, limit))) {
          continue;
        }
      } else if (!distanceLimit(m_lowestPrice, threshold, limit, true)) {
        break;
      }
      const std::uint32_t score =
          m_tilesBid ? bidderTile->distance(limit, m_cells[item]->signature, m_cells[item]->weight)
                     : bidderCell->distance(limit, m_tiles[item]->signature);
      const std::int64_t value = auctionValue(score);
      if (value <= 0) continue;
      if (persist) found[part].push_back({score, item});
      top.offer({value - m_price[item], value, item});
    }
  });
  for (const TopList& top : tops) fromRow.merge(top);
  // No item left out ranks: the cache is exact.
  fillCache(fromRow.sorted(), kNoFloor, m_caches[bidder]);

  // The row keeps the best items outside it found within the widened distance of the final
  // threshold (which are all there are), up to doubling its length within the rows' memory.
  // They all lie beyond the row's last entry, so the row stays sorted.
  if (!persist) return;
  const std::int64_t threshold = fromRow.threshold();
  const std::int64_t least =
      threshold == kNoFloor ? kNoFloor
                            : auctionValue(0) - widen(auctionValue(0) - m_lowestPrice - threshold);
  std::vector<RowEntry> more;
  for (const std::vector<RowEntry>& part : found) {
    for (const RowEntry& entry : part) {
      if (auctionValue(entry.score) >= least) more.push_back(entry);
    }
  }
  std::sort(more.begin(), more.end(), rowBefore);
  const std::size_t room = m_rowCapacity - m_rowEntries;
  const std::size_t keep =
      std::min({more.size(), room, std::max(row.entries.size(), 2 * kImprovingCacheSize)});
  if (keep == 0) {
    // Nothing found within the band lowers the bound all the same.
    if (more.empty() && least != kNoFloor) row.bound = std::min(row.bound, least - 1);
    return;
  }
  row.entries.insert(row.entries.end(), more.begin(),
                     more.begin() + static_cast<std::ptrdiff_t>(keep));
  m_rowEntries += keep;
  if (keep < more.size()) {
    row.bound = auctionValue(more[keep].score);
  } else if (least == kNoFloor || row.entries.size() >= itemCount()) {
    row.bound = kNoFloor;
  } else {
    // Every item still outside is worth less than `least`; the bound never rises.
    row.bound = std::min(row.bound, least - 1);
  }
}

Choice Auction::choose(std::uint32_t bidder) {
  BidderCache& cache = m_caches[bidder];
  Choice choice;
  for (bool scanned = false;; scanned = true) {
    // Net values at today's prices; entries below the floor may be beaten by an item outside
    // the cache and leave it.
    choice = {};
    bool hasSecond = false;
    std::size_t kept = 0;
    for (const CacheEntry& entry : cache.entries) {
      const std::int64_t net = entry.value - m_price[entry.item];
      if (net < cache.floor) continue;
      cache.entries[kept++] = entry;
      if (!choice.found || net > choice.net || (net == choice.net && entry.item < choice.item)) {
        if (choice.found) choice.second = choice.net;
        hasSecond = choice.found;
        choice.found = true;
        choice.item = entry.item;
        choice.value = entry.value;
        choice.net = net;
      } else if (!hasSecond || net > choice.second) {
        choice.second = net;
        hasSecond = true;
      }
    }
    cache.entries.resize(kept);
    if (!hasSecond) choice.second = 0;  // a single candidate competes with having none
    if (kept >= 2 || cache.floor == kNoFloor || scanned) return choice;
    rescan(bidder);
  }
}

void Auction::scanBidders(std::uint32_t item, std::uint32_t first, std::uint32_t last,
                          std::int64_t lambda, TopList& top, std::vector<Ranked>& raised) const {
  std::uint32_t limit = kNoMatch;
  const auto visit = [&](std::uint32_t bidder, const auto& distance) {
    if (m_itemOf[bidder] == kNone) return;
    const std::int64_t profit = m_valueOf[bidder] - m_price[m_itemOf[bidder]];
    const std::int64_t floor = m_caches[bidder].floor;
    // The smallest value that matters: one that could rank in `top`, or beat the floor of the
    // bidder's cache at the lowest price the item may get.
    std::int64_t needed = top.threshold() == kNoFloor ? kNoFloor : profit + top.threshold();
    if (floor != kNoFloor && needed != kNoFloor) needed = std::min(needed, floor + lambda + 1);
    if (!distanceLimit(0, needed, limit)) return;
    const std::int64_t value = auctionValue(distance(bidder));
    if (value <= 0) return;
    top.offer({value - profit, value, bidder});
    if (floor != kNoFloor && value > floor + lambda) raised.push_back({0, value, bidder});
  };
  if (hasTable()) {
    for (std::uint32_t bidder = first; bidder < last; ++bidder) {
      visit(bidder, [&](std::uint32_t b) { return tableScore(b, item); });
    }
  } else if (m_tilesBid) {
    const PuzzleInfo& cell = *m_cells[item];
    const CellComparison comparison(m_context.comparison, cell.signature, cell.weight);
    for (std::uint32_t bidder = first; bidder < last; ++bidder) {
      visit(bidder,
            [&](std::uint32_t b) { return comparison.distance(limit, m_tiles[b]->signature); });
    }
  } else {
    const TileComparison comparison(m_context.comparison, m_tiles[item]->signature);
    for (std::uint32_t bidder = first; bidder < last; ++bidder) {
      visit(bidder, [&](std::uint32_t b) {
        return comparison.distance(limit, m_cells[b]->signature, m_cells[b]->weight);
      });
    }
  }
}

void Auction::insertLowered(std::uint32_t item, const std::vector<std::vector<Ranked>>& raised) {
  for (const std::vector<Ranked>& part : raised) {
    for (const Ranked& candidate : part) {
      BidderCache& cache = m_caches[candidate.index];
      if (candidate.value - m_price[item] <= cache.floor) continue;
      std::vector<CacheEntry>& entries = cache.entries;
      if (std::any_of(entries.begin(), entries.end(),
                      [&](const CacheEntry& entry) { return entry.item == item; })) {
        continue;
      }
      if (entries.size() >= m_cacheSize) {
        // The entry worth least at today's prices makes room and becomes the floor.
        auto worst = entries.begin();
        for (auto it = entries.begin(); it != entries.end(); ++it) {
          const std::int64_t net = it->value - m_price[it->item];
          const std::int64_t worstNet = worst->value - m_price[worst->item];
          if (net < worstNet || (net == worstNet && it->item > worst->item)) worst = it;
        }
        cache.floor = std::max(cache.floor, worst->value - m_price[worst->item]);
        *worst = entries.back();
        entries.pop_back();
      }
      entries.push_back({candidate.value, item});
    }
  }
}

void Auction::keepIfBetter() {
  const std::int64_t value = assignedValue();
  if (!m_kept.empty() &&
      (m_assigned < m_keptCount || (m_assigned == m_keptCount && value <= m_keptValue))) {
    return;
  }
  m_kept = m_itemOf;
  m_keptCount = m_assigned;
  m_keptValue = value;
}

bool Auction::runPhase(std::int64_t epsilon, const std::vector<std::uint32_t>& bidders) {
  std::fill(m_itemOf.begin(), m_itemOf.end(), kNone);
  std::fill(m_bidderOf.begin(), m_bidderOf.end(), kNone);
  m_assigned = 0;
  refreshLowestPrice();
  // The first bidder in bidder order that holds no item bids next.
  std::priority_queue<std::uint32_t, std::vector<std::uint32_t>, std::greater<>> waiting(
      std::greater<>{}, bidders);
  std::uint32_t last = 0;
  bool started = false;
  while (!waiting.empty()) {
    const std::uint32_t bidder = waiting.top();
    if (!started || bidder <= last) {
      m_progress.startRound();
      started = true;
    }
    last = bidder;
    const Choice choice = choose(bidder);
    waiting.pop();
    // A bidder without a pair of any value, or whose best item is worth no more than having
    // none at these prices, sits out the phase; bidding on would only trade the item back and
    // forth without raising its price.
    if (!choice.found || choice.net <= 0) continue;
    const std::uint32_t previous = m_bidderOf[choice.item];
    if (previous != kNone) {
      m_itemOf[previous] = kNone;
      waiting.push(previous);
    } else {
      ++m_assigned;
    }
    assign(bidder, choice.item, choice.value);
    m_price[choice.item] += (choice.net - choice.second) + epsilon;
    if (afterBid()) return false;
  }
  return true;
}

bool Auction::lowerUnassignedPrices(std::int64_t epsilon) {
  // Every bidder holds an item whose net value is within `epsilon` of its best. With more items
  // than bidders, the total is within that much per bidder of the best possible one only if no
  // unassigned item costs more than the cheapest assigned one (lambda): a price an item earned
  // in an earlier phase and no longer deserves keeps bidders away from it. Such an item bids for
  // the bidder to whom it is worth most beyond the profit that bidder makes now: if it is worth
  // more than lambda plus the step, the bidder moves to it at a price that keeps every other
  // bidder content, and the item the bidder leaves is looked at in turn; otherwise its price
  // falls to lambda. Each move raises a bidder's profit by at least the step, so this ends.
  std::int64_t lambda = std::numeric_limits<std::int64_t>::max();
  for (std::uint32_t item = 0; item < itemCount(); ++item) {
    if (m_bidderOf[item] != kNone) lambda = std::min(lambda, m_price[item]);
  }
  std::deque<std::uint32_t> queue;
  for (std::uint32_t item = 0; item < itemCount(); ++item) {
    if (m_bidderOf[item] == kNone && m_price[item] > lambda) queue.push_back(item);
  }
  const std::size_t bidders = bidderCount();
  const std::size_t parts = scanParts(bidders);
  std::vector<TopList> tops(parts, TopList(2));
  std::vector<std::vector<Ranked>> raised(parts);
  while (!queue.empty()) {
    const std::uint32_t item = queue.front();
    queue.pop_front();
    for (std::size_t part = 0; part < parts; ++part) {
      tops[part] = TopList(2);
      raised[part].clear();
    }
    m_workers.forParts(parts, [&](std::size_t part) {
      scanBidders(item, static_cast<std::uint32_t>(bidders * part / parts),
                  static_cast<std::uint32_t>(bidders * (part + 1) / parts), lambda, tops[part],
                  raised[part]);
    });
    for (std::size_t part = 1; part < parts; ++part) tops[0].merge(tops[part]);
    const std::vector<Ranked> best = tops[0].sorted();
    if (best.empty() || best[0].key - epsilon <= lambda) {
      m_price[item] = lambda;
      insertLowered(item, raised);
      continue;
    }
    const std::uint32_t bidder = best[0].index;
    const std::uint32_t left = m_itemOf[bidder];
    m_bidderOf[left] = kNone;
    assign(bidder, item, best[0].value);
    m_price[item] = best.size() > 1 ? std::max(lambda, best[1].key - epsilon) : lambda;
    insertLowered(item, raised);
    if (m_price[left] > lambda) queue.push_back(left);
    if (afterBid()) return false;
  }
  return true;
}

void Auction::run() {
  const std::size_t target = std::min(m_tiles.size(), m_cells.size());
  if (target == 0) return;
  const std::size_t length = rowLength();
  const auto started = std::chrono::steady_clock::now();
  // A stop during the first scan ends the pass before any tile is placed.
  if (!scanAllAtZeroPrices(length)) {
    (void)m_progress.consumeStop(0);
    return;
  }
  const auto scanned = std::chrono::steady_clock::now();
  if (m_options.stats != nullptr) {
    m_options.stats->scanSeconds = std::chrono::duration<double>(scanned - started).count();
  }
  // The job thread's processor time after the scan, however the auction ends.
  const auto threadSeconds = [] {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
  };
  struct Timer {
    AuctionStats* stats;
    double (*clock)();
    double from;
    ~Timer() {
      if (stats != nullptr) stats->auctionSeconds = clock() - from;
    }
  } timer{m_options.stats, threadSeconds, threadSeconds()};
  std::vector<std::uint32_t> everyone(bidderCount());
  for (std::uint32_t bidder = 0; bidder < bidderCount(); ++bidder) everyone[bidder] = bidder;
  const auto startCaches = [&](std::size_t size) {
    m_cacheSize = size;
    m_caches.assign(bidderCount(), {});
    for (std::uint32_t bidder = 0; bidder < bidderCount(); ++bidder) {
      const BidderRow& row = m_rows[bidder];
      BidderCache& cache = m_caches[bidder];
      const std::size_t kept = std::min(size, row.entries.size());
      for (std::size_t i = 0; i < kept; ++i) {
        cache.entries.push_back({auctionValue(row.entries[i].score), row.entries[i].item});
      }
      cache.floor = row.entries.size() > size ? auctionValue(row.entries[size].score) : row.bound;
    }
  };

  // The filling phase: a step far above any distance fills the mosaic quickly.
  startCaches(kFillingCacheSize);
  const bool filled = runPhase(kFillingStep, everyone);
  keepIfBetter();
  if (!filled) return;
  if (m_assigned >= target) m_progress.setCompleted();
  publish();

  // The improving phases start again from zero prices (the filling phase's prices are steps of
  // a billion that tell more about the order of the bids than about the values) and keep their
  // prices from one phase to the next while the step shrinks fivefold, from the largest gap
  // between a bidder's best value and its next smaller one (or the average a bidder gave up in
  // the filling phase, if that is larger) down to 1. Each phase thus starts from prices
  // that are nearly right for it, and the whole costs a few bids per bidder and phase instead of
  // the thousands a small step from zero prices would.
  std::vector<std::uint32_t> bidders;
  std::int64_t step = 1;
  std::int64_t given = 0;
  for (std::uint32_t bidder = 0; bidder < bidderCount(); ++bidder) {
    if (m_itemOf[bidder] == kNone) continue;  // could not be served; would bid forever
    bidders.push_back(bidder);
    // The gap to the next smaller value: equal values (tiles that look alike) would make a
    // gap of 0 and let the first step be far too small.
    const std::vector<RowEntry>& entries = m_rows[bidder].entries;
    const auto next = std::find_if(entries.begin(), entries.end(), [&](const RowEntry& entry) {
      return entry.score != entries.front().score;
    });
    if (next != entries.end()) {
      step = std::max<std::int64_t>(step, std::int64_t{next->score} - entries.front().score);
    } else if (hasTable() && !entries.empty()) {
      // The short rows of the table hold only equal distances: the next one is in the table.
      std::uint32_t larger = kNoMatch;
      forTableRow(bidder, [&](std::uint32_t, std::uint32_t score) {
        if (score > entries.front().score && score < larger) larger = score;
      });
      if (larger != kNoMatch) {
        step = std::max<std::int64_t>(step, std::int64_t{larger} - entries.front().score);
      }
    }
    if (!entries.empty()) given += auctionValue(entries.front().score) - m_valueOf[bidder];
  }
  if (bidders.empty()) return;
  // What the filling phase made bidders give up on average: how far apart the values lie that
  // bidders compete over, even where rows hold nothing but equal values.
  step = std::max(step, given / static_cast<std::int64_t>(bidders.size()));
  std::fill(m_price.begin(), m_price.end(), 0);
  startCaches(hasTable() ? kTableCacheSize : kImprovingCacheSize);
  for (;;) {
    if (step <= 5) step = kFinalStep;
    if (!runPhase(step, bidders)) return;
    if (m_assigned < bidders.size()) return;  // someone sat out; the kept assignment stands
    if (!lowerUnassignedPrices(step)) {
      keepIfBetter();
      return;
    }
    keepIfBetter();
    if (step == kFinalStep) break;
    step /= 5;
  }
  publish();
}

std::vector<std::uint32_t> Auction::tileOfCell() const {
  std::vector<std::uint32_t> result(m_cells.size(), kNone);
  for (std::uint32_t bidder = 0; bidder < m_kept.size(); ++bidder) {
    const std::uint32_t item = m_kept[bidder];
    if (item == kNone) continue;
    result[m_tilesBid ? item : bidder] = m_tilesBid ? bidder : item;
  }
  return result;
}

}  // namespace

bool improveQuality(MatchingContext& context, const AuctionOptions& options) {
  std::vector<FotoInfo*> tiles = placementTiles(context.list);
  for (FotoInfo* tile : tiles) tile->useCount = 0;
  context.exhaustedTiles.clear();
  std::vector<PuzzleInfo*> cells;
  for (const auto& cell : context.grid.cells) {
    if (cell && cell->active != 0 && cell->tile == nullptr) cells.push_back(cell.get());
  }
  // Tiles that locked cells already hold stay theirs.
  for (const auto& cell : context.grid.cells) {
    if (cell && cell->tile != nullptr) {
      ++cell->tile->useCount;
      context.setExhausted(*cell->tile, true);
    }
  }
  std::erase_if(tiles, [&](const FotoInfo* tile) { return context.exhausted(*tile); });

  context.job.beginStage(ProgressStage::Placement, static_cast<double>(cells.size()));
  AuctionProgress progress(context.job, cells.size(), options.stopAfterBids);
  // The nearest pairs serve problems in which a good part of the larger side is left over;
  // where nearly every item is needed, bidders must go far down their lists and the price
  // auction, which keeps long lists anyway, does better.
  const std::size_t bidders = std::min(cells.size(), tiles.size());
  const std::size_t items = std::max(cells.size(), tiles.size());
  const bool tight = bidders * 10 > items * 9;
  std::vector<std::uint32_t> tileOfCell;
  const bool nearest = options.method == AuctionMethod::Nearest ||
                       (options.method == AuctionMethod::Automatic && !tight);
  // Where the price auction cannot keep the distances of all pairs, it compares them again and
  // again and takes far longer (over 25 minutes for 20,000 tiles bidding for 40,000 cells):
  // there the nearest pairs keep their first assignment rather than give up to it.
  const bool keepFirst = !tableFits(context.job, options, bidders, items);
  if (!nearest || !assignNearest(context, cells, tiles, options, keepFirst, progress, tileOfCell)) {
    Auction auction(context, cells, tiles, options, progress);
    auction.run();
    tileOfCell = auction.tileOfCell();
  }
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (tileOfCell[i] == kNone) continue;
    PuzzleInfo& cell = *cells[i];
    FotoInfo& tile = *tiles[tileOfCell[i]];
    cell.tile = &tile;
    cell.score = tileDistance(context.comparison, kNoMatch, cell, tile);
    tile.useCount = 1;
    context.setExhausted(tile, true);
  }
  context.job.endStage();
  return true;
}

}  // namespace tg
