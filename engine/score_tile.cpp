// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/score_tile.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <thread>

#include "config/advanced_settings.h"
#include "engine/matching_context.h"
#include "engine/place_tiles.h"
#include "engine/tile_distance.h"
#include "geometry/cell_grid.h"
#include "job/mosaic_job.h"
#include "parallel/worker_pool.h"
#include "platform/catalogue.h"
#include "platform/text_format.h"
#include "tiles/foto_info.h"

namespace tg {

using Entry = CScoreTile::Entry;

void CandidateSet::assign(std::vector<FotoInfo*> tileList, bool groups,
                          const ComparisonSettings& settings) {
  tiles = std::move(tileList);
  comparison = &settings;
  candidateOf.assign(tiles.size(), 0);
  members.clear();
  exhausted.assign(tiles.size(), 0);
  indexOf.clear();
  for (std::uint32_t i = 0; i < tiles.size(); ++i) {
    const bool joins =
        groups && i > 0 && tiles[i]->groupId != 0 && tiles[i]->groupId == tiles[i - 1]->groupId;
    if (joins) {
      members.back().second = i + 1;
    } else {
      members.emplace_back(i, i + 1);
    }
    candidateOf[i] = static_cast<std::uint32_t>(members.size() - 1);
    indexOf.emplace(tiles[i], i);
  }
  squares.clear();
  squares.reserve(tiles.size());
  for (const FotoInfo* tile : tiles) squares.push_back(tileSquares(tile->signature));
  live.resize(members.size());
  for (std::uint32_t c = 0; c < live.size(); ++c) live[c] = c;
  averageR.clear();
  averageG.clear();
  averageB.clear();
  detail.clear();
  detail.reserve(members.size());
  for (const auto& [from, to] : members) {
    detail.push_back(blockDetail(tiles[from]->signature));
    const Pixel average = tiles[from]->signature.values[0];
    averageR.push_back(static_cast<std::int16_t>(average & 0xFFu));
    averageG.push_back(static_cast<std::int16_t>((average >> 8) & 0xFFu));
    averageB.push_back(static_cast<std::int16_t>((average >> 16) & 0xFFu));
  }
}

// ---- SpacingIndex ----------------------------------------------------------------------------

SpacingIndex::SpacingIndex(const CellGrid& grid, std::uint64_t threshold)
    : m_threshold(threshold), m_reach(0) {
  for (const auto& cell : grid.cells) {
    if (cell) m_byTop.emplace_back(cell->shape.top, cell.get());
  }
  std::stable_sort(m_byTop.begin(), m_byTop.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  if (threshold > 0) {
    // The largest r with r x r < threshold: a cell further above or below is never within.
    auto r = static_cast<std::int64_t>(std::sqrt(static_cast<double>(threshold)));
    while (r > 0 && static_cast<std::uint64_t>(r) * static_cast<std::uint64_t>(r) >= threshold) {
      --r;
    }
    while (static_cast<std::uint64_t>(r + 1) * static_cast<std::uint64_t>(r + 1) < threshold) {
      ++r;
    }
    m_reach = r;
  }
}

std::pair<std::size_t, std::size_t> SpacingIndex::rowRange(const PuzzleInfo& cell) const {
  const std::int64_t top = cell.shape.top;
  const auto from =
      std::lower_bound(m_byTop.begin(), m_byTop.end(), top - m_reach,
                       [](const auto& entry, std::int64_t value) { return entry.first < value; });
  const auto to =
      std::upper_bound(from, m_byTop.end(), top + m_reach,
                       [](std::int64_t value, const auto& entry) { return value < entry.first; });
  return {static_cast<std::size_t>(from - m_byTop.begin()),
          static_cast<std::size_t>(to - m_byTop.begin())};
}

void SpacingIndex::near(const PuzzleInfo& cell, std::vector<const PuzzleInfo*>& out) const {
  if (m_threshold == 0) return;
  const auto [from, to] = rowRange(cell);
  for (std::size_t i = from; i < to; ++i) {
    const PuzzleInfo* other = m_byTop[i].second;
    if (other != &cell && withinSpacing(cell, *other, m_threshold)) out.push_back(other);
  }
}

std::uint32_t SpacingIndex::mostNear(std::uint32_t limit) const {
  std::uint32_t most = 0;
  if (m_threshold == 0) return most;
  for (const auto& [top, cell] : m_byTop) {
    const auto [from, to] = rowRange(*cell);
    // Fewer cells in the rows around than already found: no need to look closer.
    if (to - from <= most) continue;
    std::uint32_t count = 0;
    for (std::size_t i = from; i < to && count < limit; ++i) {
      const PuzzleInfo* other = m_byTop[i].second;
      if (other != cell && withinSpacing(*cell, *other, m_threshold)) ++count;
    }
    most = std::max(most, count);
    if (most >= limit) break;
  }
  return most;
}

// ---- The candidate search --------------------------------------------------------------------

namespace {

// A search seeds a list with the candidates nearest the cell (`pickSeeds`) when its range holds
// at least this many times as many candidates as the list keeps.
constexpr std::size_t kSeedingRange = 4;

// The candidates `cell` may not take: those of the tiles held by the cells within spacing,
// ascending.
std::vector<std::uint32_t> excludedCandidates(const PuzzleInfo& cell,
                                              const CScoreTile::RebuildInfo& info) {
  std::vector<std::uint32_t> excluded;
  if (info.threshold == 0 || info.cells == nullptr) return excluded;
  const CandidateSet& set = *info.tiles;
  const auto add = [&](const PuzzleInfo& other) {
    if (other.tile == nullptr) return;
    const auto found = set.indexOf.find(other.tile);
    if (found != set.indexOf.end()) excluded.push_back(set.candidateOf[found->second]);
  };
  if (info.nearby != nullptr) {
    std::vector<const PuzzleInfo*> near;
    info.nearby->near(cell, near);
    for (const PuzzleInfo* other : near) add(*other);
  } else {
    for (const auto& other : info.cells->cells) {
      if (!other || other.get() == &cell) continue;
      if (withinSpacing(cell, *other, info.threshold)) add(*other);
    }
  }
  std::sort(excluded.begin(), excluded.end());
  excluded.erase(std::unique(excluded.begin(), excluded.end()), excluded.end());
  return excluded;
}

// Whether `candidate` may go into a list: no member of its group is exhausted.
bool candidateOut(const CandidateSet& set, std::uint32_t candidate) {
  const auto [from, to] = set.members[candidate];
  for (std::uint32_t i = from; i < to; ++i) {
    if (set.exhausted[i] != 0) return true;
  }
  return false;
}

}  // namespace

void CandidateSet::updateLive() {
  std::erase_if(live, [this](std::uint32_t candidate) { return candidateOut(*this, candidate); });
}

namespace {

// The candidates of first .. last - 1 whose overall average lies nearest the cell's (sum of
// the channel differences, before any colour shift), at least `count` of them when there are,
// ascending; candidates that are out are left out. Their exact scores make a first limit for a
// search that is usually close to the final one, where the first candidates in list order would
// give a loose one.
std::vector<std::uint32_t> nearestByAverage(const CandidateSet& set, Pixel cell,
                                            std::uint32_t first, std::uint32_t last,
                                            std::size_t count) {
  const auto channel = [cell](int shift) { return static_cast<int>((cell >> shift) & 0xFFu); };
  const int r = channel(0);
  const int g = channel(8);
  const int b = channel(16);
  constexpr std::uint16_t kNotNear = 0xFFFF;
  std::vector<std::uint16_t> near(last - first);
  std::array<std::uint32_t, 766> histogram{};
  for (std::uint32_t c = first; c < last; ++c) {
    // A candidate that is out is never a seed.
    const auto d = candidateOut(set, c) ? kNotNear
                                        : static_cast<std::uint16_t>(std::abs(set.averageR[c] - r) +
                                                                     std::abs(set.averageG[c] - g) +
                                                                     std::abs(set.averageB[c] - b));
    near[c - first] = d;
    if (d != kNotNear) ++histogram[d];
  }
  std::size_t within = 0;
  std::uint16_t reach = 0;
  while (reach < 765 && within + histogram[reach] < count) within += histogram[reach++];
  std::vector<std::uint32_t> seeds;
  for (std::uint32_t c = first; c < last; ++c) {
    if (near[c - first] <= reach) seeds.push_back(c);
  }
  return seeds;
}

// The candidates of first .. last - 1 whose blocks' detail lies nearest the cell's, at least
// `count` of them when there are, ascending; candidates that are out are left out. The nearness
// is the smallest difference of the details over the variants (the tiles in their plain
// orientation), plus sixteen times what the averages differ by beyond the colour shift's reach
// in each channel. The colour shift brings most averages close, so this picks the candidates
// that score best far more often than the averages alone do.
std::vector<std::uint32_t> nearestByDetail(const CandidateSet& set, const ImageSignature& cell,
                                           std::uint32_t first, std::uint32_t last,
                                           std::size_t count) {
  const BlockDetail own = blockDetail(cell);
  const VariantList variants = allowedVariants(set.comparison->variantBits);
  std::array<BlockDetail, 8> layouts{};
  for (std::size_t v = 0; v < variants.count; ++v) {
    // Cell element k meets tile element perm[k]: the layout is in the tile's order.
    const auto perm = variantPermutation(variants.codes[v]);
    for (std::size_t k = 0; k < 16; ++k) {
      const std::size_t at = perm[ImageSignature::kFirstBlock + k] - ImageSignature::kFirstBlock;
      std::copy_n(own.bytes + 4 * k, 4, layouts[v].bytes + 4 * at);
    }
  }
  // The candidates of the range that may still be taken.
  const auto from = std::lower_bound(set.live.begin(), set.live.end(), first);
  const auto to = std::lower_bound(from, set.live.end(), last);
  std::vector<std::uint32_t> candidates;
  candidates.reserve(static_cast<std::size_t>(to - from));
  for (auto it = from; it != to; ++it) {
    if (!candidateOut(set, *it)) candidates.push_back(*it);
  }
  std::vector<std::uint16_t> apart(candidates.size());
  detailDistances(set.detail.data(), candidates.data(), candidates.size(), layouts.data(),
                  variants.count, apart.data());
  const Pixel average = cell.values[0];
  const int reach = static_cast<int>(set.comparison->shiftLimit);
  const auto beyond = [reach](int a, Pixel b, int shift) {
    return std::max(0, std::abs(a - static_cast<int>((b >> shift) & 0xFFu)) - reach);
  };
  // Buckets of four: the seeds are those of the buckets up to the one that holds the count-th.
  constexpr std::size_t kBuckets = (0xFFFF + 16 * 3 * 255) / 4 + 1;
  std::vector<std::uint32_t> histogram(kBuckets);
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    const std::uint32_t c = candidates[i];
    const int excess = beyond(set.averageR[c], average, 0) + beyond(set.averageG[c], average, 8) +
                       beyond(set.averageB[c], average, 16);
    apart[i] =
        static_cast<std::uint16_t>((apart[i] + 16u * static_cast<std::uint32_t>(excess)) / 4);
    ++histogram[apart[i]];
  }
  std::size_t within = 0;
  std::uint32_t bucket = 0;
  while (bucket + 1 < kBuckets && within + histogram[bucket] < count) within += histogram[bucket++];
  std::vector<std::uint32_t> seeds;
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    if (apart[i] <= bucket) seeds.push_back(candidates[i]);
  }
  return seeds;
}

// The seeds of a search for `cell` over first .. last - 1 keeping `keep`: none where the range
// is not much longer than the list, since seeding pays only there.
std::vector<std::uint32_t> pickSeeds(const CScoreTile::RebuildInfo& info, const PuzzleInfo& cell,
                                     std::uint32_t first, std::uint32_t last, std::size_t keep) {
  if (last <= first || last - first < kSeedingRange * keep) return {};
  if (info.detailSeeds) return nearestByDetail(*info.tiles, cell.signature, first, last, keep);
  return nearestByAverage(*info.tiles, cell.signature.values[0], first, last, keep);
}

// The best score of `candidate`'s group for `comparison`, each member compared with the limit
// `bound` or the group's best so far, whichever is lower.
std::uint32_t groupScore(const CandidateSet& set, const CellComparison& comparison,
                         std::uint32_t candidate, std::uint32_t bound) {
  const auto [from, to] = set.members[candidate];
  std::uint32_t best = kNoMatch;
  for (std::uint32_t i = from; i < to; ++i) {
    best = std::min(
        best, comparison.distance(std::min(bound, best), set.tiles[i]->signature, set.squares[i]));
  }
  return best;
}

// Prepares `share` for the list of `cell` keeping `keep`, unless another part has begun to.
// When preparing fails (out of memory), the parts that wait for it fail the same way.
void prepareShare(SearchShare& share, const PuzzleInfo& cell, std::size_t keep,
                  const CScoreTile::RebuildInfo& info) {
  int expected = 0;
  if (!share.state.compare_exchange_strong(expected, 1, std::memory_order_acquire)) return;
  try {
    const CandidateSet& set = *info.tiles;
    share.comparison.emplace(*set.comparison, cell.signature, cell.weight);
    share.excluded = excludedCandidates(cell, info);
    share.seeds = pickSeeds(info, cell, share.rangeFirst, share.rangeLast, keep);
    share.seedScores.assign(share.seeds.size(), kNoMatch);
  } catch (...) {
    share.failure = std::current_exception();
    share.state.store(3, std::memory_order_release);
    throw;
  }
  share.state.store(2, std::memory_order_release);
}

// Waits until the part that prepares `share` is done (a few microseconds).
void awaitShare(const SearchShare& share) {
  for (;;) {
    const int state = share.state.load(std::memory_order_acquire);
    if (state == 2) return;
    if (state == 3) std::rethrow_exception(share.failure);
    std::this_thread::yield();
  }
}

// Called by the part that worked out the last seed of `share`: the `keep`-th best of the
// seeds' entries bounds the worst entry of the whole range's list, so every part may skip what
// scores above it.
void publishSeedLimit(SearchShare& share, std::size_t keep, std::uint32_t initialLimit) {
  std::vector<Entry> scored;
  for (std::size_t i = 0; i < share.seeds.size(); ++i) {
    if (share.seedScores[i] < initialLimit)
      scored.emplace_back(share.seedScores[i], share.seeds[i]);
  }
  if (scored.size() < keep) return;
  std::nth_element(scored.begin(), scored.begin() + static_cast<std::ptrdiff_t>(keep - 1),
                   scored.end());
  const std::uint32_t bound = scored[keep - 1].first;
  std::uint32_t published = share.limit.load(std::memory_order_relaxed);
  while (bound < published &&
         !share.limit.compare_exchange_weak(published, bound, std::memory_order_relaxed)) {
  }
}

// One block of at most CellBlock::kCells lists over candidates first .. last - 1. Each list
// keeps a heap of its best entries so far by (score, candidate), worst on top; once the heap is
// full its worst score becomes the limit of the list's later comparisons. The seeds, the
// candidates nearest each cell, go first, then the rest in ascending order. Without
// `shared` each list picks its seeds from this range for itself; with it the seeds of the whole
// range are shared out among the parts that search it. The heap keeps the smallest (score,
// candidate) pairs whatever the order of arrival, so the result of a range split in parts is the
// same as a whole.
void searchBlock(std::span<CScoreTile* const> lists, const CScoreTile::RebuildInfo& info,
                 std::uint32_t first, std::uint32_t last, std::span<std::vector<Entry>> found,
                 SearchShare* shared, CandidateChunks* chunks) {
  constexpr std::size_t kLanes = CellBlock::kCells;
  const CandidateSet& set = *info.tiles;
  const std::size_t lanes = std::min(lists.size(), kLanes);
  std::vector<CellComparison> comparisons;
  comparisons.reserve(shared == nullptr ? lanes : 0);
  std::array<const CellComparison*, kLanes> pointers{};
  std::array<std::vector<std::uint32_t>, kLanes> ownExcluded;
  std::array<std::vector<std::uint32_t>, kLanes> ownSeeds;
  std::array<const std::vector<std::uint32_t>*, kLanes> excluded{};
  std::array<const std::vector<std::uint32_t>*, kLanes> seeded{};
  std::array<std::size_t, kLanes> nextExcluded{};
  std::array<std::size_t, kLanes> nextSeeded{};
  std::array<std::uint32_t, kLanes> limit{};
  std::array<std::size_t, kLanes> keep{};
  // The limit of list l: its own, or a smaller one that a search of another part published.
  const auto bound = [&](std::size_t l) {
    return shared == nullptr ? limit[l]
                             : std::min(limit[l], shared[l].limit.load(std::memory_order_relaxed));
  };
  // Offers (score, candidate) to list l's heap.
  const auto offer = [&](std::size_t l, std::uint32_t score, std::uint32_t candidate) {
    if (score >= info.initialLimit) return;
    std::vector<Entry>& heap = found[l];
    const Entry entry(score, candidate);
    if (heap.size() >= keep[l]) {
      if (!(entry < heap.front())) return;
      std::pop_heap(heap.begin(), heap.end());
      heap.back() = entry;
    } else {
      heap.push_back(entry);
    }
    std::push_heap(heap.begin(), heap.end());
    if (heap.size() < keep[l]) return;
    limit[l] = heap.front().first;
    // The worst of a full list over part of the range bounds the worst of the whole range's
    // list: the searches of the other parts may skip what scores above it. An entry that ties
    // it is still offered, so the merge decides among equal scores as one search would.
    if (shared == nullptr) return;
    std::atomic<std::uint32_t>& published = shared[l].limit;
    std::uint32_t seen = published.load(std::memory_order_relaxed);
    while (limit[l] < seen &&
           !published.compare_exchange_weak(seen, limit[l], std::memory_order_relaxed)) {
    }
  };
  // Whether list l may take `candidate` (not excluded by spacing, no member exhausted).
  const auto allowed = [&](std::size_t l, std::uint32_t candidate) {
    return !std::binary_search(excluded[l]->begin(), excluded[l]->end(), candidate) &&
           !candidateOut(set, candidate);
  };
  for (std::size_t l = 0; l < lanes; ++l) {
    const PuzzleInfo& cell = lists[l]->cell();
    limit[l] = info.initialLimit;
    keep[l] = std::max<std::uint32_t>(lists[l]->capacity, 1);
    found[l].clear();
    found[l].reserve(std::min<std::size_t>(keep[l], last > first ? last - first : 0) + 1);
    if (shared != nullptr) {
      // The parts that start together prepare different lists of the block.
      prepareShare(shared[l], cell, keep[l], info);
    }
  }
  for (std::size_t l = 0; l < lanes; ++l) {
    const PuzzleInfo& cell = lists[l]->cell();
    if (shared != nullptr) {
      SearchShare& share = shared[l];
      awaitShare(share);
      pointers[l] = &*share.comparison;
      excluded[l] = &share.excluded;
      seeded[l] = &share.seeds;
      nextSeeded[l] = static_cast<std::size_t>(
          std::lower_bound(share.seeds.begin(), share.seeds.end(), first) - share.seeds.begin());
      // The seeds go to whichever part asks for the next one first.
      for (std::size_t i = share.nextSeed.fetch_add(1, std::memory_order_relaxed);
           i < share.seeds.size(); i = share.nextSeed.fetch_add(1, std::memory_order_relaxed)) {
        const std::uint32_t candidate = share.seeds[i];
        if (allowed(l, candidate)) {
          const std::uint32_t score = groupScore(set, *pointers[l], candidate, bound(l));
          share.seedScores[i] = score;
          offer(l, score, candidate);
        }
        if (share.seedsDone.fetch_add(1, std::memory_order_acq_rel) + 1 == share.seeds.size()) {
          publishSeedLimit(share, keep[l], info.initialLimit);
        }
      }
      continue;
    }
    comparisons.emplace_back(*set.comparison, cell.signature, cell.weight);
    pointers[l] = &comparisons.back();
    ownExcluded[l] = excludedCandidates(cell, info);
    excluded[l] = &ownExcluded[l];
    seeded[l] = &ownSeeds[l];
    ownSeeds[l] = pickSeeds(info, cell, first, last, keep[l]);
    for (const std::uint32_t candidate : ownSeeds[l]) {
      if (allowed(l, candidate)) {
        offer(l, groupScore(set, *pointers[l], candidate, bound(l)), candidate);
      }
    }
  }
  const CellBlock block(std::span<const CellComparison* const>(pointers.data(), lanes));

  std::array<bool, kLanes> skip{};
  std::array<std::uint32_t, kLanes> best{};
  std::array<std::uint32_t, kLanes> bounds{};
  std::array<std::uint32_t, kLanes> distance{};
  // Steps `next` through the ascending `candidates` up to `candidate`; true when listed.
  const auto listed = [](const std::vector<std::uint32_t>& candidates, std::size_t& next,
                         std::uint32_t candidate) {
    while (next < candidates.size() && candidates[next] < candidate) ++next;
    return next < candidates.size() && candidates[next] == candidate;
  };
  const auto scanRange = [&](std::uint32_t begin, std::uint32_t end) {
    for (std::uint32_t candidate = begin; candidate < end; ++candidate) {
      if (candidateOut(set, candidate)) continue;
      const auto [from, to] = set.members[candidate];
      bool any = false;
      for (std::size_t l = 0; l < lanes; ++l) {
        skip[l] = listed(*excluded[l], nextExcluded[l], candidate) ||
                  listed(*seeded[l], nextSeeded[l], candidate);
        any = any || !skip[l];
        best[l] = kNoMatch;
      }
      if (!any) continue;
      for (std::uint32_t i = from; i < to; ++i) {
        if (i + 1 < set.tiles.size()) {
          // The next signature's first cache lines, which every comparison reads.
          const char* next =
              reinterpret_cast<const char*>(set.tiles[i + 1]->signature.values.data());
          __builtin_prefetch(next);
          __builtin_prefetch(next + 64);
        }
        for (std::size_t l = 0; l < lanes; ++l) {
          // A lane that may not take the candidate still runs, with the tightest bound; its
          // result is not used.
          bounds[l] = skip[l] ? 0 : std::min(bound(l), best[l]);
        }
        block.distances(set.tiles[i]->signature, set.squares[i], bounds.data(), distance.data());
        for (std::size_t l = 0; l < lanes; ++l) best[l] = std::min(best[l], distance[l]);
      }
      for (std::size_t l = 0; l < lanes; ++l) {
        if (!skip[l]) offer(l, best[l], candidate);
      }
    }
  };
  // The range, or with `chunks` one chunk after the other, each anywhere in the range.
  std::uint32_t from = first;
  std::uint32_t to = last;
  bool more = chunks == nullptr || chunks->next(from, to);
  for (; more; more = chunks != nullptr && chunks->next(from, to)) {
    if (chunks != nullptr) {
      for (std::size_t l = 0; l < lanes; ++l) {
        nextExcluded[l] = static_cast<std::size_t>(
            std::lower_bound(excluded[l]->begin(), excluded[l]->end(), from) -
            excluded[l]->begin());
        nextSeeded[l] = static_cast<std::size_t>(
            std::lower_bound(seeded[l]->begin(), seeded[l]->end(), from) - seeded[l]->begin());
      }
    }
    scanRange(from, to);
  }
  for (std::size_t l = 0; l < lanes; ++l) std::sort_heap(found[l].begin(), found[l].end());
}

}  // namespace

