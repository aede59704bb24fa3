// SPDX-License-Identifier: GPL-3.0-or-later
// Mask and score images: cell colours, borders, shapes, grey levels, size limits and files.
#include <filesystem>
#include <set>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "imaging/image_file.h"
#include "output/mask_image.h"
#include "report_fixture.h"

namespace tg::test {
namespace {

using ::testing::IsEmpty;
using ::testing::SizeIs;

constexpr Pixel kWhite = makePixel(255, 255, 255);

bool nearWhiteOrBlack(std::uint32_t colour) {
  const Pixel p = makePixel(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
  return colourDistance(p, kWhite) <= 192 || colourDistance(p, 0) <= 192;
}

TEST(MaskColour, StepsPastNearWhiteAndNearBlack) {
  // One step from the first colour lands on an ordinary colour.
  EXPECT_EQ(nextMaskColour(0xFFB4FF, 1000), 0xFFB4FFu - 1000);
  // Just above white-ish: the walk goes on until the colour is no longer close to white.
  const std::uint32_t fromWhite = nextMaskColour(0xFFFFFF + 193, 193);
  EXPECT_FALSE(nearWhiteOrBlack(fromWhite));
  EXPECT_LT(fromWhite, 0xFFFFFFu);
  // Just above black: close-to-black colours are passed over too.
  const std::uint32_t fromBlack = nextMaskColour(0x000606, 0x0101);
  EXPECT_FALSE(nearWhiteOrBlack(fromBlack));
  // A long walk never produces a colour that a reader would take for border or background.
  std::uint32_t colour = 0xFFB4FF;
  for (int i = 0; i < 200000; ++i) {
    colour = nextMaskColour(colour, 193);
    ASSERT_FALSE(nearWhiteOrBlack(colour)) << i;
  }
}

TEST(ScoreLevel, SpansBestToWorst) {
  EXPECT_EQ(scoreLevel(100, 100, 200), 249u);
  EXPECT_EQ(scoreLevel(150, 100, 200), 128u);  // 249 - trunc(50 x 243 / 100)
  EXPECT_EQ(scoreLevel(200, 100, 200), 6u);
  EXPECT_EQ(scoreLevel(500, 100, 200), 6u);
  EXPECT_EQ(scoreLevel(0xFFFFFFFEu, 0, 0xFFFFFFFFu), 7u);  // no 32-bit overflow
}

class MaskImageTest : public ReportFixture {};

TEST_F(MaskImageTest, CellsGetDistinctColoursOverWhiteWithWhiteBorders) {
  FotoInfo& tile = addTile("/t/a.jpg", 100);
  // A 3 x 2 grid of 10 x 10 cells with 2-pixel borders.
  for (int row = 0; row < 2; ++row) {
    for (int column = 0; column < 3; ++column) addCell(&tile, column * 12, row * 12, 10, 10);
  }
  PuzzleInfo& outside = addCell(&tile, 30, 30, 5, 5);
  outside.active = 0;  // not valid: no colour and no part of the extent

  const auto image = buildMaskImage(grid, false);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->width, 34u);
  EXPECT_EQ(image->height, 22u);
  std::set<Pixel> colours;
  for (const auto& cell : grid.cells) {
    if (cell->active == 0) continue;
    const Pixel p = image->at(cell->shape.left + 3, cell->shape.top + 4);
    // Every pixel of the cell has the cell's colour, opaque, averaged with white.
    for (int y = 0; y < 10; ++y) {
      for (int x = 0; x < 10; ++x) {
        ASSERT_EQ(image->at(cell->shape.left + x, cell->shape.top + y), p);
      }
    }
    EXPECT_EQ(pixelT(p), 0u);
    EXPECT_GE(pixelRed(p), 127u);
    EXPECT_GE(pixelGreen(p), 127u);
    EXPECT_GE(pixelBlue(p), 127u);
    colours.insert(p);
  }
  EXPECT_THAT(colours, SizeIs(6));
  // The first cell: colour 0xFFB4FF lowered by one step (0xFFB4FF / (cells + 100)), averaged
  // with white.
  const std::uint32_t first = 0xFFB4FFu - 0xFFB4FFu / 107;
  EXPECT_EQ(image->at(0, 0),
            makePixel(((first & 0xFF) + 255) / 2, (((first >> 8) & 0xFF) + 255) / 2,
                      (((first >> 16) & 0xFF) + 255) / 2));
  EXPECT_EQ(image->at(10, 0), kWhite);   // border column
  EXPECT_EQ(image->at(5, 11), kWhite);   // border row
  EXPECT_EQ(image->at(11, 21), kWhite);  // border column in the last row
  EXPECT_THAT(dialogs->texts(), IsEmpty());
}

TEST_F(MaskImageTest, ShapedCellsPaintOnlyTheirPixels) {
  PuzzleInfo& cell = addCell(nullptr, 0, 0, 12, 12);
  ASSERT_TRUE(cell.shape.allocateBitmap(144));
  for (std::uint32_t i = 0; i < 144; ++i) cell.shape.setBit(i, (i % 12) < (i / 12));  // triangle
  const auto image = buildMaskImage(grid, false);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->at(11, 0), kWhite);
  EXPECT_NE(image->at(0, 11), kWhite);
}

TEST_F(MaskImageTest, SizeLimits) {
  addCell(nullptr, 0, 0, 10, 10);  // 100 pixels: below the smallest image
  EXPECT_FALSE(buildMaskImage(grid, false));
  EXPECT_FALSE(buildMaskImage(grid, true));
  grid.cells[0]->shape.setBox(0, 0, 101, 1);
  EXPECT_TRUE(buildMaskImage(grid, false));
  // Far above the largest image: refused before any allocation, without a message.
  grid.cells[0]->shape.setBox(0, 0, 30000, 20000);
  EXPECT_FALSE(buildMaskImage(grid, false));
  EXPECT_FALSE(buildMaskImage(grid, true));
  grid.clear();
  EXPECT_FALSE(buildMaskImage(grid, false));
  EXPECT_THAT(dialogs->texts(), IsEmpty());
}

TEST_F(MaskImageTest, ScoreImageGreyLevels) {
  FotoInfo& tile = addTile("/t/a.jpg", 100);
  addCell(&tile, 0, 0, 10, 10).score = 100;
  addCell(&tile, 10, 0, 10, 10).score = 150;
  addCell(&tile, 20, 0, 10, 10).score = 200;
  addCell(nullptr, 30, 0, 10, 10);  // empty: kNoScore
  PuzzleInfo& outside = addCell(&tile, 0, 10, 10, 10);
  outside.score = 0;  // not shown, so not part of the scale either
  outside.active = 0;

  const auto image = buildMaskImage(grid, true);
  ASSERT_TRUE(image);
  ASSERT_EQ(image->width, 40u);
  ASSERT_EQ(image->height, 10u);
  const auto grey = [](std::uint32_t level) { return makePixel(level, level, level); };
  EXPECT_EQ(image->at(5, 5), grey(249));
  EXPECT_EQ(image->at(15, 5), grey(128));
  EXPECT_EQ(image->at(25, 5), grey(6));
  // The empty cell is shown as the worst and does not squeeze the others' scale.
  EXPECT_EQ(image->at(35, 5), grey(6));

  // Equal scores all show as the best.
  for (const auto& cell : grid.cells) cell->score = 70;
  const auto equal = buildMaskImage(grid, true);
  ASSERT_TRUE(equal);
  EXPECT_EQ(equal->at(5, 5), grey(249));
  EXPECT_EQ(equal->at(25, 5), grey(249));
}

TEST_F(MaskImageTest, ScoreImageBackgroundIsTransparentBlack) {
  FotoInfo& tile = addTile("/t/a.jpg", 100);
  addCell(&tile, 0, 0, 10, 10).score = 5;
  addCell(&tile, 12, 0, 10, 10).score = 9;
  const auto image = buildMaskImage(grid, true);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->at(11, 3), kTransparentBlack);
}

