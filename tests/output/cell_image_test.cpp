// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/advanced_settings.h"
#include "engine/comparison_settings.h"
#include "engine/tile_distance.h"
#include "geometry/puzzle_info.h"
#include "imaging/image_signature.h"
#include "job/mosaic_job.h"
#include "output/cell_image.h"
#include "output/mosaic_preview.h"
#include "output/video_frames.h"
#include "tiles/foto_info.h"

namespace tg {
namespace {

constexpr Pixel kRed = makePixel(230, 20, 20);
constexpr Pixel kBlue = makePixel(10, 30, 220);

Foto halves(std::uint32_t w, std::uint32_t h, Pixel top, Pixel bottom) {
  Foto image;
  EXPECT_TRUE(image.create(w, h));
  for (std::uint32_t y = 0; y < h; ++y)
    for (std::uint32_t x = 0; x < w; ++x) image.at(x, y) = y < h / 2 ? top : bottom;
  return image;
}

ImageSignature signatureOf(const Foto& image) {
  ImageSignature s;
  EXPECT_TRUE(buildSignature(image, true, s));
  return s;
}

ComparisonSettings plainComparison(std::uint32_t variantBits) {
  ComparisonSettings c;
  c.variantBits = variantBits;
  c.setShiftLimit(0);
  c.blendStrength = 0;
  return c;
}

TEST(PrepareCellImage, QuarterTurnCropsToTheTurnedAspectThenTurnsClockwise) {
  const Foto tile = halves(400, 400, kRed, kBlue);
  const ImageSignature tileSig = signatureOf(tile);
  const ComparisonSettings c = plainComparison(kVariantBitRotated90);
  CellRenderInfo record;
  auto cell = prepareCellImage(tile, tileSig, tileSig, &record, 300, 200, c);
  ASSERT_TRUE(cell);
  EXPECT_EQ(cell->width, 300u);
  EXPECT_EQ(cell->height, 200u);
  EXPECT_EQ(record.variant, kVariantRotated90);
  // The red top of the tile turns to the right-hand side.
  EXPECT_EQ(cell->at(290, 100), kRed);
  EXPECT_EQ(cell->at(10, 100), kBlue);
  EXPECT_EQ(tile.width, 400u) << "the shared tile picture is not touched";
}

TEST(PrepareCellImage, WithoutColourChangeAConstantTileStaysItsColour) {
  const Foto tile = halves(90, 60, kRed, kRed);
  ImageSignature cellSig = signatureOf(halves(12, 12, kBlue, kBlue));
  const ComparisonSettings c = plainComparison(kVariantBitOriginal);
  auto cell = prepareCellImage(tile, cellSig, signatureOf(tile), nullptr, 37, 23, c);
  ASSERT_TRUE(cell);
  for (std::uint32_t i = 0; i < cell->pixelCount(); ++i) ASSERT_EQ(cell->pixels[i], kRed);
}

TEST(PrepareCellImage, ShiftMovesTowardsTheCellAndIsRecorded) {
  const Foto tile = halves(64, 64, makePixel(100, 100, 100), makePixel(100, 100, 100));
  ImageSignature cellSig =
      signatureOf(halves(12, 12, makePixel(150, 60, 100), makePixel(150, 60, 100)));
  cellSig.rotated = 1;
  ComparisonSettings c = plainComparison(kVariantBitOriginal);
  c.setShiftLimit(20);
  CellRenderInfo record;
  auto cell = prepareCellImage(tile, cellSig, signatureOf(tile), &record, 16, 16, c);
  ASSERT_TRUE(cell);
  // The picture gets the offsets the comparison scored the tile with.
  const ColourOffsets expected = colourShift(c, signatureOf(tile), cellSig);
  EXPECT_GT(expected.r, 0);
  EXPECT_LT(expected.g, 0);
  EXPECT_EQ(record.offsetRed, expected.r);
  EXPECT_EQ(record.offsetGreen, expected.g);
  EXPECT_EQ(record.offsetBlue, expected.b);
  EXPECT_EQ(record.cellRotated, 1);
  EXPECT_EQ(record.tileRotated, 0);
  EXPECT_EQ(cell->at(5, 5), makePixel(100 + expected.r, 100 + expected.g, 100 + expected.b));
}

TEST(PrepareCellImage, FullBlendReplacesOpaquePixelsByTheCellThumbnail) {
  const Foto tile = halves(64, 64, kRed, kBlue);
  // A cell whose thumbnail is green above and yellow below.
  const Pixel green = makePixel(20, 200, 40);
  const Pixel yellow = makePixel(240, 230, 10);
  const ImageSignature cellSig = signatureOf(halves(120, 120, green, yellow));
  ComparisonSettings c = plainComparison(kVariantBitOriginal);
  c.blendStrength = 255;
  auto cell = prepareCellImage(tile, cellSig, signatureOf(tile), nullptr, 24, 24, c);
  ASSERT_TRUE(cell);
  EXPECT_EQ(cell->at(3, 2), green);
  EXPECT_EQ(cell->at(20, 22), yellow);
  // Halfway between two thumbnail rows the colour is interpolated.
  const Pixel middle = cell->at(3, 11);
  EXPECT_GT(pixelRed(middle), pixelRed(green));
  EXPECT_LT(pixelRed(middle), pixelRed(yellow));
}

TEST(PrepareCellImage, BlendMatchesItsPlainFormBitForBit) {
  // Random thumbnails (with transparent and part-transparent pixels, and turned ones) blended into
  // random pictures of odd sizes at every kind of strength.
  std::mt19937 random(23);
  std::uniform_int_distribution<std::uint32_t> byte(0, 255);
  std::uniform_int_distribution<std::uint32_t> side(1, 90);
  for (int round = 0; round < 300; ++round) {
    ImageSignature signature;
    for (Pixel& value : signature.values) {
      const std::uint32_t kind = byte(random) % 4;
      const std::uint32_t t = kind == 0 ? 0 : kind == 1 ? 255 : byte(random);
      value = makePixel(byte(random), byte(random), byte(random), t);
    }
    signature.rotated = round % 3 == 0 ? 1 : 0;
    Foto image;
    ASSERT_TRUE(image.create(side(random), side(random)));
    for (std::uint32_t i = 0; i < image.width * image.height; ++i)
      image.pixels[i] = makePixel(byte(random), byte(random), byte(random), byte(random) % 2);
    Foto plain;
    ASSERT_TRUE(plain.copyFrom(image));
    const std::uint32_t strength = round % 5 == 0 ? 255 + round : byte(random);
    blendTowardsThumbnail(image, signature, strength);
    blendTowardsThumbnailReference(plain, signature, strength);
    ASSERT_EQ(0, std::memcmp(image.pixels, plain.pixels, image.width * image.height * 4))
        << image.width << " x " << image.height << ", strength " << strength;
  }
}

TEST(PrepareCellImage, NoAllowedVariantFails) {
  const Foto tile = halves(16, 16, kRed, kBlue);
  const ComparisonSettings c = plainComparison(kVariantBitMirror);  // mirror alone allows nothing
  EXPECT_FALSE(prepareCellImage(tile, signatureOf(tile), signatureOf(tile), nullptr, 8, 8, c));
}

// ---- Video frame counts --------------------------------------------------------------------

class VideoFrameChoice : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::uint16_t counts[] = {100, 250, 250};
    const std::uint16_t rates[] = {12500, 12500, 15000};
    for (int i = 0; i < 3; ++i) {
      FotoInfo& clip = m_tiles.emplace_back();
      clip.frameCount = counts[i];
      clip.frameRate = rates[i];
    }
    for (FotoInfo& tile : m_tiles) {
      auto& cell = *m_store.emplace_back(std::make_unique<PuzzleInfo>());
      cell.active = 1;
      cell.tile = &tile;
      m_cells.push_back(&cell);
    }
  }
  VideoFrames choose(const char* count, const char* rate) {
    m_advanced.setRowValue(AdvancedRow::FrameCountFromVideoTile, count);
    m_advanced.setRowValue(AdvancedRow::FrameRateFromVideoTile, rate);
    m_advanced.setRowValue(AdvancedRow::FrameCountFromImage, "30");
    m_advanced.setRowValue(AdvancedRow::FrameRateFromImage, "12.5");
    return chooseVideoFrames(m_cells, m_advanced);
  }
  AdvancedSettings m_advanced{true};
  std::deque<FotoInfo> m_tiles;  // stable addresses for the cells
  std::vector<std::unique_ptr<PuzzleInfo>> m_store;
  std::vector<PuzzleInfo*> m_cells;
};

