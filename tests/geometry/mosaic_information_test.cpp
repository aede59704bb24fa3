// SPDX-License-Identifier: GPL-3.0-or-later
#include "geometry/mosaic_information.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "geometry/cell_grid.h"
#include "geometry/geometry_presets.h"
#include "job/mosaic_settings.h"
#include "platform/wine.h"

namespace tg {
namespace {

using Lines = std::vector<std::string>;

MosaicSettings twentyInchSettings() {
  MosaicSettings s;
  s.mosaicSize.value = SizeValue{20, 20, UnitId::Inch};
  s.resolution.value = Quantity{300, UnitId::Ppi};
  s.tileSize.value = Quantity{40, UnitId::TilesPerRow};
  s.borderSize.value = Quantity{2, UnitId::Pixel};
  s.multiSize2.value = 10;
  s.multiSize4.value = 5;
  return s;
}

MosaicGeometry geometryOf(const MosaicSettings& s, std::uint32_t w, std::uint32_t h) {
  MosaicGeometry g;
  (void)computeMosaicGeometry(s, w, h, g);
  return g;
}

TEST(MosaicInformationLines, DescribeTheMosaicInTheDisplayUnit) {
  const MosaicSettings s = twentyInchSettings();
  const MosaicGeometry g = geometryOf(s, 4000, 3000);
  EXPECT_EQ(mosaicInformationLines(g, s, UnitId::Pixel),
            (Lines{"Mosaic Max Size: 6000 pixels", "Main Image: 4000 x 3000 pixels",
                   "Final Mosaic: 6000 x 4500 pixels = 27 MP", "File Size: 12.3 MB",
                   "Tile Size: 148 x 148 pixels = 21.9 KP", "Border Size: 2 pixels",
                   "Resolution: 300 PPI", "Tile Pattern: 40 x 30 = 1200 tiles",
                   "Tile Count: 1020 + 240½ + 240¼ = 1500 tiles"}));
  // Lengths and areas follow the display unit; the main image stays in pixels.
  const Lines inches = mosaicInformationLines(g, s, UnitId::Inch);
  ASSERT_EQ(inches.size(), 9u);
  EXPECT_EQ(inches[0], "Mosaic Max Size: 20\"");
  EXPECT_EQ(inches[1], "Main Image: 4000 x 3000 pixels");
  EXPECT_EQ(inches[2], "Final Mosaic: 20\" x 15\" = 300\"²");
  EXPECT_EQ(mosaicInformationLines(g, s, UnitId::Cm)[2], "Final Mosaic: 50.8 x 38.1 cm = 1935 cm²");
}

TEST(MosaicInformationLines, MaskFileVideoAndPreviewVariants) {
  MosaicSettings s = twentyInchSettings();
  s.mosaicSize.value = SizeValue{1, 1, UnitId::Pixel};
  Lines lines = mosaicInformationLines(geometryOf(s, 4000, 3000), s, UnitId::Pixel);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], "Mosaic Max Size: 1 pixel");
  EXPECT_EQ(lines[2], "Using Mask File");

  // Video formats have no file-size line.
  s = twentyInchSettings();
  s.fileFormat.value = kFormatAviCompressed;
  lines = mosaicInformationLines(geometryOf(s, 4000, 3000), s, UnitId::Pixel);
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[3], "Tile Size: 148 x 148 pixels = 21.9 KP");

  // The preview reports its largest cell and its columns and rows.
  s = twentyInchSettings();
  s.mosaicSize.value = SizeValue{1000, 750, UnitId::Pixel};
  s.tileSize.value = Quantity{300, UnitId::Pixel};
  s.borderSize.value = Quantity{0, UnitId::Pixel};
  MosaicGeometry g = geometryOf(s, 1000, 750);
  CellGrid grid;
  PatternLayout preview;
  ASSERT_TRUE(buildCellGrid(grid, 1, g, kAdaptTile, &preview));
  lines = mosaicInformationLines(g, s, UnitId::Pixel, &preview);
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[4], "Tile Size: 334 x 375 pixels = 125 KP");
  EXPECT_EQ(lines[7], "Tile Pattern: 3 x 2 = 6 tiles");
  EXPECT_EQ(mosaicInformationLines(g, s, UnitId::Pixel)[4], "Tile Size: 300 x 300 pixels = 90 KP");
}

// A grid of more cells than 32 bits count (1-pixel tiles over 10 gigapixels) is counted in full.
TEST(MosaicInformationLines, GridsOfBillionsOfCellsAreCountedInFull) {
  MosaicSettings s = twentyInchSettings();
  s.mosaicSize.value = SizeValue{100000, 100000, UnitId::Pixel};
  s.tileSize.value = Quantity{1, UnitId::Pixel};
  s.borderSize.value = Quantity{0, UnitId::Pixel};
  const MosaicGeometry g = geometryOf(s, 1000, 1000);
  ASSERT_EQ(g.columns, 100000u);
  ASSERT_EQ(g.rows, 100000u);
  EXPECT_EQ(plannedCellCount(g), 10000000000u);
  const TileCountBreakdown counts = tileCountBreakdown(g);
  EXPECT_EQ(counts.full + counts.halves + counts.quarters, 10000000000u);
  EXPECT_EQ(counts.quarters, 500000000u);  // 5 %
  const Lines lines = mosaicInformationLines(g, s, UnitId::Pixel);
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[7], "Tile Pattern: 100000 x 100000 = 10000000000 tiles");
  EXPECT_EQ(lines[8], "Tile Count: 8500000000 + 2000000000½ + 2000000000¼ = 12500000000 tiles");
}