TEST_F(MaskImageTest, WritesEveryTargetAndReportsAFailedOne) {
  FotoInfo& tile = addTile("/t/a.jpg", 100);
  addCell(&tile, 0, 0, 20, 10).score = 1;
  addCell(&tile, 20, 0, 20, 10).score = 2;
  using Format = MaskImageTarget::Format;
  const std::string jpeg = dir.file("beach Mosaic MaskFile.jpg");
  const std::string bmp = dir.file("beach Mosaic MaskFile.bmp");
  ASSERT_TRUE(
      writeMaskImageFiles(grid, false, {{jpeg, Format::Jpeg, 100}, {bmp, Format::Bmp, 100}}));
  Foto back;
  ASSERT_TRUE(loadImageFile(back, jpeg, 0, 0, false));
  EXPECT_EQ(back.width, 40u);
  EXPECT_EQ(back.height, 10u);
  EXPECT_EQ(readFile(bmp).size(), 54u + 10u * 120u);

  const std::string score = dir.file("beach Mosaic Score.jpg");
  EXPECT_FALSE(writeMaskImageFiles(
      grid, true, {{dir.file("missing/x.jpg"), Format::Jpeg, 80}, {score, Format::Jpeg, 80}}));
  EXPECT_TRUE(std::filesystem::exists(score));
  EXPECT_THAT(dialogs->texts(), SizeIs(1));

  // Nothing to build: nothing written, no message.
  dialogs->clear();
  grid.clear();
  EXPECT_FALSE(writeMaskImageFiles(grid, false, {{dir.file("none.jpg"), Format::Jpeg, 100}}));
  EXPECT_FALSE(std::filesystem::exists(dir.file("none.jpg")));
  EXPECT_THAT(dialogs->texts(), IsEmpty());
}

}  // namespace
}  // namespace tg::test
