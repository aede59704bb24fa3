// SPDX-License-Identifier: GPL-3.0-or-later
// Cells from a mask picture: any picture of up to 64 x 64 pixels gives cells inside the used
// part of the mask, each with a box and an area that agree.
#include <cstdlib>

#include "fuzz_support.h"
#include "geometry/cell_grid.h"
#include "geometry/mask_cells.h"
#include "imaging/foto.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tg::fuzz::quietDialogs();
  tg::fuzz::Input input(data, size);
  const std::uint32_t width = 1 + input.byte() % 64;
  const std::uint32_t height = 1 + input.byte() % 64;
  const std::uint32_t mainWidth = input.u16();
  const std::uint32_t mainHeight = input.u16();
  const bool scan = (input.byte() & 1) != 0;
  tg::Foto mask;
  if (!mask.createCleared(width, height)) return 0;
  // Few distinct colours make regions and separators likely: two bits per channel.
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      const std::uint32_t v = input.byte();
      const auto level = [v](int shift) { return ((v >> shift) & 3u) * 85u; };
      mask.row(y)[x] = tg::makePixel(level(0), level(2), level(4), 0);
    }
  }
  tg::CellGrid grid;
  const bool built = tg::buildCellsFromMaskImage(
      grid, mask, mainWidth, mainHeight,
      scan ? tg::SeparatorDissolving::Scan : tg::SeparatorDissolving::Front);
  if (!built) return 0;
  for (const auto& cell : grid.cells) {
    const tg::FotoMask& shape = cell->shape;
    if (shape.left < 0 || shape.top < 0 || shape.width <= 0 || shape.height <= 0 ||
        static_cast<std::uint32_t>(shape.left + shape.width) > grid.columns ||
        static_cast<std::uint32_t>(shape.top + shape.height) > grid.rows ||
        std::int64_t{shape.area} > std::int64_t{shape.width} * shape.height) {
      std::abort();
    }
  }
  return 0;
}
