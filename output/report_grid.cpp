// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/report_grid.h"

#include <algorithm>

#include "geometry/cell_grid.h"
#include "geometry/puzzle_info.h"

namespace tg {

bool cellIsValid(const PuzzleInfo& cell) { return cell.active != 0; }

GridExtent gridExtent(const CellGrid& grid) {
  GridExtent extent;
  for (const auto& cell : grid.cells) {
    if (cell == nullptr || !cellIsValid(*cell) || cell->shape.area == 0) continue;
    extent.width = std::max(extent.width, std::int64_t{cell->shape.left} + cell->shape.width);
    extent.height = std::max(extent.height, std::int64_t{cell->shape.top} + cell->shape.height);
  }
  return extent;
}

}  // namespace tg