void SearchShare::reset(std::uint32_t first, std::uint32_t last, std::uint32_t initialLimit) {
  limit.store(initialLimit, std::memory_order_relaxed);
  rangeFirst = first;
  rangeLast = last;
  state.store(0, std::memory_order_relaxed);
  comparison.reset();
  excluded.clear();
  seeds.clear();
  seedScores.clear();
  nextSeed.store(0, std::memory_order_relaxed);
  seedsDone.store(0, std::memory_order_relaxed);
  failure = nullptr;
}

void CandidateChunks::reset(std::uint32_t first, std::uint32_t last, std::uint32_t size) {
  m_next.store(first, std::memory_order_relaxed);
  m_last = last;
  m_size = std::max<std::uint32_t>(size, 1);
}

bool CandidateChunks::next(std::uint32_t& from, std::uint32_t& to) {
  // A counter that only grows: once it has passed the end every later call fails too.
  from = m_next.fetch_add(m_size, std::memory_order_relaxed);
  if (from >= m_last || from + m_size < from) return false;
  to = std::min(m_last, from + m_size);
  return true;
}

void searchCandidates(std::span<CScoreTile* const> lists, const CScoreTile::RebuildInfo& info,
                      std::uint32_t first, std::uint32_t last, std::span<std::vector<Entry>> found,
                      std::span<SearchShare> shared, CandidateChunks* chunks) {
  const std::size_t count = std::min(lists.size(), found.size());
  last = std::min<std::uint32_t>(last, static_cast<std::uint32_t>(info.tiles->members.size()));
  // Chunks are taken by the searches of one block of shared lists only: elsewhere each search
  // picks its own seeds, which two searches of one chunked range would both offer.
  if (count > CellBlock::kCells || shared.size() < count) chunks = nullptr;
  for (std::size_t at = 0; at < count; at += CellBlock::kCells) {
    const std::size_t n = std::min(CellBlock::kCells, count - at);
    searchBlock(lists.subspan(at, n), info, first, last, found.subspan(at, n),
                shared.size() >= at + n ? shared.data() + at : nullptr, chunks);
  }
}

