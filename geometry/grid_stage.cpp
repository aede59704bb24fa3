// SPDX-License-Identifier: GPL-3.0-or-later
#include "geometry/grid_stage.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "geometry/mask_cells.h"
#include "job/mosaic_job.h"
#include "platform/user_dialogs.h"

namespace tg {

bool GridStage::computeGeometry(MosaicJob& job) {
  if (computeMosaicGeometry(job.settings, job.mainImage.width, job.mainImage.height, geometry)) {
    return true;
  }
  showMessage(geometry.message);
  return false;
}

bool GridStage::buildCellsFromMask(MosaicJob& job, const std::string& maskFile) {
  grid.job = &job;
  const bool built =
      tg::buildCellsFromMask(grid, maskFile, job.mainImage.width, job.mainImage.height);
  geometry.tileCount = static_cast<std::uint32_t>(
      std::min<std::size_t>(grid.size(), std::numeric_limits<std::uint32_t>::max()));
  return built;
}

bool GridStage::buildCellGrid(MosaicJob& job) {
  grid.job = &job;
  if (job.mainImage.empty()) return false;
  if (!geometry.message.empty()) {
    showMessage(geometry.message);
    return false;
  }
  const bool built =
      tg::buildCellGrid(grid, job.settings.pattern.value, geometry, job.settings.tileAdapt.value);
  return built && !grid.empty();
}

void GridStage::copyGridSizeToGeometry() {
  geometry.columns = grid.columns;
  geometry.rows = grid.rows;
}

}  // namespace tg
