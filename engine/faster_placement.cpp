// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/faster_placement.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
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

bool buildNeighbourLists(MatchingContext& context) {
  MosaicJob& job = context.job;
  CellGrid& grid = context.grid;
  for (const auto& cell : grid.cells) {
    if (cell) cell->neighbours.clear();
  }
  const MosaicSettings& settings = job.settings;
  if (settings.duplicateSpacing.value < 2 || settings.consecutiveFrames.value <= 0) return true;
  const std::uint64_t threshold = spacingThreshold(grid, settings.duplicateSpacing.value);

  job.beginStage(ProgressStage::NeighbourLists, static_cast<double>(grid.cells.size()));
  job.setStatus(tr("Calculating Tile Distance..."));
  // Cells sorted by their top edge: the cells within reach of one lie in a window around it.
  std::vector<std::size_t> byTop;
  for (std::size_t i = 0; i < grid.cells.size(); ++i) {
    if (grid.cells[i]) byTop.push_back(i);
  }
  std::stable_sort(byTop.begin(), byTop.end(), [&](std::size_t a, std::size_t b) {
    return grid.cells[a]->shape.top < grid.cells[b]->shape.top;
  });
  std::vector<std::size_t> position(grid.cells.size(), 0);
  for (std::size_t k = 0; k < byTop.size(); ++k) position[byTop[k]] = k;

  std::vector<std::size_t> found;
  for (std::size_t i = 0; i < grid.cells.size(); ++i) {
    job.addProgress(1);
    if (job.stopRequested()) return false;
    PuzzleInfo* cell = grid.cells[i].get();
    if (cell == nullptr) continue;
    found.clear();
    const auto reaches = [&](std::size_t k) {
      const std::int64_t dt = std::int64_t{grid.cells[byTop[k]]->shape.top} - cell->shape.top;
      return static_cast<std::uint64_t>(dt * dt) < threshold;
    };
    for (std::size_t k = position[i]; k-- > 0 && reaches(k);) {
      if (withinSpacing(*cell, *grid.cells[byTop[k]], threshold)) found.push_back(byTop[k]);
    }
    for (std::size_t k = position[i] + 1; k < byTop.size() && reaches(k); ++k) {
      if (withinSpacing(*cell, *grid.cells[byTop[k]], threshold)) found.push_back(byTop[k]);
    }
    std::sort(found.begin(), found.end());
    cell->neighbours.reserve(found.size());
    for (const std::size_t index : found) cell->neighbours.push_back(grid.cells[index].get());
  }
  job.endStage();
  return true;
}

namespace {

std::uint32_t sequenceGap(std::uint32_t a, std::uint32_t b) { return a > b ? a - b : b - a; }

class FasterRun {
 public:
  explicit FasterRun(MatchingContext& context)
      : m_context(context),
        m_job(context.job),
        m_tiles(placementTiles(context.list)),
        m_frames(
            static_cast<std::uint32_t>(std::max(0L, context.job.settings.consecutiveFrames.value))),
        m_threshold(spacingThreshold(context.grid, context.job.settings.duplicateSpacing.value)) {}

  bool run();

 private:
  bool usable(const PuzzleInfo* cell) const {
    return cell != nullptr && cell->active != 0 && cell->locked == 0;
  }
  bool done(const FotoInfo& tile) const { return m_context.exhausted(tile); }
  void clearDone(FotoInfo& tile) {
    if (!done(tile)) return;
    m_context.setExhausted(tile, false);
    --m_done;
  }
  void releaseOne(FotoInfo* tile) {
    if (tile == nullptr) return;
    if (tile->useCount > 0) --tile->useCount;
    clearDone(*tile);
  }
  bool inSequenceReach(const FotoInfo* held, std::uint32_t sequence) const {
    return held != nullptr && held->groupId != 0 &&
           sequenceGap(held->groupId, sequence) <= m_frames;
  }

  void placeInSequence(FotoInfo& tile);
  void placeWithDuplicates(FotoInfo& tile);
  void placeOnce(FotoInfo& tile);