// The count the information gives is that of the cells the grid has, whatever the pattern's
// shifted rows and the adapt mode made of columns x rows.
TEST(MosaicInformationLines, TheTileCountIsTheLaidOutCount) {
  MosaicSettings s = twentyInchSettings();
  s.mosaicSize.value = SizeValue{1000, 750, UnitId::Pixel};
  s.tileSize.value = Quantity{40, UnitId::Pixel};
  s.borderSize.value = Quantity{3, UnitId::Pixel};
  int differing = 0;
  for (long pattern = 1; pattern <= 10; ++pattern) {
    for (const long adapt : {kAdaptCropTile, kAdaptTile}) {
      MosaicGeometry g = geometryOf(s, 1000, 750);
      const std::uint32_t estimated = g.tileCount;
      CellGrid grid;
      PatternLayout preview;
      ASSERT_TRUE(buildCellGrid(grid, pattern, g, adapt, &preview));
      g.tileCount = estimated;  // as the window has it: the geometry's own estimate
      differing += grid.cells.size() != estimated ? 1 : 0;
      const Lines lines = mosaicInformationLines(g, s, UnitId::Pixel, &preview);
      ASSERT_EQ(lines.size(), 9u);
      EXPECT_EQ(lines[7], "Tile Pattern: " + std::to_string(preview.firstRowCells) + " x " +
                              std::to_string(preview.rowCount) + " = " +
                              std::to_string(grid.cells.size()) + " tiles")
          << pattern << " " << adapt;
    }
  }
  EXPECT_GT(differing, 0) << "no case where the estimate and the grid differ";
}

TEST(EstimatedFileSize, FollowsTheFormatTable) {
  struct Row {
    long format;
    long quality;
    bool transparency;
    bool layers;
    double bytes;  // for 1,000,000 pixels and a preview of 50 cells
  };
  const Row rows[] = {
      {kFormatJpeg, 95, false, false, 476000},     {kFormatJpeg, 96, false, false, 942000},
      {kFormatJpeg, 1, false, false, 95000},       {kFormatTiffJpeg, 41, false, false, 131200},
      {kFormatTiffJpeg, 80, false, false, 210000}, {kFormatJpeg, 101, false, false, 0},
      {kFormatBmp, 95, false, false, 3009966},     {kFormatTiff, 95, false, false, 3027676},
      {kFormatTiff, 95, true, false, 4027676},     {kFormatPpm, 95, true, false, 3000100},
      {kFormatRaw, 95, false, false, 3000000},     {kFormatMosaic, 95, false, false, 6600000},
      {kFormatPsd, 95, false, false, 3000100},     {kFormatPsb, 95, true, false, 11000300},
      {kFormatPsd, 95, false, true, 11005200},     {kFormatPsb, 95, true, true, 7005100},
  };
  for (const Row& row : rows) {
    MosaicSettings s;
    s.fileFormat.value = row.format;
    s.jpgQuality.value = row.quality;
    s.outputTransparency.value = row.transparency;
    s.outputLayers.value = row.layers;
    const auto bytes = estimatedFileSize(s, 1000000, 50);
    ASSERT_TRUE(bytes.has_value()) << row.format;
    EXPECT_NEAR(*bytes, row.bytes, 1e-6) << row.format << " q" << row.quality;
  }
  for (long format : {kFormatAviUncompressed, kFormatAviCompressed, kFormatVideoJpeg, 99L}) {
    MosaicSettings s;
    s.fileFormat.value = format;
    EXPECT_FALSE(estimatedFileSize(s, 1000000, 50).has_value()) << format;
  }
}

TEST(GeometryPresets, VideoSizesOnlyWhereVideoWorks) {
  const std::size_t withVideo = mosaicSizePresets(true).size();
  const std::size_t withoutVideo = mosaicSizePresets(false).size();
  EXPECT_EQ(withVideo, withoutVideo + 3);
  EXPECT_EQ(mosaicSizePresets(true)[26].value, (SizeValue{1920, 1080, UnitId::Pixel}));
  EXPECT_EQ(mosaicSizePresets(false)[maskFilePresetIndex(false)].label, "MaskFile");
  MosaicSettings settings;
  installGeometryPresets(settings);
  EXPECT_EQ(settings.mosaicSize.presets.size(), withVideo);
  {
    const ScopedUnderWine wine(true);
    installGeometryPresets(settings);
    EXPECT_EQ(settings.mosaicSize.presets.size(), withoutVideo);
  }
  MosaicSettings noVideo(false);
  installGeometryPresets(noVideo);
  EXPECT_EQ(noVideo.mosaicSize.presets.size(), withoutVideo);
}

}  // namespace
}  // namespace tg
