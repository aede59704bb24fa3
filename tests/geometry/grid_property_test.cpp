// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdint>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "geometry/cell_grid.h"
#include "geometry/mosaic_geometry.h"
#include "geometry/pattern_layout.h"
#include "job/mosaic_settings.h"

namespace tg {
namespace {

// Random pixel sizes, tiles, borders, patterns and adapt modes: a geometry either fails with a
// message or lays out cells that are non-empty, lie inside the mosaic and never overlap in area.
TEST(GridProperties, RandomLayoutsStayInsideTheMosaic) {
  std::mt19937 random(1234);
  const auto pick = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  int built = 0;
  for (int round = 0; round < 400; ++round) {
    const std::uint32_t w = pick(1, 2500);
    const std::uint32_t h = pick(1, 2500);
    MosaicSettings settings;
    settings.mosaicSize.value = SizeValue{double(w), double(h), UnitId::Pixel};
    settings.resolution.value = Quantity{300, UnitId::Ppi};
    settings.tileSize.value = pick(0, 3) == 0 ? Quantity{double(pick(1, 60)), UnitId::TilesPerRow}
                                              : Quantity{double(pick(1, 400)), UnitId::Pixel};
    settings.borderSize.value = Quantity{double(pick(0, 3) == 0 ? pick(0, 60) : 0), UnitId::Pixel};
    const long adapt = pick(0, 2);
    settings.tileAdapt.value = adapt;
    const long pattern = pick(1, 10);
    MosaicGeometry g;
    const std::string trace = std::to_string(w) + "x" + std::to_string(h) + " tile " +
                              std::to_string(settings.tileSize.value.value) + " border " +
                              std::to_string(settings.borderSize.value.value) + " adapt " +
                              std::to_string(adapt) + " pattern " + std::to_string(pattern);
    SCOPED_TRACE(trace);
    if (!computeMosaicGeometry(settings, pick(1, 5000), pick(1, 5000), g)) {
      EXPECT_FALSE(g.message.empty());
      continue;
    }
    CellGrid grid;
    if (!buildCellGrid(grid, pattern, g, adapt)) continue;
    ++built;
    std::uint64_t area = 0;
    for (const auto& cell : grid.cells) {
      const FotoMask& s = cell->shape;
      ASSERT_GT(s.width, 0);
      ASSERT_GT(s.height, 0);
      ASSERT_GE(s.left, 0);
      ASSERT_GE(s.top, 0);
      ASSERT_LE(std::int64_t(s.left) + s.width, std::int64_t(g.mosaicWidth));
      ASSERT_LE(std::int64_t(s.top) + s.height, std::int64_t(g.mosaicHeight));
      area += std::uint64_t(s.width) * s.height;
    }
    EXPECT_LE(area, std::uint64_t(g.mosaicWidth) * g.mosaicHeight);
    EXPECT_EQ(g.tileCount, grid.size());
  }
  EXPECT_GT(built, 100);
}

}  // namespace
}  // namespace tg