  MatchingContext& m_context;
  MosaicJob& m_job;
  std::vector<FotoInfo*> m_tiles;
  std::uint32_t m_frames;
  std::uint64_t m_threshold;
  std::size_t m_done = 0;
  std::unordered_multimap<std::uint32_t, FotoInfo*> m_bySequence;
};

void FasterRun::placeInSequence(FotoInfo& tile) {
  const std::uint32_t sequence = tile.groupId;
  CellGrid& grid = m_context.grid;
  // A frame is visited again when a frame near it was placed, so that one pushed out of its cell
  // gets another chance. One that still holds as many cells as it may (one with consecutive
  // frames) may only move: to a cell where it scores better than in the worst cell it holds,
  // which is then emptied. Placing it once more would show it twice. (Without spacing its own
  // cell is among those that refuse it and are emptied, so it moves the same way there.)
  PuzzleInfo* leaving = nullptr;
  if (tile.useCount >= m_context.useLimit(tile)) {
    for (const auto& cell : grid.cells) {
      if (cell && cell->tile == &tile && (leaving == nullptr || cell->score > leaving->score)) {
        leaving = cell.get();
      }
    }
    if (leaving == nullptr || leaving->locked != 0) return;
  }
  // Without spacing every other cell counts as a neighbour: the two best holders of a frame near
  // this one answer "is there one other than the candidate".
  struct Holder {
    std::uint32_t score = kNoScore;
    const PuzzleInfo* cell = nullptr;
  };
  Holder first;
  Holder second;
  if (sequence != 0 && m_threshold == 0) {
    for (const auto& other : grid.cells) {
      if (!other || !inSequenceReach(other->tile, sequence)) continue;
      const Holder held{other->score, other.get()};
      if (first.cell == nullptr || held.score < first.score) {
        second = first;
        first = held;
      } else if (second.cell == nullptr || held.score < second.score) {
        second = held;
      }
    }
  }
  const auto refused = [&](const PuzzleInfo& cell, std::uint32_t score) {
    if (sequence == 0) return false;
    if (m_threshold == 0) {
      const Holder& other = first.cell != &cell ? first : second;
      return other.cell != nullptr && other.score <= score;
    }
    for (const PuzzleInfo* neighbour : cell.neighbours) {
      if (inSequenceReach(neighbour->tile, sequence) && neighbour->score <= score) return true;
    }
    return false;
  };

  PuzzleInfo* chosen = nullptr;
  std::uint32_t best = leaving != nullptr ? leaving->score : kNoMatch;
  for (const auto& cell : grid.cells) {
    if (!usable(cell.get())) continue;
    const std::uint32_t limit = std::min(best, cell->score);
    const std::uint32_t d = tileDistance(m_context.comparison, limit, *cell, tile);
    if (d == kNoMatch || d >= best || d >= cell->score) continue;
    if (refused(*cell, d)) continue;
    chosen = cell.get();
    best = d;
  }
  if (chosen == nullptr) return;
  if (leaving != nullptr) {
    leaving->tile = nullptr;
    leaving->score = kNoScore;
    --tile.useCount;
  }
  releaseOne(chosen->tile);
  chosen->tile = &tile;
  chosen->score = best;
  ++tile.useCount;
  if (sequence == 0) return;
  const auto emptyIfNear = [&](PuzzleInfo& other) {
    if (&other == chosen || !inSequenceReach(other.tile, sequence)) return;
    FotoInfo* held = other.tile;
    other.tile = nullptr;
    other.score = kNoScore;
    releaseOne(held);
  };
  if (m_threshold == 0) {
    for (const auto& other : grid.cells) {
      if (other) emptyIfNear(*other);
    }
  } else {
    for (PuzzleInfo* neighbour : chosen->neighbours) emptyIfNear(*neighbour);
  }
  // Frames near this one may now fit where they were pushed out: they are visited again.
  const std::uint64_t span = 2 * std::uint64_t{m_frames} + 1;
  if (span > m_bySequence.size()) {
    for (const auto& [q, other] : m_bySequence) {
      if (other != &tile && sequenceGap(q, sequence) <= m_frames) clearDone(*other);
    }
    return;
  }
  const std::uint64_t low = sequence > m_frames ? sequence - m_frames : 1;
  for (std::uint64_t q = low; q <= std::uint64_t{sequence} + m_frames; ++q) {
    const auto [from, to] = m_bySequence.equal_range(static_cast<std::uint32_t>(q));
    for (auto it = from; it != to; ++it) {
      if (it->second != &tile) clearDone(*it->second);
    }
  }
}

void FasterRun::placeWithDuplicates(FotoInfo& tile) {
  struct Option {
    std::uint32_t score;
    PuzzleInfo* cell;
  };
  std::vector<Option> options;
  for (const auto& cell : m_context.grid.cells) {
    if (!usable(cell.get())) continue;
    const FotoInfo* held = cell->tile;
    const std::uint32_t present = held == &tile ? 0 : cell->score;
    if (present == 0) continue;
    // A required picture that holds only this cell is not pushed out by an ordinary one.
    if (held != nullptr && held->required != 0 && held->useCount == 1 && tile.required == 0) {
      continue;
    }
    const std::uint32_t d = tileDistance(m_context.comparison, present, *cell, tile);
    if (d != kNoMatch && d < present) options.push_back({d, cell.get()});
  }
  std::stable_sort(options.begin(), options.end(),
                   [](const Option& a, const Option& b) { return a.score < b.score; });

  // The cells holding the tile: a new place must keep its distance from all of them.
  std::vector<const PuzzleInfo*> holders;
  if (m_threshold > 0) {
    for (const auto& cell : m_context.grid.cells) {
      if (cell && cell->tile == &tile) holders.push_back(cell.get());
    }
  }
  const std::uint32_t limit = m_context.useLimit(tile);
  for (const Option& option : options) {
    PuzzleInfo& cell = *option.cell;
    if (cell.tile == &tile) continue;
    if (tile.useCount >= limit) break;
    if (m_threshold > 0 && std::any_of(holders.begin(), holders.end(), [&](const PuzzleInfo* h) {
          return withinSpacing(*h, cell, m_threshold);
        })) {
      continue;
    }
    releaseOne(cell.tile);
    cell.tile = &tile;
    cell.score = option.score;
    ++tile.useCount;
    if (m_threshold > 0) holders.push_back(&cell);
  }
}

void FasterRun::placeOnce(FotoInfo& tile) {
  if (tile.useCount != 0) return;
  const bool required = tile.required != 0;
  PuzzleInfo* chosen = nullptr;
  std::uint32_t best = kNoMatch;
  for (const auto& cell : m_context.grid.cells) {
    if (!usable(cell.get())) continue;
    const std::uint32_t limit = required ? best : std::min(best, cell->score);
    const std::uint32_t d = tileDistance(m_context.comparison, limit, *cell, tile);
    if (d == kNoMatch || d >= best || (!required && d >= cell->score)) continue;
    chosen = cell.get();
    best = d;
  }
  if (chosen == nullptr) return;
  if (FotoInfo* previous = chosen->tile; previous != nullptr) {
    previous->useCount = 0;
    clearDone(*previous);
  }
  chosen->tile = &tile;
  chosen->score = best;
  tile.useCount = 1;
  if (required) chosen->locked = 1;
}

bool FasterRun::run() {
  if (m_frames > 0 && !buildNeighbourLists(m_context)) return false;
  for (FotoInfo* tile : m_tiles) {
    if (done(*tile)) ++m_done;
    if (tile->groupId != 0) m_bySequence.emplace(tile->groupId, tile);
  }
  const bool once = m_context.maxUse() == 1 && m_context.imageLimits.empty();
  m_job.beginStage(ProgressStage::Placement, static_cast<double>(m_tiles.size()));
  const std::string status = tr("Tile: %s...");
  std::size_t shown = 0;
  for (int pass = 0; pass < 2 && m_done < m_tiles.size(); ++pass) {
    for (FotoInfo* tile : m_tiles) {
      if (m_done >= m_tiles.size()) break;
      if (done(*tile)) continue;
      if (m_job.stopRequested()) return false;
      const std::size_t slash = tile->path.find_last_of('/');
      const std::string name =
          slash == std::string::npos ? tile->path : tile->path.substr(slash + 1);
      m_job.setStatus(formatText(status, name.c_str()));
      if (m_done > shown) {
        m_job.addProgress(static_cast<std::uint32_t>(m_done - shown));
        shown = m_done;
      }
      if (m_frames > 0) {
        placeInSequence(*tile);
      } else if (once) {
        placeOnce(*tile);
      } else {
        placeWithDuplicates(*tile);
      }
      if (!done(*tile)) {
        m_context.setExhausted(*tile, true);
        ++m_done;
      }
    }
  }
  m_job.endStage();
  return true;
}

}  // namespace

bool placeFaster(MatchingContext& context) {
  FasterRun run(context);
  return run.run();
}

}  // namespace tg
