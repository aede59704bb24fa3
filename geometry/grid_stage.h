// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>

#include "geometry/cell_grid.h"
#include "geometry/mosaic_geometry.h"

namespace tg {

class MosaicJob;

/// The geometry record and the cell grid of the mosaic being built, with the grid operations the
/// job driver calls through `MosaicStages`. The production stages object owns one and forwards
/// its geometry and grid calls here; the engine stages then work on `grid`. Job thread only,
/// except `computeGeometry`, which the window may also call while no job runs.
class GridStage {
 public:
  /// The geometry last computed.
  MosaicGeometry geometry;
  /// The cells of the current mosaic.
  CellGrid grid;

  /// True when the geometry last computed takes the cells from a mask file.
  [[nodiscard]] bool isMaskFileMode() const { return geometry.isMaskFileMode(); }
  /// Computes the geometry from `job.settings` and the size of `job.mainImage`. When it is not
  /// usable its message is shown and false returned.
  [[nodiscard]] bool computeGeometry(MosaicJob& job);
  /// Builds the grid from the regions of `maskFile` for the size of `job.mainImage`; the
  /// geometry's tile count becomes the number of cells. False when no cell was made.
  [[nodiscard]] bool buildCellsFromMask(MosaicJob& job, const std::string& maskFile);
  /// Builds the grid from `Pattern` and `TileAdapt` over the geometry, with the job's progress
  /// and stop flag. False when the main image has no pixels, the geometry carries a message
  /// (shown), or no cell was built (stopped, nothing to lay out).
  [[nodiscard]] bool buildCellGrid(MosaicJob& job);
  /// The number of cells in the grid.
  [[nodiscard]] std::size_t gridSize() const { return grid.size(); }
  /// Copies the grid's column and row counts into the geometry record.
  void copyGridSizeToGeometry();
  /// Deletes every cell; `releaseStorage` also gives the grid's storage back.
  void freeCells(bool releaseStorage) { grid.clear(releaseStorage); }
};

}  // namespace tg
