// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/improve_quality.h"

#include <algorithm>
#include <cstddef>
#include <set>
#include <string>
#include <vector>

#include "engine/matching_context.h"
#include "engine/place_tiles.h"
#include "engine/tile_distance.h"
#include "geometry/cell_grid.h"
#include "job/mosaic_job.h"
#include "platform/catalogue.h"
#include "platform/text_format.h"
#include "tiles/foto_info.h"

namespace tg {

namespace {

constexpr std::size_t kCacheSize = 32;
// The price step of the improving phase: far below the difference one grey level makes in a
// distance (several hundred units), so the result lies within that much per bidder of the
// best total, yet large enough that bidders torn between equal items settle quickly.
constexpr std::int64_t kImprovingStep = 64;
constexpr std::uint32_t kNone = 0xFFFFFFFFu;

struct CacheEntry {
  std::int64_t value;
  std::int64_t net;
  std::uint32_t item;
};

struct BidderCache {
  std::vector<CacheEntry> entries;
  std::int64_t floor = 0;
};

class Auction {
 public:
  Auction(MatchingContext& context, std::vector<PuzzleInfo*> cells, std::vector<FotoInfo*> tiles)
      : m_context(context),
        m_job(context.job),
        m_cells(std::move(cells)),
        m_tiles(std::move(tiles)),
        m_tilesBid(m_tiles.size() < m_cells.size()) {
    const std::size_t bidders = m_tilesBid ? m_tiles.size() : m_cells.size();
    const std::size_t items = m_tilesBid ? m_cells.size() : m_tiles.size();
    m_itemOf.assign(bidders, kNone);
    m_bidderOf.assign(items, kNone);
    m_price.assign(items, 0);
    m_caches.resize(bidders);
    m_holders.resize(items);
  }

  void run();
  void write();

 private:
  [[nodiscard]] std::size_t bidderCount() const { return m_itemOf.size(); }
  [[nodiscard]] std::size_t itemCount() const { return m_bidderOf.size(); }
  [[nodiscard]] PuzzleInfo& cellOf(std::uint32_t bidder, std::uint32_t item) const {
    return *m_cells[m_tilesBid ? item : bidder];
  }
  [[nodiscard]] FotoInfo& tileOf(std::uint32_t bidder, std::uint32_t item) const {
    return *m_tiles[m_tilesBid ? bidder : item];
  }
  void runPhase(std::int64_t epsilon);
  void scan(std::uint32_t bidder);
  // The summed value of the current assignment.
  [[nodiscard]] std::int64_t assignedValue() const {
    std::int64_t total = 0;
    for (std::uint32_t bidder = 0; bidder < bidderCount(); ++bidder) {
      const std::uint32_t item = m_itemOf[bidder];
      if (item == kNone) continue;
      total += auctionValue(
          tileDistance(m_context.comparison, kNoMatch, cellOf(bidder, item), tileOf(bidder, item)));
    }
    return total;
  }
  // Keeps the better of the current assignment and the one kept before: more bidders served,
  // then the larger total value. A stop in the middle of the improving phase thus never leaves
  // cells empty that the first phase had filled.
  void keepIfBetter() {
    const std::int64_t value = assignedValue();
    if (!m_kept.empty() &&
        (m_assigned < m_keptCount || (m_assigned == m_keptCount && value <= m_keptValue))) {
      return;
    }
    m_kept = m_itemOf;
    m_keptCount = m_assigned;
    m_keptValue = value;
  }
  void refreshAfterPriceChange(std::uint32_t item);
  [[nodiscard]] bool showStatusAndCheckStop();

