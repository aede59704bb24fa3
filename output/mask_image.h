// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/foto.h"
#include "job/mosaic_stages.h"

namespace tg {

struct CellGrid;
struct MatchingContext;

/// The smallest and largest number of pixels a mask or score image may have.
inline constexpr std::uint64_t kMaskImageMinPixels = 101;
inline constexpr std::uint64_t kMaskImageMaxPixels = 400000000;

/// The colour of a mask image's next cell after `colour`: `colour` lowered by `step` (as often as
/// needed, at least once) until it is neither near white nor near black (the squared distance of
/// its R, G and B bytes from 255,255,255 and from 0,0,0 each more than 192). Only the low 24
/// bits count as the colour. Pure function.
[[nodiscard]] std::uint32_t nextMaskColour(std::uint32_t colour, std::uint32_t step);

/// The grey level of a cell with `score` in a score image whose scores run from `smallest` to
/// `largest`: 249 for the best match down to 6 for the worst. Pure function.
[[nodiscard]] std::uint32_t scoreLevel(std::uint32_t score, std::uint32_t smallest,
                                       std::uint32_t largest);

/// Builds the mask image of `grid` (or with `scoreMode` its score image) at the size of the
/// grid's extent, in grid units. The mask image is white with every valid cell painted, through
/// its shape, in a colour of its own averaged with the white beneath, so that neighbouring cells
/// differ and the borders stay white; such a picture can be read back as a MaskFile. The score
/// image is black with every valid cell in the grey of `scoreLevel`; a cell without a tile shows
/// the darkest grey, and the scores of empty cells do not stretch the scale of the others.
///
/// Returns nothing when the extent has fewer than `kMaskImageMinPixels` or more than
/// `kMaskImageMaxPixels` pixels (no message), or when memory runs out (the out-of-memory
/// message shown). Job thread.
[[nodiscard]] std::unique_ptr<Foto> buildMaskImage(const CellGrid& grid, bool scoreMode);

/// The mask-file stage of a job: builds the mask (or score) image of `grid` and writes it to
/// every target in order (JPEG at its quality, or BMP), then frees it. False when the image
/// cannot be built or a file cannot be written (the writer's message shown); the other targets
/// are still written. Job thread.
[[nodiscard]] bool writeMaskImageFiles(const CellGrid& grid, bool scoreMode,
                                       const std::vector<MaskImageTarget>& targets);

/// The same for the grid of `context`, in the form of `ProductionStages::MaskImageHook`.
[[nodiscard]] bool writeMaskImageStage(MatchingContext& context, bool scoreMode,
                                       const std::vector<MaskImageTarget>& targets);

}  // namespace tg
