// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "geometry/units/quantity.h"
#include "job/mosaic_settings.h"

namespace tg {

/// The mosaic-size presets in list order. Labels are English catalogue texts (empty: the entry
/// is labelled by `formatSize`); -1 sides are placeholders the user overwrites. The three video
/// sizes are left out when `videoPresets` is false (no video support, or under Wine).
[[nodiscard]] std::vector<QuantityPreset<SizeValue>> mosaicSizePresets(bool videoPresets);
/// The resolution presets (25 .. 350 PPI and a placeholder).
[[nodiscard]] std::vector<QuantityPreset<Quantity>> resolutionPresets();
/// The tile-size presets (lengths, tile counts, tiles per row, pixels and placeholders).
[[nodiscard]] std::vector<QuantityPreset<Quantity>> tileSizePresets();
/// The border presets ("No Border", 1 .. 10 pixels and placeholders).
[[nodiscard]] std::vector<QuantityPreset<Quantity>> borderSizePresets();

/// Fills the preset lists of the four quantity parameters of `settings`; the video sizes are
/// offered only when `settings.videoAvailable` holds and the program does not run under Wine.
void installGeometryPresets(MosaicSettings& settings);

/// The index of the "MaskFile" preset in `mosaicSizePresets(videoPresets)`.
[[nodiscard]] std::size_t maskFilePresetIndex(bool videoPresets);

}  // namespace tg
