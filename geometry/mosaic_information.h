// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "geometry/mosaic_geometry.h"
#include "geometry/pattern_layout.h"
#include "geometry/units/quantity.h"

namespace tg {

struct MosaicSettings;

/// The estimated size in bytes of a mosaic of `pixelCount` pixels saved in `settings`'
/// `FileFormat` (with `JPGQuality`, `OutputTransparency`, `OutputLayers`); `previewCells` is the
/// cell count of the pattern preview (layered Photoshop files). Nothing for the video formats
/// and unknown formats.
[[nodiscard]] std::optional<double> estimatedFileSize(const MosaicSettings& settings,
                                                      std::uint64_t pixelCount,
                                                      std::uint64_t previewCells);

/// The lines of the mosaic information text for `geometry`, with lengths and areas shown in
/// `displayUnit` (pixels, inches, cm or tiles): maximum size, main image, final mosaic (or
/// "Using Mask File"), file size, tile size, border, resolution, tile pattern and tile count.
/// With `preview` (the pattern preview laid out by the window) the tile size and pattern lines
/// describe the preview's largest cell and its columns and rows. Texts come from the catalogue.
/// Any thread.
[[nodiscard]] std::vector<std::string> mosaicInformationLines(
    const MosaicGeometry& geometry, const MosaicSettings& settings, UnitId displayUnit,
    const PatternLayout* preview = nullptr);

}  // namespace tg
