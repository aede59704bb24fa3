// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace tg {

struct CellGrid;
struct PuzzleInfo;

/// The part of a grid its cells really cover, in grid units.
struct GridExtent {
  std::int64_t width = 0;   ///< largest right edge (left + width)
  std::int64_t height = 0;  ///< largest bottom edge (top + height)
};

/// True when `cell` took part in the analysis of the main image (its active flag is set).
[[nodiscard]] bool cellIsValid(const PuzzleInfo& cell);

/// The largest right and bottom edges over the valid cells of `grid` with a non-zero area;
/// 0 x 0 when there is none. Null entries are passed over. Pure function.
[[nodiscard]] GridExtent gridExtent(const CellGrid& grid);

}  // namespace tg
