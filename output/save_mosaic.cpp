// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/save_mosaic.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "config/advanced_settings.h"
#include "config/user_values.h"
#include "engine/comparison_settings.h"
#include "geometry/cell_grid.h"
#include "geometry/mosaic_geometry.h"
#include "job/mosaic_job.h"
#include "job/mosaic_settings.h"
#include "output/jpg_mosaic_save.h"
#include "output/mosaic_preview.h"
#include "platform/memory_block.h"
#include "video/tile_picture.h"

namespace tg {

namespace {

// The value of an advanced row, or its factory default when the configuration never filled it.
long advancedNumber(const AdvancedSettings& advanced, AdvancedRow which) {
  const auto& row = advanced.row(static_cast<std::size_t>(which));
  return advancedTextToLong(row.value.empty() ? row.factoryDefault : row.value);
}

}  // namespace

std::uint32_t mosaicBackground(long borderColor) {
  const auto rgb = borderColor < 0 ? 0u : static_cast<std::uint32_t>(borderColor) & 0x00FFFFFFu;
  return rgb | 0xFF000000u;
}

bool saveMosaic(MosaicJob& job, CellGrid& grid, const MosaicGeometry& geometry, bool greyTiles,
                const ComparisonSettings& comparison) {
  compactHeap();
  resetTileLoadFailures();
  std::vector<PuzzleInfo*> cells;
  cells.reserve(grid.cells.size());
  for (const auto& cell : grid.cells) {
    if (cell) cells.push_back(cell.get());
  }
  const MosaicSettings& settings = job.settings;
  const Pixel background = mosaicBackground(settings.borderColor.value);
  if (advancedNumber(settings.advanced, AdvancedRow::MosaicFastPreview) != 0) {
    buildPreview(job, cells, geometry.mosaicWidth, geometry.mosaicHeight, background, comparison);
  }

  JPGMosaicSave renderer(job, cells, comparison, background);
  renderer.startWorkers(job.threadCount > 1 ? job.threadCount - 1 : 0, job.workerPriority);

  SavePiecesRequest request;
  request.base = job.outputNames.base;
  request.format = outputFormatFromSettings(settings);
  request.width = geometry.mosaicWidth;
  request.height = geometry.mosaicHeight;
  if (settings.splitMosaic.value) {
    request.splitWidth = settings.splitPieceWidth;
    request.splitHeight = settings.splitPieceHeight;
  }
  request.resolution =
      geometry.ppi > 0 && geometry.ppi < 4294967295.0 ? static_cast<unsigned>(geometry.ppi) : 0u;
  request.loadSize = 2 * std::max(geometry.tileWidth, geometry.tileHeight);
  request.greyTiles = greyTiles;
  request.tilesFolder = job.outputNames.tilesDirectory;

  const bool saved = renderer.savePieces(request, job.savedPieces);
  // The counter is a courtesy to the user; a configuration that cannot be written must not turn
  // a saved mosaic into a failed one.
  if (saved) (void)countCreatedMosaic();
  return saved;
}

bool saveMosaic(MosaicJob& job, CellGrid& grid, const MosaicGeometry& geometry, bool greyTiles) {
  return saveMosaic(job, grid, geometry, greyTiles, comparisonSettings());
}

}  // namespace tg
