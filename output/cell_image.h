// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>

#include "geometry/puzzle_info.h"
#include "imaging/foto.h"
#include "imaging/image_signature.h"

namespace tg {

struct ComparisonSettings;

/// Turns a loaded tile picture into the picture of one cell of `width` x `height`: the variant
/// that the placement scored (`bestVariant` of the two signatures, without limit), a centred crop
/// to the cell's aspect (to the turned aspect for the quarter-turn variants), the scaling, the
/// turn, the colour shift towards the cell (when `shiftLimit` > 0) and the blend towards the
/// 12 x 12 thumbnail of the cell's signature (when `blendStrength` > 0). When `record` is given it
/// receives the offsets, the variant and both rotated flags.
///
/// Returns a new image and leaves `tile` alone; nothing when no variant is allowed, when the
/// response is unknown, or when memory runs out (the out-of-memory message is then shown). Pure
/// apart from `record`; any number of threads may prepare cells from one shared tile picture.
[[nodiscard]] std::unique_ptr<Foto> prepareCellImage(const Foto& tile,
                                                     const ImageSignature& cellSignature,
                                                     const ImageSignature& tileSignature,
                                                     CellRenderInfo* record, std::uint32_t width,
                                                     std::uint32_t height,
                                                     const ComparisonSettings& settings);

/// The same working in place on `image` (the preview's thumbnails). On failure `image` may be
/// left cropped and scaled but not turned; callers then drop it.
[[nodiscard]] bool prepareCellImageInPlace(Foto& image, const ImageSignature& cellSignature,
                                           const ImageSignature& tileSignature,
                                           CellRenderInfo* record, std::uint32_t width,
                                           std::uint32_t height,
                                           const ComparisonSettings& settings);

/// Moves every pixel of `image` towards the bilinearly sampled thumbnail of `cellSignature`
/// (centred crop of the 12 x 12 thumbnail to the image's aspect) with strength `strength`
/// (0-255), weighting the thumbnail by its opacity; T stays. Does nothing when the image is
/// smaller than the cropped thumbnail.
void blendTowardsThumbnail(Foto& image, const ImageSignature& cellSignature,
                           std::uint32_t strength);
/// The same one channel at a time: the plain form `blendTowardsThumbnail` must match bit for
/// bit. For tests and benchmarks.
void blendTowardsThumbnailReference(Foto& image, const ImageSignature& cellSignature,
                                    std::uint32_t strength);

}  // namespace tg
