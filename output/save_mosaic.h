// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace tg {

class MosaicJob;
struct CellGrid;
struct ComparisonSettings;
struct MosaicGeometry;

/// The background of a mosaic from `BorderColor` (0x00BBGGRR; a value below 0 is black) with
/// T = 255: borders show the colour while shaped tiles still composite over it.
[[nodiscard]] std::uint32_t mosaicBackground(long borderColor);

/// Renders and saves the mosaic of `grid` (after placement) for `job`: compacts the heap, resets
/// the tile-load failure count, builds the quick preview when `Options.MosaicFastPreview` is not
/// 0, and writes the mosaic of `geometry`'s size under `job.outputNames` (split when
/// `SplitMosaic` is set and a piece size was chosen; individual tiles into
/// `job.outputNames.tilesDirectory` when it is not empty), filling `job.savedPieces`. Rendering
/// runs on `job.threadCount` - 1 worker threads at `job.workerPriority` beside the job thread.
/// `greyTiles` turns the tile pictures grey (black-and-white lists). After a successful save the
/// user's mosaic counter grows. Job thread.
[[nodiscard]] bool saveMosaic(MosaicJob& job, CellGrid& grid, const MosaicGeometry& geometry,
                              bool greyTiles, const ComparisonSettings& comparison);
/// The same with the process-wide comparison settings.
[[nodiscard]] bool saveMosaic(MosaicJob& job, CellGrid& grid, const MosaicGeometry& geometry,
                              bool greyTiles);

}  // namespace tg
