// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/score_tile.h"

#include <algorithm>
#include <memory>
#include <set>
#include <unordered_set>

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
}

void CScoreTile::rebuild(RebuildInfo& info) {
  const CandidateSet& set = *info.tiles;
  std::unordered_set<std::uint32_t> excluded;
  if (info.threshold > 0 && info.cells != nullptr) {
    for (const auto& other : info.cells->cells) {
      if (!other || other->tile == nullptr || other.get() == m_cell) continue;
      if (!withinSpacing(*m_cell, *other, info.threshold)) continue;
      const auto found = set.indexOf.find(other->tile);
      if (found != set.indexOf.end()) excluded.insert(set.candidateOf[found->second]);
    }
  }
  m_list.clear();
  m_gap = 0;
  std::uint32_t limit = info.initialLimit;
  const std::size_t keep = std::max<std::uint32_t>(capacity, 1);
  const CellComparison comparison(*set.comparison, m_cell->signature, m_cell->weight);
  for (std::uint32_t candidate = 0; candidate < set.members.size(); ++candidate) {
    if (excluded.contains(candidate)) continue;
    const auto [first, last] = set.members[candidate];
    bool out = false;
    std::uint32_t best = kNoMatch;
    for (std::uint32_t i = first; i < last; ++i) {
      if (set.exhausted[i] != 0) {
        out = true;
        break;
      }
      const std::uint32_t d = comparison.distance(std::min(limit, best), set.tiles[i]->signature);
      best = std::min(best, d);
    }
    if (out || best == kNoMatch || best >= limit) continue;
    if (m_list.size() >= keep) {
      // Full: a new entry must beat the worst kept one, which then makes room.
      auto worst = std::prev(m_list.end());
      if (best >= worst->first) continue;
      m_list.erase(worst);
    }
    m_list.emplace(best, candidate);
    if (m_list.size() >= keep) limit = std::prev(m_list.end())->first;
  }
  updateGap();
}

bool CScoreTile::remove(std::uint32_t candidate) {
  for (auto it = m_list.begin(); it != m_list.end(); ++it) {
    if (it->second == candidate) {
      m_list.erase(it);
      updateGap();
      return true;
    }
  }
  return false;
}