std::vector<Entry> mergeCandidates(std::span<std::vector<Entry>> parts, std::uint32_t capacity) {
  const std::size_t keep = std::max<std::uint32_t>(capacity, 1);
  std::vector<Entry> merged;
  if (parts.size() == 1) {
    merged = std::move(parts[0]);
  } else {
    std::size_t total = 0;
    for (const auto& part : parts) total += part.size();
    merged.reserve(total);
    for (auto& part : parts) {
      const auto middle = merged.insert(merged.end(), part.begin(), part.end());
      std::inplace_merge(merged.begin(), middle, merged.end());
      std::vector<Entry>().swap(part);
    }
  }
  if (merged.size() > keep) merged.resize(keep);
  return merged;
}

// ---- CScoreTile ------------------------------------------------------------------------------

void CScoreTile::rebuild(RebuildInfo& info) {
  CScoreTile* self = this;
  std::vector<Entry> found;
  searchCandidates(std::span<CScoreTile* const>(&self, 1), info, 0,
                   static_cast<std::uint32_t>(info.tiles->members.size()),
                   std::span<std::vector<Entry>>(&found, 1));
  assign(std::move(found));
}

bool CScoreTile::remove(std::uint32_t candidate) {
  for (std::size_t i = m_head; i < m_list.size(); ++i) {
    if (m_list[i].second == candidate && m_dead[i] == 0) {
      markDead(i);
      return true;
    }
  }
  return false;
}