  MatchingContext& m_context;
  MosaicJob& m_job;
  std::vector<PuzzleInfo*> m_cells;
  std::vector<FotoInfo*> m_tiles;
  bool m_tilesBid;
  std::vector<std::uint32_t> m_itemOf;
  std::vector<std::uint32_t> m_bidderOf;
  std::vector<std::int64_t> m_price;
  std::vector<BidderCache> m_caches;
  // The bidders whose cache took each item in its last scan (entries may be stale).
  std::vector<std::vector<std::uint32_t>> m_holders;
  std::size_t m_assigned = 0;
  std::size_t m_progressShown = 0;
  std::vector<std::uint32_t> m_kept;
  std::size_t m_keptCount = 0;
  std::int64_t m_keptValue = 0;
  bool m_completed = false;
  bool m_stopped = false;
  long m_rounds = 0;
  long m_bids = 0;
};

void Auction::scan(std::uint32_t bidder) {
  BidderCache& cache = m_caches[bidder];
  cache.entries.clear();
  bool first = true;
  std::vector<CacheEntry> all;
  if (m_tilesBid) {
    const FotoInfo& tile = *m_tiles[bidder];
    for (std::uint32_t item = 0; item < itemCount(); ++item) {
      const std::int64_t value =
          auctionValue(tileDistance(m_context.comparison, kNoMatch, *m_cells[item], tile));
      const std::int64_t net = value - m_price[item];
      cache.floor = first ? net : std::min(cache.floor, net);
      first = false;
      if (value > 0) all.push_back({value, net, item});
    }
  } else {
    const PuzzleInfo& cell = *m_cells[bidder];
    const CellComparison comparison(m_context.comparison, cell.signature, cell.weight);
    for (std::uint32_t item = 0; item < itemCount(); ++item) {
      const std::int64_t value =
          auctionValue(comparison.distance(kNoMatch, m_tiles[item]->signature));
      const std::int64_t net = value - m_price[item];
      cache.floor = first ? net : std::min(cache.floor, net);
      first = false;
      if (value > 0) all.push_back({value, net, item});
    }
  }
  const auto byNet = [](const CacheEntry& a, const CacheEntry& b) { return a.net > b.net; };
  const std::size_t keep = std::min(kCacheSize, all.size());
  std::partial_sort(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(keep), all.end(),
                    [&](const CacheEntry& a, const CacheEntry& b) {
                      return a.net != b.net ? a.net > b.net : a.item < b.item;
                    });
  cache.entries.assign(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(keep));
  std::stable_sort(cache.entries.begin(), cache.entries.end(), byNet);
  for (const CacheEntry& entry : cache.entries) m_holders[entry.item].push_back(bidder);
}

void Auction::refreshAfterPriceChange(std::uint32_t item) {
  // Only entries of this item changed their net value; the other caches stay as they are.
  std::vector<std::uint32_t>& holders = m_holders[item];
  std::vector<std::uint32_t> kept;
  for (const std::uint32_t bidder : holders) {
    BidderCache& cache = m_caches[bidder];
    const auto found = std::find_if(cache.entries.begin(), cache.entries.end(),
                                    [&](const CacheEntry& e) { return e.item == item; });
    if (found == cache.entries.end()) continue;
    found->net = found->value - m_price[item];
    if (found->net < cache.floor) {
      cache.entries.erase(found);
      continue;
    }
    if (std::find(kept.begin(), kept.end(), bidder) == kept.end()) kept.push_back(bidder);
    std::stable_sort(cache.entries.begin(), cache.entries.end(),
                     [](const CacheEntry& a, const CacheEntry& b) { return a.net > b.net; });
  }
  holders.swap(kept);
}

bool Auction::showStatusAndCheckStop() {
  if (m_assigned > m_progressShown) {
    m_job.addProgress(static_cast<std::uint32_t>(m_assigned - m_progressShown));
    m_progressShown = m_assigned;
  }
  // Until the first phase has served every bidder the mosaic is still being filled; the
  // improving phase only makes it better.
  if (!m_completed) {
    m_job.setStatus(formatText(tr("Adding Tile#: %ld of %ld (#%ld, %ld)"),
                               static_cast<long>(m_assigned), static_cast<long>(m_cells.size()),
                               m_rounds, m_bids));
  } else {
    m_job.setStatus(formatText(
        tr("Improving Quality. Press Mosaic button to Stop&&Save (#%ld, %ld)."), m_rounds, m_bids));
  }
  if (!m_job.stopRequested()) return false;
  m_job.setStopRequest(false);
  return true;
}

void Auction::runPhase(std::int64_t epsilon) {
  std::fill(m_itemOf.begin(), m_itemOf.end(), kNone);
  std::fill(m_bidderOf.begin(), m_bidderOf.end(), kNone);
  m_assigned = 0;
  std::set<std::uint32_t> waiting;
  for (std::uint32_t b = 0; b < bidderCount(); ++b) waiting.insert(b);
  std::uint32_t last = 0;
  bool started = false;
  while (!waiting.empty()) {
    const std::uint32_t bidder = *waiting.begin();
    if (!started || bidder <= last) {
      ++m_rounds;
      m_bids = 0;
      started = true;
    }
    last = bidder;
    BidderCache& cache = m_caches[bidder];
    if (cache.entries.size() < 2) scan(bidder);
    // A bidder without a pair of any value, or whose best item is worth no more than having
    // none at these prices, sits out the phase; bidding on would only trade the item back and
    // forth without raising its price.
    if (cache.entries.empty() || cache.entries.front().net <= 0) {
      waiting.erase(waiting.begin());
      continue;
    }
    const CacheEntry best = cache.entries.front();
    const std::int64_t second = cache.entries.size() > 1 ? cache.entries[1].net : 0;
    const std::uint32_t previous = m_bidderOf[best.item];
    if (previous != kNone) {
      m_itemOf[previous] = kNone;
      waiting.insert(previous);
    } else {
      ++m_assigned;
    }
    m_bidderOf[best.item] = bidder;
    m_itemOf[bidder] = best.item;
    waiting.erase(bidder);
    m_price[best.item] += (best.net - second) + epsilon;
    ++m_bids;
    refreshAfterPriceChange(best.item);
    if (showStatusAndCheckStop()) {
      m_stopped = true;
      return;
    }
  }
}

void Auction::run() {
  const std::size_t target = std::min(m_tiles.size(), m_cells.size());
  // The first phase, with a step far above any distance, fills the mosaic quickly: conflicts go
  // to whoever bid first. The improving phase then bids again from fresh prices with the
  // small step, which ends within that step per bidder of the best total. Prices are not
  // carried over: an item left without a bidder would keep a price it no longer deserves and
  // draw bidders away from the items they should hold.
  runPhase(1000000000);
  keepIfBetter();
  if (m_stopped) return;
  m_completed = m_assigned >= target;
  std::fill(m_price.begin(), m_price.end(), 0);
  for (BidderCache& cache : m_caches) cache.entries.clear();
  for (std::vector<std::uint32_t>& holders : m_holders) holders.clear();
  runPhase(kImprovingStep);
  keepIfBetter();
}

void Auction::write() {
  for (std::uint32_t bidder = 0; bidder < m_kept.size(); ++bidder) {
    const std::uint32_t item = m_kept[bidder];
    if (item == kNone) continue;
    PuzzleInfo& cell = cellOf(bidder, item);
    FotoInfo& tile = tileOf(bidder, item);
    cell.tile = &tile;
    cell.score = tileDistance(m_context.comparison, kNoMatch, cell, tile);
    tile.useCount = 1;
    m_context.setExhausted(tile, true);
  }
}

}  // namespace

bool improveQuality(MatchingContext& context) {
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
  Auction auction(context, std::move(cells), std::move(tiles));
  auction.run();
  auction.write();
  context.job.endStage();
  return true;
}

}  // namespace tg
