// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/mosaic_preview.h"

#include <algorithm>
#include <cstdint>
#include <memory>

#include "imaging/image_signature.h"
#include "job/mosaic_job.h"
#include "output/cell_image.h"
#include "platform/catalogue.h"
#include "tiles/foto_info.h"

namespace tg {

std::uint32_t previewBudget(std::size_t cellCount) {
  if (cellCount <= 500) return 300;
  if (cellCount <= 2000) return 500;
  if (cellCount <= 5000) return 1000;
  if (cellCount <= 7999) return 1400;
  if (cellCount <= 13999) return 1600;
  return 0;
}

std::unique_ptr<Foto> composePreview(MosaicJob& job, std::span<PuzzleInfo* const> cells,
                                     std::uint32_t width, std::uint32_t height, Pixel background,
                                     const ComparisonSettings& comparison) {
  if (width <= 10 || height <= 10 || cells.empty()) return nullptr;
  const std::uint32_t budget = previewBudget(cells.size());
  if (budget == 0) return nullptr;
  const double scale = std::min(static_cast<double>(budget) / width, 0.8 * budget / height);
  const auto previewW = static_cast<std::uint32_t>(scale * width);
  const auto previewH = static_cast<std::uint32_t>(scale * height);
  if (previewW <= 10 || previewH <= 10) return nullptr;

  job.setStatus(tr("Build Preview..."));
  std::unique_ptr<Foto> preview = newCleared(previewW, previewH);
  if (!preview) return nullptr;
  preview->fill((background & 0x00FFFFFFu) | 0xFF000000u);

  std::size_t pasted = 0;
  for (const PuzzleInfo* cell : cells) {
    if (job.stopRequested()) return nullptr;
    if (cell == nullptr || cell->tile == nullptr) continue;
    const auto cellW = static_cast<std::uint32_t>(std::max(0.0, cell->shape.width * scale));
    const auto cellH = static_cast<std::uint32_t>(std::max(0.0, cell->shape.height * scale));
    if (cellW == 0 || cellH == 0) continue;
    std::unique_ptr<Foto> thumbnail = signatureThumbnail(cell->tile->signature);
    if (!thumbnail || !prepareCellImageInPlace(*thumbnail, cell->signature, cell->tile->signature,
                                               nullptr, cellW, cellH, comparison)) {
      continue;
    }
    if (paste(*thumbnail, *preview, static_cast<std::int64_t>(cell->shape.left * scale),
              static_cast<std::int64_t>(cell->shape.top * scale), kPasteBlend)) {
      ++pasted;
    }
  }
  if (pasted * 2 <= cells.size()) return nullptr;
  return preview;
}

void buildPreview(MosaicJob& job, std::span<PuzzleInfo* const> cells, std::uint32_t width,
                  std::uint32_t height, Pixel background, const ComparisonSettings& comparison) {
  std::unique_ptr<Foto> preview = composePreview(job, cells, width, height, background, comparison);
  if (preview) job.postPreview(std::move(preview), tr("Mosaic Preview"));
}

}  // namespace tg