bool CScoreTile::remove(std::uint32_t candidate, std::uint32_t score) {
  const auto it = std::lower_bound(m_list.begin(), m_list.end(), Entry{score, candidate});
  if (it == m_list.end() || *it != Entry{score, candidate}) return false;
  const auto i = static_cast<std::size_t>(it - m_list.begin());
  if (m_dead[i] != 0) return false;
  markDead(i);
  return true;
}

void CScoreTile::markDead(std::size_t i) {
  m_dead[i] = 1;
  --m_live;
  while (m_head < m_list.size() && m_dead[m_head] != 0) ++m_head;
  // Entries taken out from the middle stay in place, marked, until they are as many as the
  // entries left: the list then closes up once, instead of moving its tail at every removal.
  if (m_list.size() - m_live > m_live && m_list.size() > 64) compact();
  updateGap();
}

void CScoreTile::compact() {
  if (m_live == m_list.size()) return;
  std::size_t kept = 0;
  for (std::size_t i = m_head; i < m_list.size(); ++i) {
    if (m_dead[i] == 0) m_list[kept++] = m_list[i];
  }
  m_list.resize(kept);
  m_dead.assign(kept, 0);
  m_head = 0;
}

void CScoreTile::assign(std::vector<Entry> entries) {
  m_list = std::move(entries);
  m_dead.assign(m_list.size(), 0);
  m_head = 0;
  m_live = m_list.size();
  updateGap();
}