TEST_F(VideoFrameChoice, FromTheClipsInUse) {
  EXPECT_EQ(choose("", ""), (VideoFrames{500, 12500}));
  EXPECT_EQ(choose("MAX*2", "FREQ"), (VideoFrames{500, 12500}));
  EXPECT_EQ(choose("AVG", "FREQ"), (VideoFrames{200, 12500}));
  EXPECT_EQ(choose("120", "FREQ"), (VideoFrames{120, 12500}));
  EXPECT_EQ(choose("max * 2", "FREQ*0.5"), (VideoFrames{500, 6250}));
  EXPECT_EQ(choose("MIN", "MAX"), (VideoFrames{100, 15000}));
  EXPECT_EQ(choose("MAX", "24"), (VideoFrames{250, 12000})) << "a plain rate is frames per second";
  EXPECT_EQ(choose("0", "FREQ"), (VideoFrames{30, 6000}))
      << "a zero count falls back to the image rows";
}

TEST_F(VideoFrameChoice, WithoutClipsTheImageRowsDecide) {
  for (FotoInfo& tile : m_tiles) {
    tile.frameCount = 0;
    tile.frameRate = 0;
  }
  EXPECT_EQ(choose("MAX*2", "FREQ"), (VideoFrames{30, 6000}));
  m_advanced.setRowValue(AdvancedRow::FrameCountFromImage, "");
  m_advanced.setRowValue(AdvancedRow::FrameRateFromImage, "0");
  EXPECT_EQ(chooseVideoFrames(m_cells, m_advanced), (VideoFrames{10, 5000}));
}

