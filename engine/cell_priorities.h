// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace tg {

struct Foto;
struct FotoMask;
struct MatchingContext;

/// Which cells `Options.TilePriorityArea` favours.
enum class AreaPriority {
  Uniform,       ///< every cell alike (any unknown text, such as "average")
  Custom,        ///< "CUSTOM_PRIORITY": a grey priority map chosen by the user
  CenterWide,    ///< "CENTER_WIDE"
  CenterSmall,   ///< "CENTER_SMALL"
  CenterStrong,  ///< "CENTER_STRONG"
  Edge,          ///< "EDGE"
};

/// The area priority a setting text names (case is ignored). Pure.
[[nodiscard]] AreaPriority areaPriorityFromText(const std::string& text);

/// The cell weight of priority factor `factor` (1.0 neutral): trunc(20 x factor + 0.5) limited
/// to 1..255, so never 0. Pure.
[[nodiscard]] std::uint8_t priorityWeight(double factor);

/// The priority factor of the cell `box` (grid units) on a grid of `columns` x `rows` under
/// `mode` (`Uniform` and `Custom` give 1): from the cell's distance to the grid's centre, less
/// for cells touching the grid's border. Pure.
[[nodiscard]] double areaPriorityFactor(AreaPriority mode, const FotoMask& box,
                                        std::uint32_t columns, std::uint32_t rows);

/// The priority factor of the cell `box` from a priority map scaled by `sx`, `sy` map pixels per
/// grid unit: from the darkness of the map at the box's four corners, 12 for black, 0.06 for
/// white, about 1 for mid-grey. `map` must not be empty. Pure.
[[nodiscard]] double mapPriorityFactor(const Foto& map, double sx, double sy, const FotoMask& box);

/// Prepares the cells and tiles for a placement: every cell empty (no tile, score
/// `kNoScore`, unlocked); with `withPriorities` every cell's weight from
/// `Options.TilePriorityArea` (asking the user for the priority map through `userDialogs()` for
/// "CUSTOM_PRIORITY"); every tile unused and not exhausted, and the per-image limits read anew.
/// Shows "Initializing Mosaic..." as the job's status. Returns false, changing nothing, when
/// the list has no tile or the grid no cell, or when the priority map is needed but the user
/// cancels or it cannot be loaded (the loader tells the user why). Job thread.
[[nodiscard]] bool initializeCells(MatchingContext& context, bool withPriorities);

}  // namespace tg