void CScoreTile::updateGap() {
  m_gap = 0;
  if (m_live < 2) return;
  std::size_t second = m_head + 1;
  while (m_dead[second] != 0) ++second;
  m_gap = m_list[second].first - m_list[m_head].first;
}

std::uint64_t candidateBudget(const MatchingContext& context, std::size_t tileCount) {
  long megabytes = context.job.settings.advanced.rowLong(AdvancedRow::MemoryMaxSizeMB);
  megabytes = std::clamp(megabytes, 10L, 3900L);
  std::int64_t cellBytes = 24;
  for (const auto& cell : context.grid.cells) {
    if (cell) {
      cellBytes +=
          728 + static_cast<std::int64_t>(cell->neighbours.capacity() * sizeof(PuzzleInfo*));
    }
  }
  std::int64_t budget = std::int64_t{megabytes} * 1000000 -
                        (700 * static_cast<std::int64_t>(tileCount) + cellBytes + 60000048);
  budget = std::max<std::int64_t>(budget, 50000000);
  return static_cast<std::uint64_t>(budget) / 60;
}

std::uint32_t candidateCapacity(std::uint64_t entries, std::uint64_t waiting, std::uint64_t cap) {
  std::uint64_t k = std::min(entries / (waiting + 1), cap);
  if (k < 3) k = 2;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(k, 0xFFFFFFFFu));
}

// ---- The run ---------------------------------------------------------------------------------

namespace {

constexpr std::uint32_t kUnlimited = 0xFFFFFFFFu;
// The longest first list, and how much longer a list gets at each refill (within the budget).
constexpr std::uint32_t kFirstListLength = 48;
constexpr std::uint32_t kListGrowth = 2;
// The chunks the parts of a split search take in turn: at least this many candidates (fewer
// would cost more in setting each up than they save at the end) ...
constexpr std::uint64_t kChunkCandidates = 128;
// ... and about this many for each part.
constexpr std::uint64_t kChunksPerPart = 16;

// The waiting lists by gap, largest first, and among equal gaps the earlier insertion first. A
// binary heap in one array: a list that moves gets a new entry, and the entries it left behind
// are recognised by their stamp and dropped when they come to the top (or when they make up
// most of the heap), which costs far less than moving it within a tree.
class GapQueue {
 public:
  [[nodiscard]] bool empty() const { return m_live == 0; }
  [[nodiscard]] std::size_t size() const { return m_live; }
  // Adds `score` at its `queuedGap` and `order`; it must not be queued.
  void insert(CScoreTile& score) {
    score.queued = true;
    ++m_live;
    push(score);
  }
  // Takes `score` out; false when it was not queued.
  bool erase(CScoreTile& score) {
    if (!score.queued) return false;
    score.queued = false;
    ++score.stamp;
    --m_live;
    return true;
  }
  // Moves a queued `score` to its new `queuedGap` and `order`.
  void move(CScoreTile& score) {
    ++score.stamp;
    push(score);
  }
  // The first list; the queue must not be empty.
  [[nodiscard]] CScoreTile& top() {
    while (stale(m_heap.front())) {
      std::pop_heap(m_heap.begin(), m_heap.end(), After{});
      m_heap.pop_back();
    }
    return *m_heap.front().score;
  }

 private:
  struct Slot {
    std::uint32_t gap;
    std::uint32_t stamp;
    std::uint64_t order;
    CScoreTile* score;
  };
  // Whether `a` comes after `b`.
  struct After {
    bool operator()(const Slot& a, const Slot& b) const {
      if (a.gap != b.gap) return a.gap < b.gap;
      return a.order > b.order;
    }
  };
  static bool stale(const Slot& slot) {
    return !slot.score->queued || slot.stamp != slot.score->stamp;
  }
  void push(CScoreTile& score) {
    if (m_heap.size() >= 2 * m_live + 1024) {
      std::erase_if(m_heap, stale);
      std::make_heap(m_heap.begin(), m_heap.end(), After{});
    }
    m_heap.push_back({score.queuedGap, score.stamp, score.order, &score});
    std::push_heap(m_heap.begin(), m_heap.end(), After{});
  }