TEST_F(VideoFrameChoice, TiesOfTheMostFrequentRateGoToTheLowest) {
  m_tiles[1].frameRate = 15000;  // 12500 once, 15000 twice
  EXPECT_EQ(choose("MAX", "FREQ").rate, 15000u);
  m_tiles[2].frameRate = 10000;  // one each
  EXPECT_EQ(choose("MAX", "FREQ").rate, 10000u);
}

// ---- Preview --------------------------------------------------------------------------------

TEST(Preview, BudgetByCellCount) {
  EXPECT_EQ(previewBudget(500), 300u);
  EXPECT_EQ(previewBudget(501), 500u);
  EXPECT_EQ(previewBudget(5000), 1000u);
  EXPECT_EQ(previewBudget(7999), 1400u);
  EXPECT_EQ(previewBudget(13999), 1600u);
  EXPECT_EQ(previewBudget(14000), 0u);
}

TEST(Preview, ComposedFromSignaturesWhenMoreThanHalfTheCellsArePasted) {
  MosaicJob job;
  const ComparisonSettings c = plainComparison(kVariantBitOriginal);
  FotoInfo tile;
  tile.path = "/nowhere/never-read.jpg";
  tile.signature = signatureOf(halves(12, 12, kRed, kRed));
  std::vector<std::unique_ptr<PuzzleInfo>> store;
  std::vector<PuzzleInfo*> cells;
  for (int i = 0; i < 4; ++i) {
    auto& cell = *store.emplace_back(std::make_unique<PuzzleInfo>());
    cell.shape.setBox((i / 2) * 400, (i % 2) * 500, 500, 400);
    cell.tile = i < 2 ? &tile : nullptr;
    cell.signature = tile.signature;
    cells.push_back(&cell);
  }
  // Two of four cells is not more than half.
  EXPECT_FALSE(composePreview(job, cells, 1000, 800, 0, c));
  cells[2]->tile = &tile;
  auto preview = composePreview(job, cells, 1000, 800, makePixel(1, 2, 3), c);
  ASSERT_TRUE(preview);
  EXPECT_EQ(preview->width, 300u);
  EXPECT_EQ(preview->height, 240u);
  EXPECT_EQ(preview->at(50, 50), kRed);
  EXPECT_EQ(preview->at(250, 200), makePixel(1, 2, 3, 255)) << "the cell without a tile";
  EXPECT_FALSE(composePreview(job, cells, 10, 800, 0, c));
  job.setStopRequest(true);
  EXPECT_FALSE(composePreview(job, cells, 1000, 800, 0, c));
}

}  // namespace
}  // namespace tg