void CScoreTile::updateGap() {
  if (m_list.size() < 2) {
    m_gap = 0;
    return;
  }
  auto it = m_list.begin();
  const std::uint32_t first = it->first;
  m_gap = (++it)->first - first;
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

namespace {

// Largest gap first; among equal gaps the earlier insertion first.
struct ByGap {
  bool operator()(const CScoreTile* a, const CScoreTile* b) const {
    if (a->queuedGap != b->queuedGap) return a->queuedGap > b->queuedGap;
    return a->order < b->order;
  }
};

class HighQualityRun {
 public:
  HighQualityRun(MatchingContext& context, bool groups)
      : m_context(context), m_job(context.job), m_groups(groups) {}

  bool run();

 private:
  void enqueue(CScoreTile& score) {
    score.queuedGap = score.gap();
    score.order = m_nextOrder++;
    m_queue.insert(&score);
  }
  void refresh(CScoreTile& score) {
    if (score.gap() == score.queuedGap) return;
    m_queue.erase(&score);
    enqueue(score);
  }
  void submitRebuild(JobGroup& group, CScoreTile& score) {
    group.submit(makeParallelJob(&score, &CScoreTile::rebuild, m_info));
  }
  void indexCandidates(CScoreTile& score) {
    for (const auto& [value, candidate] : score.candidates())
      m_holders[candidate].push_back(&score);
    score.touched = false;
  }
  // Takes `candidate` out of the lists of the waiting cells that hold it (all, or only those
  // within spacing of `placed`).
  void withdraw(std::uint32_t candidate, const PuzzleInfo* placed,
                std::vector<CScoreTile*>& shortLists) {
    std::vector<CScoreTile*>& holders = m_holders[candidate];
    std::vector<CScoreTile*> kept;
    for (CScoreTile* holder : holders) {
      if (holder->done) continue;
      if (placed != nullptr && !withinSpacing(*placed, holder->cell(), m_info.threshold)) {
        kept.push_back(holder);
        continue;
      }
      if (!holder->remove(candidate)) continue;
      holder->touched = true;
      if (holder->size() < 2) {
        if (m_queue.erase(holder) > 0) shortLists.push_back(holder);
      } else {
        refresh(*holder);
      }
    }
    holders.swap(kept);
  }
  FotoInfo* chooseTile(const CScoreTile& score, std::uint32_t candidate, std::uint32_t value,
                       std::uint32_t& index) const;

  MatchingContext& m_context;
  MosaicJob& m_job;
  bool m_groups;
  CandidateSet m_set;
  CScoreTile::RebuildInfo m_info;
  std::vector<std::unique_ptr<CScoreTile>> m_scores;
  std::set<CScoreTile*, ByGap> m_queue;
  std::vector<std::vector<CScoreTile*>> m_holders;
  std::uint64_t m_nextOrder = 0;
};

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

  const std::size_t n = grid.cells.size();
  m_job.beginStage(ProgressStage::Placement, 3.0 * static_cast<double>(n));
  const std::uint64_t entries = candidateBudget(m_context, m_set.tiles.size());
  const std::uint32_t firstCapacity = candidateCapacity(entries, n, n + 1);

  WorkerPool pool;
  pool.setThreadCount(m_job.threadCount > 1 ? m_job.threadCount - 1 : 0, m_job.workerPriority);
  JobGroup group(pool, true);
  const std::string analysing = tr("Analyzing Mosaic Tile#: %d of %d");
  int counted = 0;
  for (const auto& cell : grid.cells) {
    m_job.addProgress(2);
    m_job.setStatus(formatText(analysing, ++counted, static_cast<int>(n)));
    if (!cell || cell->active == 0 || cell->tile != nullptr) continue;
    m_scores.push_back(std::make_unique<CScoreTile>(*cell));
    m_scores.back()->capacity = std::max<std::uint32_t>(firstCapacity, 1);
    submitRebuild(group, *m_scores.back());
    if (m_job.stopRequested()) break;
  }
  group.waitIdle();
  if (m_job.stopRequested()) return false;
  for (const auto& score : m_scores) {
    indexCandidates(*score);
    enqueue(*score);
  }

  const std::string adding = tr("Adding Tile#: %d of %d");
  int placed = 0;
  std::vector<CScoreTile*> shortLists;
  while (!m_queue.empty()) {
    if (m_job.stopRequested()) return false;
    CScoreTile& score = **m_queue.begin();
    m_queue.erase(m_queue.begin());
    score.done = true;
    m_job.addProgress(1);
    if (score.empty()) continue;
    const auto [value, candidate] = score.best();
    std::uint32_t index = 0;
    FotoInfo* tile = chooseTile(score, candidate, value, index);
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
      m_context.setExhausted(*tile, true);
    }

    const std::uint64_t waiting = m_queue.size() + shortLists.size();
    const std::uint32_t capacity = candidateCapacity(entries, waiting, waiting);
    if (shortLists.empty()) continue;
    // Only lists that lost entries can come back different: a list that was never touched
    // already holds every candidate still allowed for its cell.
    for (CScoreTile* shortList : shortLists) {
      shortList->capacity = std::max<std::uint32_t>(capacity, 1);
      submitRebuild(group, *shortList);
    }
    group.waitIdle();
    for (CScoreTile* shortList : shortLists) {
      indexCandidates(*shortList);
      enqueue(*shortList);
    }
  }
  m_job.endStage();
  return true;
}

}  // namespace

bool placeHighQuality(MatchingContext& context, bool groups) {
  HighQualityRun run(context, groups);
  return run.run();
}

}  // namespace tg