  std::vector<Slot> m_heap;
  std::size_t m_live = 0;
};

// One list in the index of who holds a candidate, with the score it was listed at. Entries of
// lists that were refilled or served since stay until their candidate is next withdrawn or the
// index is rebuilt; a removal through them simply finds nothing.
struct Holder {
  std::uint32_t list;
  std::uint32_t score;
};

// A search job: some lists over one part of the candidates. With `direct` the job hands its
// results to the lists itself (the whole range was searched); otherwise the job thread
// merges the parts.
struct Search {
  std::vector<CScoreTile*> lists;
  std::uint32_t first = 0;
  std::uint32_t last = 0;
  bool direct = true;
  // The part whose lists are indexed once the parts are merged.
  bool primary = true;
  std::vector<std::vector<Entry>> found;
  // What the parts of one search share, one for each list, and the chunks of candidates they
  // take in turn.
  std::shared_ptr<std::vector<SearchShare>> shares;
  std::shared_ptr<CandidateChunks> chunks;
};

template <typename T>
std::uint64_t bytesOf(const std::vector<T>& v) {
  return static_cast<std::uint64_t>(v.capacity()) * sizeof(T);
}

class HighQualityRun {
 public:
  HighQualityRun(MatchingContext& context, bool groups)
      : m_context(context), m_job(context.job), m_groups(groups) {}

  bool run();
  [[nodiscard]] const HighQualityStats& stats() const { return m_stats; }

 private:
  void enqueue(CScoreTile& score) {
    score.queuedGap = score.gap();
    score.order = m_nextOrder++;
    m_queue.insert(score);
  }
  void refresh(CScoreTile& score) {
    if (score.gap() == score.queuedGap) return;
    score.queuedGap = score.gap();
    score.order = m_nextOrder++;
    m_queue.move(score);
  }
  // Puts back a list that left the order to be refilled: where it stood when its gap came back
  // unchanged, else at the place reserved for it when it left. So the order is the one lists
  // long enough never to run short would give, and does not depend on the list lengths.
  void requeue(CScoreTile& score) {
    if (score.gap() != score.queuedGap) {
      score.queuedGap = score.gap();
      score.order = score.reservedOrder;
    }
    m_queue.insert(score);
  }
  void indexCandidates(CScoreTile& score);
  void compactIndex();
  void withdraw(std::uint32_t candidate, const PuzzleInfo* placed,
                std::vector<CScoreTile*>& shortLists);
  // The parts the candidates are split into when `lists` lists are searched at once: one when
  // there are enough blocks of lists to keep every thread busy, more for a few lists, never so
  // many that a part is too short to fill its lists before the limits cut comparisons short.
  [[nodiscard]] std::uint32_t partsFor(std::size_t lists, std::uint32_t capacity) const;
  void submitSearch(JobGroup& group, std::vector<CScoreTile*> lists, std::uint32_t parts);
  // Hands the results of the finished searches to their lists and indexes them.
  void collectSearches();
  void noteMemory();
  FotoInfo* chooseTile(const CScoreTile& score, std::uint32_t candidate, std::uint32_t value,
                       std::uint32_t& index) const;

