// SPDX-License-Identifier: GPL-3.0-or-later
#include "geometry/cell_grid.h"

namespace tg {

PuzzleInfo& CellGrid::append() {
  cells.push_back(std::make_unique<PuzzleInfo>());
  return *cells.back();
}

void CellGrid::clear(bool releaseStorage) {
  cells.clear();
  if (releaseStorage) cells.shrink_to_fit();
}

}  // namespace tg
