// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "geometry/puzzle_info.h"
#include "imaging/foto.h"

namespace tg {

class MosaicJob;
struct ComparisonSettings;

/// The long side of the preview for a grid of `cellCount` cells: 300 up to 500 cells, 500 up to
/// 2000, 1000 up to 5000, 1400 up to 7999, 1600 up to 13,999; 0 (no preview) from 14,000 on.
[[nodiscard]] std::uint32_t previewBudget(std::size_t cellCount);

/// Composes a coarse preview of the mosaic of `width` x `height` pixels from the tile signatures
/// alone (no tile file is read): every cell with a tile gets its tile's 12 x 12 thumbnail,
/// prepared like the real cell and blend-pasted at its scaled place over `background`. Shows
/// "Build Preview..." as the job's status. Returns the preview, or nothing for a mosaic of 10
/// pixels or less a side, an empty grid, 14,000 cells or more, a preview side of 10 pixels or
/// less, a stop, or when no more than half of the cells could be pasted. Job thread.
[[nodiscard]] std::unique_ptr<Foto> composePreview(MosaicJob& job,
                                                   std::span<PuzzleInfo* const> cells,
                                                   std::uint32_t width, std::uint32_t height,
                                                   Pixel background,
                                                   const ComparisonSettings& comparison);

/// `composePreview`, posting the result to the window with the caption "Mosaic Preview".
void buildPreview(MosaicJob& job, std::span<PuzzleInfo* const> cells, std::uint32_t width,
                  std::uint32_t height, Pixel background, const ComparisonSettings& comparison);

}  // namespace tg
