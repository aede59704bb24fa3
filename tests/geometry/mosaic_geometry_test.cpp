// SPDX-License-Identifier: GPL-3.0-or-later
#include "geometry/mosaic_geometry.h"

#include <array>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "geometry/geometry_presets.h"
#include "job/mosaic_settings.h"

namespace tg {
namespace {

constexpr const char* kAddImage = "Please add an Image using the + button";
constexpr const char* kSpecifyAll = "Please specify all the parameters";

/// Settings of a mosaic: size, resolution 300 PPI, tile, no border, "Adapt Tile".
MosaicSettings settingsFor(SizeValue size, Quantity tile) {
  MosaicSettings settings;
  settings.mosaicSize.value = size;
  settings.resolution.value = Quantity{300, UnitId::Ppi};
  settings.tileSize.value = tile;
  settings.borderSize.value = Quantity{0, UnitId::Pixel};
  settings.tileAdapt.value = 1;
  return settings;
}

MosaicGeometry compute(const MosaicSettings& settings, std::uint32_t w, std::uint32_t h) {
  MosaicGeometry g;
  (void)computeMosaicGeometry(settings, w, h, g);
  return g;
}

TEST(ComputeMosaicGeometry, WorkedExamplesOfSizeAndTiles) {
  struct Row {
    const char* name;
    SizeValue size;
    Quantity tile;
    double border;
    long adapt;
    std::uint32_t imageW, imageH;
    std::uint32_t boxW, boxH, mosaicW, mosaicH, tileW, columns, rows;
  };
  const SizeValue twentyInch{20, 20, UnitId::Inch};
  const Quantity perRow40{40, UnitId::TilesPerRow};
  const Row rows[] = {
      {"20 inch landscape", twentyInch, perRow40, 0, 1, 4000, 3000, 6000, 6000, 6000, 4500, 150, 40,
       30},
      {"20 inch portrait", twentyInch, perRow40, 0, 1, 3000, 4000, 6000, 6000, 4500, 6000, 112, 41,
       54},
      {"50 MP is an area",
       {50, 50, UnitId::MegaPixel},
       perRow40,
       0,
       1,
       4000,
       3000,
       8164,
       6123,
       8164,
       6123,
       204,
       41,
       31},
      {"1000 pixels is a box",
       {1000, 1000, UnitId::Pixel},
       perRow40,
       0,
       1,
       4000,
       3000,
       1000,
       1000,
       1000,
       750,
       25,
       40,
       30},
      {"border taken out of the tile", twentyInch, perRow40, 2, 1, 4000, 3000, 6000, 6000, 6000,
       4500, 148, 40, 30},
      {"1000 tiles",
       twentyInch,
       {1000, UnitId::Tiles},
       0,
       1,
       4000,
       3000,
       6000,
       6000,
       6000,
       4500,
       164,
       37,
       28},
      {"Adapt Mosaic shrinks to whole tiles",
       twentyInch,
       {1000, UnitId::Tiles},
       0,
       2,
       4000,
       3000,
       6000,
       6000,
       5904,
       4428,
       164,
       36,
       27},
      {"pixel tile on a two-sided box",
       {42, 29, UnitId::Cm},
       {300, UnitId::Pixel},
       0,
       0,
       4000,
       3000,
       4960,
       3425,
       4566,
       3425,
       300,
       16,
       12},
      {"resolution in DPI",
       twentyInch,
       {0.5, UnitId::Inch},
       0,
       1,
       1000,
       1000,
       6000,
       6000,
       6000,
       6000,
       150,
       40,
       40},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    MosaicSettings settings = settingsFor(row.size, row.tile);
    settings.borderSize.value = Quantity{row.border, UnitId::Pixel};
    settings.tileAdapt.value = row.adapt;
    if (std::string(row.name) == "resolution in DPI") {
      settings.resolution.value = Quantity{1800, UnitId::Dpi};
    }
    MosaicGeometry g;
    ASSERT_TRUE(computeMosaicGeometry(settings, row.imageW, row.imageH, g)) << g.message;
    EXPECT_EQ(g.boxWidth, row.boxW);
    EXPECT_EQ(g.boxHeight, row.boxH);
    EXPECT_EQ(g.mosaicWidth, row.mosaicW);
    EXPECT_EQ(g.mosaicHeight, row.mosaicH);
    EXPECT_EQ(g.tileWidth, row.tileW);
    EXPECT_EQ(g.tileHeight, row.tileW);
    EXPECT_EQ(g.columns, row.columns);
    EXPECT_EQ(g.rows, row.rows);
    EXPECT_EQ(g.tileCount, row.columns * row.rows);
    EXPECT_EQ(g.pixelCount, std::uint64_t{row.mosaicW} * row.mosaicH);
    EXPECT_EQ(g.tilePixelCount, std::uint64_t{row.tileW} * row.tileW);
    EXPECT_EQ(g.border, static_cast<std::uint32_t>(row.border));
    EXPECT_EQ(g.sizeCode, 0u);
    EXPECT_DOUBLE_EQ(g.ppi, 300.0);
    EXPECT_DOUBLE_EQ(g.pixelsPerCm, 300.0 / 2.54);
  }
}

TEST(ComputeMosaicGeometry, MaskFilePresetIsSizeCodeOne) {
  MosaicSettings settings;
  installGeometryPresets(settings);
  const auto& presets = settings.mosaicSize.presets;
  ASSERT_FALSE(presets.empty());
  EXPECT_EQ(presets.back().label, "MaskFile");
  settings.mosaicSize.value = presets[maskFilePresetIndex(true)].value;
  MosaicGeometry g;
  EXPECT_TRUE(computeMosaicGeometry(settings, 4000, 3000, g)) << g.message;
  EXPECT_EQ(g.sizeCode, 1u);
  EXPECT_TRUE(g.isMaskFileMode());
  EXPECT_EQ(g.mosaicWidth, 0u);
  EXPECT_EQ(g.boxWidth, 1u);

  // Other small square boxes are codes too, a 9-pixel one is not.
  settings.mosaicSize.value = SizeValue{8, 8, UnitId::Pixel};
  EXPECT_EQ(compute(settings, 4000, 3000).sizeCode, 8u);
  settings.mosaicSize.value = SizeValue{9, 9, UnitId::Pixel};
  EXPECT_EQ(compute(settings, 4000, 3000).sizeCode, 0u);
}

TEST(ComputeMosaicGeometry, DegenerateInputGivesTheMessages) {
  struct Row {
    const char* name;
    SizeValue size;
    Quantity tile;
    Quantity resolution;
    std::uint32_t imageW, imageH;
    const char* message;
  };
  const SizeValue a3{42, 29, UnitId::Cm};
  const Quantity perRow{40, UnitId::TilesPerRow};
  const Quantity ppi{300, UnitId::Ppi};
  const Row rows[] = {
      {"no main image", a3, perRow, ppi, 0, 0, kAddImage},
      {"main image without height", a3, perRow, ppi, 100, 0, kAddImage},
      {"half a tile", a3, {0.5, UnitId::Tiles}, ppi, 4000, 3000, kSpecifyAll},
      {"zero tiles per row", a3, {0, UnitId::TilesPerRow}, ppi, 4000, 3000, kSpecifyAll},
      {"negative tile", a3, {-3, UnitId::Pixel}, ppi, 4000, 3000, kSpecifyAll},
      {"tile out of range", a3, {2e7, UnitId::Pixel}, ppi, 4000, 3000, kSpecifyAll},
      {"tile unit not allowed", a3, {3, UnitId::Percent}, ppi, 4000, 3000, kSpecifyAll},
      {"zero mosaic size", {0, 0, UnitId::Cm}, perRow, ppi, 4000, 3000, kSpecifyAll},
      {"negative mosaic size", {-5, 20, UnitId::Cm}, perRow, ppi, 4000, 3000, kSpecifyAll},
      {"placeholder mosaic size", {-1, -1, UnitId::Inch}, perRow, ppi, 4000, 3000, kSpecifyAll},
      {"mosaic size in an unconvertible unit",
       {3, 3, UnitId::Times},
       perRow,
       ppi,
       4000,
       3000,
       kSpecifyAll},
      {"no resolution for a length", a3, perRow, {0, UnitId::Ppi}, 4000, 3000, kSpecifyAll},
      {"resolution in a wrong unit", a3, perRow, {300, UnitId::Cm}, 4000, 3000, kSpecifyAll},
      {"mosaic in tiles of a counted tile",
       {30, 30, UnitId::Tiles},
       perRow,
       ppi,
       4000,
       3000,
       kSpecifyAll},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    MosaicSettings settings = settingsFor(row.size, row.tile);
    settings.resolution.value = row.resolution;
    MosaicGeometry g;
    EXPECT_FALSE(computeMosaicGeometry(settings, row.imageW, row.imageH, g));
    EXPECT_EQ(g.message, row.message);
  }
}

TEST(ComputeMosaicGeometry, BordersAndTilesThatDoNotFit) {
  // A border wider than a counted tile leaves no tile.
  MosaicSettings settings = settingsFor({20, 20, UnitId::Inch}, {40, UnitId::TilesPerRow});
  settings.borderSize.value = Quantity{200, UnitId::Pixel};
  MosaicGeometry g = compute(settings, 4000, 3000);
  EXPECT_EQ(g.tileWidth, 0u);
  EXPECT_EQ(g.message, kSpecifyAll);

  // A border out of range counts as none.
  settings.borderSize.value = Quantity{200000, UnitId::Pixel};
  g = compute(settings, 4000, 3000);
  EXPECT_EQ(g.border, 0u);
  EXPECT_EQ(g.tileWidth, 150u);

  // A border in inches converts at the resolution.
  settings.borderSize.value = Quantity{0.01, UnitId::Inch};
  EXPECT_EQ(compute(settings, 4000, 3000).border, 3u);

  // A tile larger than the mosaic: one column and one row; "Adapt Mosaic" grows to one tile.
  settings = settingsFor({100, 100, UnitId::Pixel}, {300, UnitId::Pixel});
  g = compute(settings, 4000, 3000);
  EXPECT_TRUE(g.message.empty());
  EXPECT_EQ(g.columns, 1u);
  EXPECT_EQ(g.rows, 1u);
  settings.tileAdapt.value = 2;
  g = compute(settings, 4000, 3000);
  EXPECT_EQ(g.mosaicWidth, 300u);
  EXPECT_EQ(g.mosaicHeight, 300u);
}

TEST(ComputeMosaicGeometry, VideoFormatsRoundTheFrameSize) {
  MosaicSettings settings = settingsFor({1284, 723, UnitId::Pixel}, {20, UnitId::TilesPerRow});
  for (long format : {kFormatAviUncompressed, kFormatAviCompressed, kFormatVideoJpeg}) {
    settings.fileFormat.value = format;
    const MosaicGeometry g = compute(settings, 1284, 723);
    EXPECT_EQ(g.mosaicWidth, 1280u);
    EXPECT_EQ(g.mosaicHeight, 720u);
    EXPECT_EQ(g.pixelCount, 1280u * 720u);
  }
  settings.fileFormat.value = kFormatJpeg;
  EXPECT_EQ(compute(settings, 1284, 723).mosaicWidth, 1284u);
}

TEST(ComputeMosaicGeometry, GigapixelMosaicsAreComputedInWideArithmetic) {
  // 10000 MP with a 4:3 image: 115,470 x 86,602 pixels, far beyond 16-bit sides.
  MosaicSettings settings = settingsFor({10000, 10000, UnitId::MegaPixel}, {100, UnitId::Pixel});
  MosaicGeometry g;
  ASSERT_TRUE(computeMosaicGeometry(settings, 4000, 3000, g)) << g.message;
  EXPECT_EQ(g.mosaicWidth, 115470u);
  EXPECT_EQ(g.mosaicHeight, 86602u);
  EXPECT_EQ(g.pixelCount, 115470ull * 86602ull);
  EXPECT_EQ(g.columns, 1155u);
  EXPECT_EQ(g.rows, 867u);

  // An absurd size saturates instead of wrapping round to a small mosaic.
  settings.mosaicSize.value = SizeValue{1e30, 1e30, UnitId::MegaPixel};
  g = compute(settings, 4000, 3000);
  EXPECT_GT(g.mosaicWidth, 3000000000u);
  EXPECT_GT(g.mosaicHeight, g.mosaicWidth / 2);
  settings.mosaicSize.value = SizeValue{1e15, 2e15, UnitId::Foot};
  g = compute(settings, 3000, 4000);
  EXPECT_EQ(g.mosaicHeight, 4294967295u);
  EXPECT_EQ(g.mosaicWidth, 3221225471u);
}

TEST(FitToAspect, LargestRectangleOfTheImageAspectInsideTheBox) {
  std::uint32_t w = 6000, h = 6000;
  EXPECT_TRUE(fitToAspect(w, h, 4000, 3000));
  EXPECT_EQ(w, 6000u);
  EXPECT_EQ(h, 4500u);
  w = 6000, h = 6000;
  EXPECT_TRUE(fitToAspect(w, h, 3000, 4000));
  EXPECT_EQ(w, 4500u);
  EXPECT_EQ(h, 6000u);
  // A very thin image still leaves a side of at least one pixel.
  w = 10, h = 10;
  EXPECT_TRUE(fitToAspect(w, h, 100000, 1));
  EXPECT_EQ(w, 10u);
  EXPECT_EQ(h, 1u);
  // 32-bit sides multiply without overflow.
  w = 4294967295u, h = 4294967295u;
  EXPECT_TRUE(fitToAspect(w, h, 4294967295u, 4294967294u));
  EXPECT_EQ(w, 4294967295u);
  EXPECT_EQ(h, 4294967294u);
  for (auto [bw, bh, iw, ih] :
       {std::array<std::uint32_t, 4>{0, 5, 4, 3}, {5, 0, 4, 3}, {5, 5, 0, 3}, {5, 5, 4, 0}}) {
    std::uint32_t a = bw, b = bh;
    EXPECT_FALSE(fitToAspect(a, b, iw, ih));
    EXPECT_EQ(a, bw);
    EXPECT_EQ(b, bh);
  }
}

TEST(TileCountBreakdown, SplitsThePlannedAndTheBuiltCells) {
  struct Row {
    std::uint32_t tiles, built, half, quarter;
    std::uint32_t full, halves, quarters;
    std::uint64_t effective;
  };
  const Row rows[] = {
      {100, 0, 10, 5, 85, 10, 5, 125}, {100, 0, 0, 0, 100, 0, 0, 100},
      {10, 0, 80, 80, 0, 2, 8, 36},     // percentages over 100 together are capped
      {100, 50, 10, 5, 10, 10, 5, 50},  // built cells: the full ones fill up to T
      {100, 30, 10, 5, 0, 5, 5, 30},    // splits reach T: fewer halves
      {100, 12, 10, 5, 0, 0, 3, 12},    // T within the quarters
      {100, 13, 10, 5, 0, 1, 3, 14},
  };
  for (const Row& row : rows) {
    MosaicGeometry g;
    g.tileCount = row.tiles;
    g.builtCellCount = row.built;
    g.multiSize2 = row.half;
    g.multiSize4 = row.quarter;
    const TileCountBreakdown b = tileCountBreakdown(g);
    EXPECT_EQ(b.full, row.full) << row.tiles << "/" << row.built;
    EXPECT_EQ(b.halves, row.halves) << row.tiles << "/" << row.built;
    EXPECT_EQ(b.quarters, row.quarters) << row.tiles << "/" << row.built;
    EXPECT_EQ(b.effective(), row.effective) << row.tiles << "/" << row.built;
  }
}

}  // namespace
}  // namespace tg
