// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace tg {

struct MatchingContext;

/// How `Options.TileSplit` picks the cells to split.
enum class SplitSelection {
  Quality,   ///< the worst matches first
  Priority,  ///< the heaviest cells first, then the worst matches
  Merged,    ///< both, weighed together
};

/// The selection a `Options.TileSplit` text names (case is ignored): "QUALITY", "PRIORITY",
/// "PRIORITY_AND_QUALITY"; any other text (such as "auto") chooses quality, or priority when
/// `customPriority` (a priority map is in use). Pure.
[[nodiscard]] SplitSelection splitSelectionFromText(const std::string& text, bool customPriority);

/// The ordering key of a cell with raw distance `raw` (`kNoMatch` for an empty cell) and
/// `weight`: larger keys are split first. Pure.
[[nodiscard]] std::uint64_t splitKey(SplitSelection selection, std::uint32_t raw,
                                     std::uint32_t weight);

/// The scaled weight of a part of a split cell: the weight rule applied to weight / 20 x the
/// factor of `Options.TilePrioritySize` ("LOWER" 0.75, "LOWEST" 0.5, "HIGHER" 1.25; any other
/// text keeps the weight). Pure.
[[nodiscard]] std::uint8_t splitPartWeight(std::uint8_t weight, const std::string& sizePriority);

/// Splits the cells that most need it into halves and quarters after the first placement.
/// `MultiSize4` and `MultiSize2` give the percentages of the cells to cut in four and in two
/// (both ignored when either exceeds 15). Cells at least gap + 10 units wide and high are
/// ordered by `splitKey` (border cells count a quarter unless a priority map is in use) and
/// split from the largest key down, quarter splits first, through `splitCell` with the grid's
/// gap; the parts' weights follow `Options.TilePrioritySize`. The new cells need a main image
/// analysis (their signatures are invalid). Returns true when at least one cell was split.
/// Job thread.
[[nodiscard]] bool splitTiles(MatchingContext& context);

}  // namespace tg
