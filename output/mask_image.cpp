// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/mask_image.h"

#include <algorithm>
#include <limits>

#include "engine/matching_context.h"
#include "geometry/cell_grid.h"
#include "geometry/puzzle_info.h"
#include "output/bmp_writer.h"
#include "output/jpeg_writer.h"
#include "output/report_grid.h"

namespace tg {

namespace {

constexpr std::uint32_t kFirstMaskColour = 0xFFB4FF;
constexpr std::uint32_t kSmallestColourStep = 193;
constexpr std::uint32_t kNearColour = 192;
constexpr Pixel kOpaqueWhite = 0x00FFFFFF;
constexpr std::uint32_t kBestLevel = 249;
constexpr std::uint32_t kLevelRange = 243;

Pixel opaqueColour(std::uint32_t colour) {
  return makePixel(colour & 0xFFu, (colour >> 8) & 0xFFu, (colour >> 16) & 0xFFu, 0);
}

// A new image of the grid's extent filled with `background`, or nothing (size out of range, no
// memory: the message of `Foto::create`).
std::unique_ptr<Foto> newCanvas(const CellGrid& grid, Pixel background) {
  const GridExtent extent = gridExtent(grid);
  const auto pixels =
      static_cast<std::uint64_t>(extent.width) * static_cast<std::uint64_t>(extent.height);
  if (pixels < kMaskImageMinPixels || pixels > kMaskImageMaxPixels) return nullptr;
  auto image = std::make_unique<Foto>();
  if (!image->create(static_cast<std::uint32_t>(extent.width),
                     static_cast<std::uint32_t>(extent.height))) {
    return nullptr;
  }
  image->fill(background);
  return image;
}

// Blend-pastes the cell's shape in `colour` at its place; false when memory ran out.
bool paintCell(Foto& image, const PuzzleInfo& cell, Pixel colour) {
  if (cell.shape.area == 0) return true;
  const auto shape = toFoto(cell.shape, colour);
  if (!shape) return false;
  (void)paste(*shape, image, cell.shape.left, cell.shape.top, kPasteBlend);
  return true;
}

}  // namespace

std::uint32_t nextMaskColour(std::uint32_t colour, std::uint32_t step) {
  const auto nearWhite = [](Pixel p) { return colourDistance(p, kOpaqueWhite) <= kNearColour; };
  const auto nearBlack = [](Pixel p) { return colourDistance(p, 0) <= kNearColour; };
  do {
    colour -= step;
  } while (nearWhite(opaqueColour(colour)) || nearBlack(opaqueColour(colour)));
  return colour;
}

std::uint32_t scoreLevel(std::uint32_t score, std::uint32_t smallest, std::uint32_t largest) {
  if (largest <= smallest || score <= smallest) return kBestLevel;
  const std::uint64_t g =
      std::uint64_t{score - smallest} * kLevelRange / std::uint64_t{largest - smallest};
  return kBestLevel - static_cast<std::uint32_t>(std::min<std::uint64_t>(g, kLevelRange));
}

std::unique_ptr<Foto> buildMaskImage(const CellGrid& grid, bool scoreMode) {
  auto image = newCanvas(grid, scoreMode ? kTransparentBlack : kOpaqueWhite);
  if (!image) return nullptr;

  if (!scoreMode) {
    const std::uint64_t divisor = grid.cells.size() + 100;
    const auto step = std::max<std::uint32_t>(
        static_cast<std::uint32_t>(kFirstMaskColour / divisor), kSmallestColourStep);
    std::uint32_t colour = kFirstMaskColour;
    for (const auto& cell : grid.cells) {
      if (cell == nullptr || !cellIsValid(*cell)) continue;
      colour = nextMaskColour(colour, step);
      if (!paintCell(*image, *cell, opaqueColour(colour))) return nullptr;
    }
    return image;
  }

  // The scale runs over the cells shown that have a score; `kNoScore` only marks an empty cell.
  std::uint32_t smallest = std::numeric_limits<std::uint32_t>::max();
  std::uint32_t largest = 0;
  for (const auto& cell : grid.cells) {
    if (cell == nullptr || !cellIsValid(*cell) || cell->tile == nullptr ||
        cell->score == kNoScore) {
      continue;
    }
    smallest = std::min(smallest, cell->score);
    largest = std::max(largest, cell->score);
  }
  if (smallest >= largest) {
    smallest = 0;
    largest = kNoScore;
  }
  for (const auto& cell : grid.cells) {
    if (cell == nullptr || !cellIsValid(*cell)) continue;
    const bool scored = cell->tile != nullptr && cell->score != kNoScore;
    const std::uint32_t level =
        scored ? scoreLevel(cell->score, smallest, largest) : kBestLevel - kLevelRange;
    if (!paintCell(*image, *cell, makePixel(level, level, level, 0))) return nullptr;
  }
  return image;
}

bool writeMaskImageFiles(const CellGrid& grid, bool scoreMode,
                         const std::vector<MaskImageTarget>& targets) {
  const auto image = buildMaskImage(grid, scoreMode);
  if (!image) return false;
  bool written = true;
  for (const MaskImageTarget& target : targets) {
    const bool ok = target.format == MaskImageTarget::Format::Bmp
                        ? writeBmpImage(*image, target.path)
                        : writeJpegImage(target.path, *image, target.quality, 0);
    written = written && ok;
  }
  return written;
}

bool writeMaskImageStage(MatchingContext& context, bool scoreMode,
                         const std::vector<MaskImageTarget>& targets) {
  return writeMaskImageFiles(context.grid, scoreMode, targets);
}

}  // namespace tg