  MatchingContext& m_context;
  MosaicJob& m_job;
  bool m_groups;
  unsigned m_threads = 1;
  CandidateSet m_set;
  std::unique_ptr<SpacingIndex> m_nearby;
  CScoreTile::RebuildInfo m_info;
  std::vector<std::unique_ptr<CScoreTile>> m_scores;
  GapQueue m_queue;
  std::vector<std::vector<Holder>> m_holders;
  std::vector<std::unique_ptr<Search>> m_searches;
  std::uint64_t m_nextOrder = 0;
  // Running totals for the budget check: candidates listed and index entries, and the bytes
  // of the lists and of the index.
  std::uint64_t m_listed = 0;
  std::uint64_t m_indexed = 0;
  std::uint64_t m_listBytes = 0;
  std::uint64_t m_indexBytes = 0;
  std::uint64_t m_searchBytes = 0;
  HighQualityStats m_stats;
};

void HighQualityRun::indexCandidates(CScoreTile& score) {
  for (const auto& [value, candidate] : score.candidates()) {
    std::vector<Holder>& holders = m_holders[candidate];
    const std::uint64_t before = bytesOf(holders);
    holders.push_back({score.index, value});
    m_indexBytes += bytesOf(holders) - before;
  }
  m_indexed += score.size();
  score.touched = false;
}

void HighQualityRun::compactIndex() {
  for (auto& holders : m_holders) std::vector<Holder>().swap(holders);
  m_indexed = 0;
  m_indexBytes = 0;
  for (const auto& score : m_scores) {
    if (score->done) continue;
    score->compact();
    for (const auto& [value, candidate] : score->candidates()) {
      m_holders[candidate].push_back({score->index, value});
    }
    m_indexed += score->size();
  }
  for (const auto& holders : m_holders) m_indexBytes += bytesOf(holders);
}

// Takes `candidate` out of the lists of the waiting cells that hold it (all, or only those
// within spacing of `placed`). The lists that changed are re-ordered in the order of their
// index, so that the priority order does not depend on how the index happens to be laid out.
void HighQualityRun::withdraw(std::uint32_t candidate, const PuzzleInfo* placed,
                              std::vector<CScoreTile*>& shortLists) {
  std::vector<Holder>& holders = m_holders[candidate];
  std::vector<Holder> kept;
  std::vector<CScoreTile*> changed;
  for (const Holder& holder : holders) {
    CScoreTile& score = *m_scores[holder.list];
    if (score.done) continue;
    if (placed != nullptr && !withinSpacing(*placed, score.cell(), m_info.threshold)) {
      kept.push_back(holder);
      continue;
    }
    if (score.remove(candidate, holder.score)) changed.push_back(&score);
  }
  m_indexed -= holders.size() - kept.size();
  m_indexBytes -= bytesOf(holders);
  m_indexBytes += bytesOf(kept);
  holders.swap(kept);
  m_listed -= changed.size();
  // The index mostly holds the lists in order already.
  const auto byIndex = [](const CScoreTile* a, const CScoreTile* b) { return a->index < b->index; };
  if (!std::is_sorted(changed.begin(), changed.end(), byIndex)) {
    std::sort(changed.begin(), changed.end(), byIndex);
  }
  for (CScoreTile* score : changed) {
    score->touched = true;
    if (score->size() < 2) {
      if (m_queue.erase(*score)) {
        score->reservedOrder = m_nextOrder++;
        shortLists.push_back(score);
      }
    } else {
      refresh(*score);
    }
  }
}

std::uint32_t HighQualityRun::partsFor(std::size_t lists, std::uint32_t capacity) const {
  if (m_threads <= 1) return 1;
  const std::size_t blocks = (lists + CellBlock::kCells - 1) / CellBlock::kCells;
  const std::size_t wanted = 4 * std::size_t{m_threads};
  if (blocks >= wanted) return 1;
  const std::size_t candidates = m_set.members.size();
  // A part searches at least 512 candidates, and at least half as many as the list holds:
  // with fewer, setting parts up and merging them costs more than sharing the work saves. The
  // refills in the placement loop are mostly a few cells with long lists, so parts smaller than
  // a list are what keeps every thread busy there.
  const std::size_t shortest = std::max<std::size_t>(512, std::size_t{capacity} / 2);
  const std::size_t most = std::max<std::size_t>(1, candidates / shortest);
  return static_cast<std::uint32_t>(std::min((wanted + blocks - 1) / blocks, most));
}

void HighQualityRun::submitSearch(JobGroup& group, std::vector<CScoreTile*> lists,
                                  std::uint32_t parts) {
  const auto candidates = static_cast<std::uint64_t>(m_set.members.size());
  std::shared_ptr<std::vector<SearchShare>> shares;
  std::shared_ptr<CandidateChunks> chunks;
  if (parts > 1) {
    shares = std::make_shared<std::vector<SearchShare>>(lists.size());
    for (SearchShare& share : *shares) {
      share.reset(0, static_cast<std::uint32_t>(candidates), m_info.initialLimit);
    }
    // The parts take the candidates in chunks rather than a fixed share each: they then end
    // together, instead of one thread waiting for the other's last part at every refill. One
    // part per thread is enough for that.
    if (lists.size() <= CellBlock::kCells) {
      chunks = std::make_shared<CandidateChunks>();
      const auto chunk = static_cast<std::uint32_t>(
          std::max<std::uint64_t>(kChunkCandidates, candidates / (kChunksPerPart * parts)));
      chunks->reset(0, static_cast<std::uint32_t>(candidates), chunk);
      parts = std::min(parts, m_threads);
    }
  }
  for (std::uint32_t part = 0; part < parts; ++part) {
    auto search = std::make_unique<Search>();
    search->lists = lists;
    search->first = static_cast<std::uint32_t>(chunks ? 0 : candidates * part / parts);
    search->last =
        static_cast<std::uint32_t>(chunks ? candidates : candidates * (part + 1) / parts);
    search->direct = parts == 1;
    search->primary = part == 0;
    search->found.resize(lists.size());
    search->shares = shares;
    search->chunks = chunks;
    Search* job = search.get();
    m_searches.push_back(std::move(search));
    ++m_stats.searchJobs;
    const CScoreTile::RebuildInfo* info = &m_info;
    group.submit(makeParallelJob([job, info] {
      std::span<SearchShare> shared;
      if (job->shares) shared = *job->shares;
      searchCandidates(job->lists, *info, job->first, job->last, job->found, shared,
                       job->chunks.get());
      if (!job->direct) return;
      for (std::size_t i = 0; i < job->lists.size(); ++i) {
        job->lists[i]->assign(std::move(job->found[i]));
      }
      std::vector<std::vector<Entry>>().swap(job->found);
    }));
  }
  m_stats.rebuilds += lists.size();
}

void HighQualityRun::collectSearches() {
  // The searches of one batch are in submission order: the parts of a block follow each other.
  m_searchBytes = 0;
  for (const auto& search : m_searches) {
    for (const auto& found : search->found) m_searchBytes += bytesOf(found);
  }
  for (std::size_t at = 0; at < m_searches.size();) {
    Search& head = *m_searches[at];
    std::size_t end = at + 1;
    while (end < m_searches.size() && m_searches[end]->lists == head.lists) ++end;
    for (std::size_t i = 0; i < head.lists.size(); ++i) {
      CScoreTile& score = *head.lists[i];
      if (!head.direct) {
        std::vector<std::vector<Entry>> parts;
        for (std::size_t p = at; p < end; ++p) parts.push_back(std::move(m_searches[p]->found[i]));
        score.assign(mergeCandidates(parts, score.capacity));
      }
      m_listed += score.size();
      m_listBytes += score.bytes();
    }
    at = end;
  }
  noteMemory();
  m_searchBytes = 0;
  for (const auto& search : m_searches) {
    for (CScoreTile* score : search->lists) {
      if (search->primary) indexCandidates(*score);
    }
  }
  m_searches.clear();
  noteMemory();
  // Entries of refilled and served lists pile up in the index; once they outnumber the listed
  // candidates the index is rebuilt from the lists, which keeps it within twice their size.
  if (m_indexed > 2 * m_listed + 65536) compactIndex();
}

void HighQualityRun::noteMemory() {
  m_stats.peakListed = std::max(m_stats.peakListed, m_listed);
  m_stats.peakIndexed = std::max(m_stats.peakIndexed, m_indexed);
  m_stats.peakBytes = std::max(m_stats.peakBytes, m_listBytes + m_indexBytes + m_searchBytes);
}

FotoInfo* HighQualityRun::chooseTile(const CScoreTile& score, std::uint32_t candidate,
                                     std::uint32_t value, std::uint32_t& index) const {
  const auto [first, last] = m_set.members[candidate];
  if (!m_groups) {
    index = first;
    return m_set.tiles[first];
  }
  for (std::uint32_t i = first; i < last; ++i) {
    if (tileDistance(m_context.comparison, value, score.cell(), *m_set.tiles[i]) == value) {
      index = i;
      return m_set.tiles[i];
    }
  }
  return nullptr;
}

bool HighQualityRun::run() {
  CellGrid& grid = m_context.grid;
  m_set.assign(placementTiles(m_context.list), m_groups, m_context.comparison);
  for (std::size_t i = 0; i < m_set.tiles.size(); ++i) {
    m_set.exhausted[i] = m_context.exhausted(*m_set.tiles[i]) ? 1 : 0;
  }
  m_holders.assign(m_set.members.size(), {});
  m_info.tiles = &m_set;
  m_info.cells = &grid;
  m_info.threshold = spacingThreshold(grid, m_job.settings.duplicateSpacing.value);
  if (m_info.threshold > 0) {
    m_nearby = std::make_unique<SpacingIndex>(grid, m_info.threshold);
    m_info.nearby = m_nearby.get();
  }

  const std::size_t n = grid.cells.size();
  m_job.beginStage(ProgressStage::Placement, 3.0 * static_cast<double>(n));
  const std::uint64_t entries = candidateBudget(m_context, m_set.tiles.size());
  m_stats.entries = entries;
  std::uint32_t firstCapacity = candidateCapacity(entries, n, n + 1);
  // Without spacing and with every tile free to be used any number of times, no placement
  // takes anything out of another cell's list: each cell ends with its own best candidate, and
  // the order of service only needs the two best. Longer lists would cost time and memory and
  // change nothing.
  const bool unlimited =
      std::all_of(m_set.tiles.begin(), m_set.tiles.end(),
                  [&](const FotoInfo* tile) { return m_context.useLimit(*tile) == kUnlimited; });
  if (m_info.threshold == 0 && unlimited) {
    firstCapacity = std::min<std::uint32_t>(firstCapacity, 2);
  }
  // With spacing and unlimited uses a list only loses the candidates its neighbours within
  // spacing take, one each: with that many more than the two best it never runs short, its
  // two best stay exact, and every cell gets what a longer list would give it. The first
  // searches then keep a tight limit and stop most comparisons early.
  if (m_info.threshold > 0 && unlimited && firstCapacity > 2) {
    firstCapacity = std::min(firstCapacity, m_nearby->mostNear(firstCapacity - 2) + 2);
  }
  // Otherwise the placement does not depend on the list lengths either (a list always holds the
  // best candidates still allowed, and a refill keeps the list's place), only the work does: a
  // long first list makes every search compare its first entries without a limit, a short one
  // is refilled often. Lists start short and grow with every refill of their cell, which
  // gives longer lists to the cells that compete for the most wanted tiles.
  firstCapacity = std::min(firstCapacity, kFirstListLength);

  m_threads = std::max(1u, m_job.threadCount);
  WorkerPool pool;
  pool.setThreadCount(m_threads > 1 ? m_threads - 1 : 0, m_job.workerPriority);
  JobGroup group(pool, true);
  const std::string analysing = tr("Analyzing Mosaic Tile#: %d of %d");
  int counted = 0;
  std::vector<CScoreTile*> block;
  // The first searches go out a block at a time; with few cells the block's candidates are
  // split so that every thread has a share.
  const std::uint32_t firstParts = partsFor(n, firstCapacity);
  for (const auto& cell : grid.cells) {
    m_job.addProgress(2);
    m_job.setStatus(formatText(analysing, ++counted, static_cast<int>(n)));
    if (!cell || cell->active == 0 || cell->tile != nullptr) continue;
    m_scores.push_back(std::make_unique<CScoreTile>(*cell));
    CScoreTile& score = *m_scores.back();
    score.capacity = std::max<std::uint32_t>(firstCapacity, 1);
    score.index = static_cast<std::uint32_t>(m_scores.size() - 1);
    block.push_back(&score);
    if (block.size() == CellBlock::kCells) {
      submitSearch(group, std::move(block), firstParts);
      block.clear();
    }
    if (m_job.stopRequested()) break;
  }
  if (!block.empty() && !m_job.stopRequested()) submitSearch(group, std::move(block), firstParts);
  group.waitIdle();
  if (m_job.stopRequested()) return false;
  collectSearches();
  for (const auto& score : m_scores) enqueue(*score);
  // The refills come for cells whose best candidates others took: what is left is far from
  // them on average too, and the average picks poor seeds.
  m_info.detailSeeds = true;

  const std::string adding = tr("Adding Tile#: %d of %d");
  int placed = 0;
  std::vector<CScoreTile*> shortLists;
  bool liveChanged = true;
  while (!m_queue.empty()) {
    if (m_job.stopRequested()) return false;
    CScoreTile& score = m_queue.top();
    m_queue.erase(score);
    score.done = true;
    m_listed -= score.size();
    m_listBytes -= score.bytes();
    m_job.addProgress(1);
    if (score.empty()) continue;
    const auto [value, candidate] = score.best();
    std::uint32_t index = 0;
    FotoInfo* tile = chooseTile(score, candidate, value, index);
    score.assign({});
    if (tile == nullptr) continue;

    PuzzleInfo& cell = score.cell();
    cell.tile = tile;
    cell.score = value;
    ++tile->useCount;
    m_job.setStatus(formatText(adding, ++placed, static_cast<int>(n)));

    shortLists.clear();
    if (tile->useCount < m_context.useLimit(*tile)) {
      if (m_info.threshold > 0) withdraw(candidate, &cell, shortLists);
    } else {
      withdraw(candidate, nullptr, shortLists);
      m_set.exhausted[index] = 1;
      liveChanged = true;
      m_context.setExhausted(*tile, true);
    }

    const std::uint64_t waiting = m_queue.size() + shortLists.size();
    const std::uint32_t capacity = candidateCapacity(entries, waiting, waiting);
    if (shortLists.empty()) continue;
    // Only lists that lost entries can come back different: a list that was never touched
    // already holds every candidate still allowed for its cell.
    for (CScoreTile* shortList : shortLists) {
      m_listed -= shortList->size();
      m_listBytes -= shortList->bytes();
      shortList->assign({});
      const std::uint64_t grown = std::uint64_t{shortList->capacity} * kListGrowth;
      shortList->capacity = static_cast<std::uint32_t>(
          std::max<std::uint64_t>(std::min<std::uint64_t>(capacity, grown), 1));
    }
    if (liveChanged) {
      m_set.updateLive();
      liveChanged = false;
    }
    const std::uint32_t parts = partsFor(shortLists.size(), capacity);
    for (std::size_t at = 0; at < shortLists.size(); at += CellBlock::kCells) {
      const auto from = shortLists.begin() + static_cast<std::ptrdiff_t>(at);
      const auto to = shortLists.begin() + static_cast<std::ptrdiff_t>(
                                               std::min(shortLists.size(), at + CellBlock::kCells));
      submitSearch(group, std::vector<CScoreTile*>(from, to), parts);
    }
    group.waitIdle();
    collectSearches();
    for (CScoreTile* shortList : shortLists) requeue(*shortList);
  }
  m_job.endStage();
  return true;
}

}  // namespace

bool placeHighQuality(MatchingContext& context, bool groups, HighQualityStats* stats) {
  HighQualityRun run(context, groups);
  const bool finished = run.run();
  if (stats != nullptr) *stats = run.stats();
  return finished;
}

}  // namespace tg
