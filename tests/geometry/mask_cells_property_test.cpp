// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdint>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "geometry/mask_cells.h"
#include "imaging/foto.h"

namespace tg {
namespace {

// Random masks with regions, separator lines, white holes and JPEG-like noise: whatever the
// mask, the cells lie inside the used part of the mask, each owns at least one pixel, and no
// mask pixel belongs to two cells.
TEST(MaskCellProperties, CellsStayInsideTheMaskAndNeverShareAPixel) {
  std::mt19937 random(77);
  const auto uniform = [&](std::uint32_t lo, std::uint32_t hi) {
    return std::uniform_int_distribution<std::uint32_t>(lo, hi)(random);
  };
  int withCells = 0;
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE(round);
    const std::uint32_t w = uniform(1, 140);
    const std::uint32_t h = uniform(1, 110);
    Foto mask;
    ASSERT_TRUE(mask.create(w, h));
    mask.fill(makePixel(255, 255, 255));
    for (int k = 0; k < 12; ++k) {
      const std::uint32_t x = uniform(0, w - 1), y = uniform(0, h - 1);
      const std::uint32_t rw = std::min(uniform(1, 70), w - x);
      const std::uint32_t rh = std::min(uniform(1, 70), h - y);
      const std::uint32_t kind = uniform(0, 7);
      const Pixel colour = kind == 0 ? makePixel(0, 0, 0)
                           : kind == 1
                               ? makePixel(255, 255, 255)
                               : makePixel(uniform(40, 215), uniform(40, 215), uniform(40, 215));
      for (std::uint32_t j = y; j < y + rh; ++j) {
        for (std::uint32_t i = x; i < x + rw; ++i) mask.at(i, j) = colour;
      }
    }
    // Compression noise: small changes of single channels everywhere.
    for (std::uint32_t j = 0; j < h; ++j) {
      for (std::uint32_t i = 0; i < w; ++i) {
        const Pixel p = mask.at(i, j);
        const auto nudge = [&](std::uint32_t c) {
          return std::min<std::uint32_t>(255, c + uniform(0, 4));
        };
        mask.at(i, j) = makePixel(nudge(p & 0xFF), nudge((p >> 8) & 0xFF), nudge((p >> 16) & 0xFF));
      }
    }
    const std::uint32_t mainW = uniform(0, 3) == 0 ? 0 : uniform(1, 400);
    const std::uint32_t mainH = mainW == 0 ? 0 : uniform(1, 400);

    CellGrid grid;
    if (!buildCellsFromMaskImage(grid, mask, mainW, mainH)) {
      EXPECT_TRUE(grid.empty());
      continue;
    }
    ++withCells;
    ASSERT_LE(grid.columns, w);
    ASSERT_LE(grid.rows, h);
    std::vector<int> owner(std::size_t{grid.columns} * grid.rows, -1);
    for (std::size_t c = 0; c < grid.size(); ++c) {
      const FotoMask& s = grid.cells[c]->shape;
      ASSERT_GE(s.left, 0);
      ASSERT_GE(s.top, 0);
      ASSERT_GT(s.width, 0);
      ASSERT_GT(s.height, 0);
      ASSERT_LE(std::uint32_t(s.left + s.width), grid.columns);
      ASSERT_LE(std::uint32_t(s.top + s.height), grid.rows);
      int owned = 0;
      for (std::int32_t y = 0; y < s.height; ++y) {
        for (std::int32_t x = 0; x < s.width; ++x) {
          if (s.hasBitmap() && !s.bit(std::uint32_t(x + y * s.width))) continue;
          int& slot = owner[std::size_t(s.top + y) * grid.columns + std::size_t(s.left + x)];
          ASSERT_EQ(slot, -1) << "cells " << slot << " and " << c << " share a pixel";
          slot = static_cast<int>(c);
          ++owned;
        }
      }
      EXPECT_GT(owned, 0) << c;
    }
  }
  EXPECT_GT(withCells, 10);
}

}  // namespace
}  // namespace tg
