// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/tile_split.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "engine/cell_priorities.h"
#include "engine/matching_context.h"
#include "engine/tile_distance.h"
#include "geometry/cell_grid.h"
#include "job/mosaic_job.h"
#include "tiles/foto_info.h"

namespace tg {

namespace {

bool touchesBorder(const FotoMask& box, const CellGrid& grid) {
  return box.left == 0 || box.top == 0 ||
         box.left + box.width == static_cast<std::int64_t>(grid.columns) ||
         box.top + box.height == static_cast<std::int64_t>(grid.rows);
}

bool largeEnough(const PuzzleInfo& cell, std::uint32_t gap) {
  const std::int64_t least = std::int64_t{gap} + 10;
  return cell.shape.width >= least && cell.shape.height >= least;
}

// Splits `cell` in two and sets both parts' weights; nullptr when it cannot be split.
PuzzleInfo* splitInTwo(CellGrid& grid, PuzzleInfo& cell, const std::string& sizePriority) {
  PuzzleInfo* added = splitCell(grid, cell, grid.gap);
  if (added == nullptr) return nullptr;
  cell.weight = splitPartWeight(cell.weight, sizePriority);
  added->weight = cell.weight;
  return added;
}

}  // namespace

SplitSelection splitSelectionFromText(const std::string& text, bool customPriority) {
  const std::string token = upperToken(text);
  if (token == "QUALITY") return SplitSelection::Quality;
  if (token == "PRIORITY") return SplitSelection::Priority;
  if (token == "PRIORITY_AND_QUALITY") return SplitSelection::Merged;
  return customPriority ? SplitSelection::Priority : SplitSelection::Quality;
}

std::uint64_t splitKey(SplitSelection selection, std::uint32_t raw, std::uint32_t weight) {
  switch (selection) {
    case SplitSelection::Priority:
      return (std::uint64_t{weight} << 32) + raw;
    case SplitSelection::Merged:
      return static_cast<std::uint64_t>(std::trunc(
          std::sqrt(weight / 20.0) * (3 * std::sqrt(static_cast<double>(raw)) + 1) * 10000));
    default:
      return raw;
  }
}

std::uint8_t splitPartWeight(std::uint8_t weight, const std::string& sizePriority) {
  const std::string token = upperToken(sizePriority);
  double factor = 0;
  if (token == "LOWER") {
    factor = 0.75;
  } else if (token == "LOWEST") {
    factor = 0.5;
  } else if (token == "HIGHER") {
    factor = 1.25;
  } else {
    return weight;
  }
  return priorityWeight(weight / 20.0 * factor);
}

bool splitTiles(MatchingContext& context) {
  CellGrid& grid = context.grid;
  const MosaicSettings& settings = context.job.settings;
  if (grid.columns == 0 || grid.rows == 0) return false;

  std::vector<PuzzleInfo*> cells;
  for (const auto& cell : grid.cells) {
    if (cell) cells.push_back(cell.get());
  }
  const std::uint64_t n = cells.size();
  long halfPercent = settings.multiSize2.value;
  long quarterPercent = settings.multiSize4.value;
  if (halfPercent > 15 || quarterPercent > 15) halfPercent = quarterPercent = 0;
  std::uint64_t quarters =
      quarterPercent > 0 ? static_cast<std::uint64_t>(quarterPercent) * n / 100 : 0;
  std::uint64_t halves = halfPercent > 0 ? static_cast<std::uint64_t>(halfPercent) * n / 100 : 0;
  if (quarters == 0 && halves == 0) return false;

  const AdvancedSettings& advanced = settings.advanced;
  const bool customPriority =
      areaPriorityFromText(advanced.rowValue(AdvancedRow::TilePriorityArea)) ==
      AreaPriority::Custom;
  const SplitSelection selection =
      splitSelectionFromText(advanced.rowValue(AdvancedRow::TileSplit), customPriority);
  const std::string& sizePriority = advanced.rowValue(AdvancedRow::TilePrioritySize);

  std::vector<std::pair<std::uint64_t, PuzzleInfo*>> keyed;
  for (PuzzleInfo* cell : cells) {
    if (cell->active == 0 || !largeEnough(*cell, grid.gap)) continue;
    const std::uint32_t raw =
        cell->tile != nullptr ? rawDistance(context.comparison, *cell, *cell->tile) : kNoMatch;
    std::uint64_t key = splitKey(selection, raw, cell->weight);
    if (!customPriority && touchesBorder(cell->shape, grid)) key >>= 2;
    keyed.emplace_back(key, cell);
  }
  // Ascending keys, equal keys in container order; the walk below runs from the end.
  std::stable_sort(keyed.begin(), keyed.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });

  bool split = false;
  for (auto entry = keyed.rbegin(); entry != keyed.rend() && halves + quarters > 0; ++entry) {
    PuzzleInfo& cell = *entry->second;
    if (!largeEnough(cell, grid.gap)) continue;
    PuzzleInfo* other = splitInTwo(grid, cell, sizePriority);
    if (other == nullptr) continue;
    split = true;
    if (quarters > 0) {
      --quarters;
      (void)splitInTwo(grid, cell, sizePriority);
      (void)splitInTwo(grid, *other, sizePriority);
    } else {
      --halves;
    }
  }
  return split;
}

}  // namespace tg
