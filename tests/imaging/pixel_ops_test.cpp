// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <tuple>

#include <gtest/gtest.h>

#include "imaging/foto.h"
#include "test_pictures.h"

namespace tg {
namespace {

Foto solid(std::uint32_t w, std::uint32_t h, Pixel colour) {
  Foto image;
  EXPECT_TRUE(image.createQuiet(w, h));
  image.fill(colour);
  return image;
}

// Distinct pixels: the value tells where the pixel came from.
Foto numbered(std::uint32_t w, std::uint32_t h) {
  Foto image;
  EXPECT_TRUE(image.createQuiet(w, h));
  for (std::uint32_t y = 0; y < h; ++y) {
    for (std::uint32_t x = 0; x < w; ++x) image.at(x, y) = 100 * y + x;
  }
  return image;
}

// ---- Variants -------------------------------------------------------------------------------

struct VariantCase {
  int variant;
  bool swaps;
  // Where source (x, y) of a W x H image lands.
  std::pair<std::uint32_t, std::uint32_t> (*place)(std::uint32_t x, std::uint32_t y,
                                                   std::uint32_t w, std::uint32_t h);
};

const VariantCase kVariants[] = {
    {1, false,
     [](auto x, auto y, auto, auto) {
       return std::pair{x, y};
     }},
    {2, false,
     [](auto x, auto y, auto w, auto) {
       return std::pair{w - 1 - x, y};
     }},
    {3, false,
     [](auto x, auto y, auto, auto h) {
       return std::pair{x, h - 1 - y};
     }},
    {4, false,
     [](auto x, auto y, auto w, auto h) {
       return std::pair{w - 1 - x, h - 1 - y};
     }},
    {5, true,
     [](auto x, auto y, auto, auto h) {
       return std::pair{h - 1 - y, x};
     }},
    {6, true,
     [](auto x, auto y, auto w, auto) {
       return std::pair{y, w - 1 - x};
     }},
    {7, true,
     [](auto x, auto y, auto, auto) {
       return std::pair{y, x};
     }},
    {8, true,
     [](auto x, auto y, auto w, auto h) {
       return std::pair{h - 1 - y, w - 1 - x};
     }},
};

TEST(Variants, EveryVariantMovesEveryPixelWhereTheTableSays) {
  const Foto source = numbered(3, 2);
  for (const VariantCase& c : kVariants) {
    SCOPED_TRACE(c.variant);
    auto result = applyVariant(source, c.variant);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->width, c.swaps ? 2u : 3u);
    EXPECT_EQ(result->height, c.swaps ? 3u : 2u);
    for (std::uint32_t y = 0; y < 2; ++y) {
      for (std::uint32_t x = 0; x < 3; ++x) {
        const auto [px, py] = c.place(x, y, 3, 2);
        EXPECT_EQ(result->at(px, py), source.at(x, y));
      }
    }
    Foto inPlace;
    ASSERT_TRUE(inPlace.copyFrom(source));
    ASSERT_TRUE(applyVariantInPlace(inPlace, c.variant));
    EXPECT_EQ(std::memcmp(inPlace.pixels, result->pixels, 6 * sizeof(Pixel)), 0);
  }
}

TEST(Variants, QuarterTurnPutsTheTopLeftPixelTopRight) {
  const Foto source = numbered(3, 2);
  auto turned = applyVariant(source, kVariantRotated90);
  ASSERT_TRUE(turned);
  EXPECT_EQ(turned->width, 2u);
  EXPECT_EQ(turned->height, 3u);
  EXPECT_EQ(turned->at(1, 0), source.at(0, 0));
}

TEST(Variants, RotateAnglesAndInvalidValues) {
  const Foto source = numbered(3, 2);
  const std::pair<int, int> angles[] = {{0, 1}, {90, 5}, {180, 4}, {-180, 4}, {270, 6}, {-90, 6}};
  for (const auto& [degrees, variant] : angles) {
    SCOPED_TRACE(degrees);
    auto a = rotate(source, degrees);
    auto b = applyVariant(source, variant);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->width, b->width);
    EXPECT_EQ(std::memcmp(a->pixels, b->pixels, 6 * sizeof(Pixel)), 0);
  }
  EXPECT_FALSE(rotate(source, 45));
  EXPECT_FALSE(applyVariant(source, 0));
  EXPECT_FALSE(applyVariant(source, 9));
  Foto image;
  ASSERT_TRUE(image.copyFrom(source));
  EXPECT_FALSE(rotateInPlace(image, 30));
  EXPECT_FALSE(applyVariantInPlace(image, 9));
  EXPECT_EQ(image.width, 3u);  // untouched by the failures
  Foto empty;
  EXPECT_TRUE(applyVariantInPlace(empty, 1));
  EXPECT_FALSE(applyVariantInPlace(empty, 2));
  EXPECT_FALSE(mirror(empty));
  ASSERT_TRUE(mirrorInPlace(image));
  EXPECT_EQ(image.at(0, 0), source.at(2, 0));
  ASSERT_TRUE(flipInPlace(image));
  EXPECT_EQ(image.at(0, 0), source.at(2, 1));
}

// ---- Resampling -----------------------------------------------------------------------------

TEST(Resample, HalvingAveragesTwoByTwoBlocksExactly) {
  Foto source;
  ASSERT_TRUE(source.createQuiet(4, 4));
  for (std::uint32_t y = 0; y < 4; ++y) {
    for (std::uint32_t x = 0; x < 4; ++x) source.at(x, y) = makePixel(x * 10 + y, 2 * x, 100 + y);
  }
  auto half = resample(source, 2, 2, 4, 4, 0, 0);
  ASSERT_TRUE(half);
  for (std::uint32_t j = 0; j < 2; ++j) {
    for (std::uint32_t i = 0; i < 2; ++i) {
      unsigned r = 0, g = 0, b = 0;
      for (std::uint32_t y = 2 * j; y < 2 * j + 2; ++y) {
        for (std::uint32_t x = 2 * i; x < 2 * i + 2; ++x) {
          r += pixelRed(source.at(x, y));
          g += pixelGreen(source.at(x, y));
          b += pixelBlue(source.at(x, y));
        }
      }
      EXPECT_EQ(half->at(i, j), makePixel(r / 4, g / 4, b / 4, 0)) << i << "," << j;
    }
  }
}

TEST(Resample, EnlargingInterpolatesBetweenNeighbours) {
  Foto source;
  ASSERT_TRUE(source.createQuiet(4, 4));
  for (std::uint32_t y = 0; y < 4; ++y) {
    for (std::uint32_t x = 0; x < 4; ++x) source.at(x, y) = makePixel(x * 80, 0, 0);
  }
  auto big = resample(source, 8, 8, 4, 4, 0, 0);
  ASSERT_TRUE(big);
  // Output column 1 covers the right half of source column 0: its centre (0.75) lies between
  // columns 0 and 1, so the value is a quarter of the way to column 1 (80 x 0.25 = 20).
  EXPECT_EQ(pixelRed(big->at(1, 3)), 20u);
  EXPECT_EQ(pixelRed(big->at(0, 3)), 0u);
  EXPECT_EQ(pixelRed(big->at(2, 3)), 60u);
  EXPECT_EQ(pixelRed(big->at(7, 0)), 240u);  // the last column has no right neighbour
  // Monotonic along the ramp.
  for (std::uint32_t i = 1; i < 8; ++i)
    EXPECT_GE(pixelRed(big->at(i, 5)), pixelRed(big->at(i - 1, 5)));
}

TEST(Resample, ConstantImagesStayConstantForAnyRectangle) {
  std::mt19937 random(7);
  const Pixel colours[] = {makePixel(100, 37, 255), makePixel(1, 2, 3), makePixel(255, 255, 255),
                           makePixel(77, 0, 200, 0)};
  for (Pixel colour : colours) {
    const Foto source = solid(37, 23, colour);
    for (int round = 0; round < 200; ++round) {
      std::uniform_real_distribution<double> pos(0.0, 20.0);
      std::uniform_real_distribution<double> size(0.3, 17.0);
      std::uniform_int_distribution<std::uint32_t> out(1, 40);
      const double rx = pos(random) * 0.8, ry = pos(random) * 0.3;
      const double rw = size(random), rh = size(random) * 0.3 + 0.2;
      const std::uint32_t ow = out(random), oh = out(random);
      auto result = resample(source, ow, oh, rw, rh, rx, ry);
      ASSERT_TRUE(result);
      for (std::size_t i = 0; i < result->pixelCount(); ++i) {
        ASSERT_EQ(result->pixels[i], colour)
            << "rect " << rw << "x" << rh << "+" << rx << "+" << ry << " to " << ow << "x" << oh;
      }
    }
  }
}

TEST(Resample, TransparencyIsAveragedByOpacity) {
  const Foto clear = solid(4, 4, makePixel(200, 100, 50, 255));
  auto gone = resample(clear, 2, 2, 4, 4, 0, 0);
  ASSERT_TRUE(gone);
  EXPECT_EQ(gone->at(0, 0), kTransparentBlack);

  const Foto half = solid(4, 4, makePixel(200, 100, 50, 128));
  auto kept = resample(half, 3, 3, 4, 4, 0, 0);
  ASSERT_TRUE(kept);
  EXPECT_EQ(pixelRed(kept->at(1, 1)), 200u);
  EXPECT_EQ(pixelBlue(kept->at(2, 2)), 50u);
  EXPECT_NEAR(static_cast<int>(pixelT(kept->at(1, 1))), 128, 1);

  // One opaque and one transparent pixel: the colour is the opaque one's, not darkened.
  Foto mixed;
  ASSERT_TRUE(mixed.createQuiet(2, 1));
  mixed.at(0, 0) = makePixel(240, 0, 0, 0);
  mixed.at(1, 0) = makePixel(0, 0, 0, 255);
  auto one = resample(mixed, 1, 1, 2, 1, 0, 0);
  ASSERT_TRUE(one);
  EXPECT_EQ(pixelRed(one->at(0, 0)), 240u);
  EXPECT_NEAR(static_cast<int>(pixelT(one->at(0, 0))), 127, 1);
}

TEST(Resample, AreasOutsideTheSourceAreTransparentBlack) {
  const Foto source = solid(4, 4, makePixel(9, 9, 9));
  auto beyond = resample(source, 3, 2, 4, 4, 5, 0);
  ASSERT_TRUE(beyond);
  for (std::size_t i = 0; i < beyond->pixelCount(); ++i)
    EXPECT_EQ(beyond->pixels[i], kTransparentBlack);
  // Half of the rectangle below the source: the lower output row is empty.
  auto lower = resample(source, 2, 2, 4, 8, 0, 0);
  ASSERT_TRUE(lower);
  EXPECT_EQ(lower->at(0, 0), makePixel(9, 9, 9));
  EXPECT_EQ(lower->at(1, 1), kTransparentBlack);
}

TEST(Resample, InvalidArgumentsFailAndInPlaceKeepsTheImage) {
  const Foto source = numbered(4, 4);
  Foto empty;
  EXPECT_FALSE(resample(empty, 2, 2, 4, 4, 0, 0));
  EXPECT_FALSE(resample(source, 0, 2, 4, 4, 0, 0));
  EXPECT_FALSE(resample(source, 2, 0, 4, 4, 0, 0));
  EXPECT_FALSE(resample(source, 2, 2, 0, 4, 0, 0));
  EXPECT_FALSE(resample(source, 2, 2, 4, -1, 0, 0));
  EXPECT_FALSE(resample(source, 2, 2, 4, 4, -0.5, 0));
  EXPECT_FALSE(resample(source, 2, 2, 4, 4, 0, -1));
  Foto image;
  ASSERT_TRUE(image.copyFrom(source));
  const Pixel* before = image.pixels;
  EXPECT_TRUE(resampleInPlace(image, 4, 4, 4, 4, 0, 0));
  EXPECT_EQ(image.pixels, before);  // nothing to do
  EXPECT_FALSE(resampleInPlace(image, 2, 2, 0, 4, 0, 0));
  EXPECT_EQ(image.width, 4u);
  ASSERT_TRUE(resampleInPlace(image, 2, 1, 4, 4, 0, 0));
  EXPECT_EQ(image.width, 2u);
  EXPECT_EQ(image.height, 1u);
}

TEST(Resample, FitWithinKeepsTheAspect) {
  Foto image = test::patternImage(40, 30);
  ASSERT_TRUE(fitWithin(image, 20, 20));
  EXPECT_EQ(image.width, 20u);
  EXPECT_EQ(image.height, 15u);
  Foto tall = test::patternImage(30, 40);
  ASSERT_TRUE(fitWithin(tall, 100, 20));
  EXPECT_EQ(tall.width, 15u);
  EXPECT_EQ(tall.height, 20u);
  Foto empty;
  EXPECT_FALSE(fitWithin(empty, 10, 10));
}

TEST(Crop, IntegerAndRoundedAspectCrops) {
  using Row = std::tuple<std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                         std::uint32_t>;
  // w, h, aspect w:h -> w', h'
  const Row rows[] = {{100, 100, 4, 3, 100, 75}, {100, 50, 4, 3, 66, 50}, {5, 5, 1, 1000, 1, 5},
                      {1000, 3, 1, 1000, 1, 3},  {7, 9, 7, 9, 7, 9},      {10, 1, 100, 1, 10, 1}};
  for (const auto& [w, h, a, b, ew, eh] : rows) {
    std::uint32_t cw = w, ch = h;
    ASSERT_TRUE(cropToAspect(cw, ch, a, b));
    EXPECT_EQ(cw, ew) << w << "x" << h << " " << a << ":" << b;
    EXPECT_EQ(ch, eh) << w << "x" << h << " " << a << ":" << b;
  }
  std::uint32_t w = 0, h = 5;
  EXPECT_FALSE(cropToAspect(w, h, 1, 1));
  w = 5;
  EXPECT_FALSE(cropToAspect(w, h, 0, 1));
  EXPECT_EQ(h, 5u);

  // The rounded form on the 12 x 12 box of a signature.
  const std::tuple<double, double, std::uint32_t, std::uint32_t> rounded[] = {
      {300, 200, 12, 8}, {200, 300, 8, 12}, {1, 1000, 1, 12}, {1000, 1, 12, 1}, {13, 12, 12, 11}};
  for (const auto& [a, b, ew, eh] : rounded) {
    std::uint32_t rw = 12, rh = 12;
    ASSERT_TRUE(cropToAspectRounded(rw, rh, a, b));
    EXPECT_EQ(rw, ew) << a << ":" << b;
    EXPECT_EQ(rh, eh) << a << ":" << b;
  }
  std::uint32_t rw = 12, rh = 12;
  EXPECT_FALSE(cropToAspectRounded(rw, rh, 0, 1));
  EXPECT_FALSE(cropToAspectRounded(rw, rh, 1, -2));

  std::uint32_t sw = 40, sh = 30;
  squareCrop(sw, sh);
  EXPECT_EQ(sw, 30u);
  EXPECT_EQ(sh, 30u);
}

// ---- Paste ----------------------------------------------------------------------------------

TEST(Paste, BlendAveragesColoursAndKeepsTransparentSides) {
  const Pixel red = makePixel(255, 0, 0, 0);
  const Pixel blue = makePixel(0, 0, 255, 0);
  Foto target = solid(2, 1, blue);
  target.at(1, 0) = makePixel(9, 9, 9, 255);
  Foto source = solid(2, 1, makePixel(255, 0, 0, 40));
  ASSERT_TRUE(paste(source, target, 0, 0, kPasteBlend));
  EXPECT_EQ(target.at(0, 0), makePixel(127, 0, 127, 40));  // source T kept
  EXPECT_EQ(target.at(1, 0), makePixel(255, 0, 0, 40));    // over T = 255: the source
  Foto clearSource = solid(1, 1, makePixel(1, 2, 3, 255));
  Foto opaque = solid(1, 1, red);
  ASSERT_TRUE(paste(clearSource, opaque, 0, 0, kPasteBlend));
  EXPECT_EQ(opaque.at(0, 0), red);
}

TEST(Paste, KeyedAndCopyModes) {
  Foto source;
  ASSERT_TRUE(source.createQuiet(4, 1));
  source.at(0, 0) = makePixel(1, 1, 1, 249);
  source.at(1, 0) = makePixel(2, 2, 2, 250);
  source.at(2, 0) = makePixel(3, 3, 3, 255);
  source.at(3, 0) = makePixel(4, 4, 4, 0);
  const Pixel base = makePixel(50, 60, 70);
  Foto keyed = solid(4, 1, base);
  ASSERT_TRUE(paste(source, keyed, 0, 0, kPasteKeyed));
  EXPECT_EQ(keyed.at(0, 0), source.at(0, 0));
  EXPECT_EQ(keyed.at(1, 0), base);
  EXPECT_EQ(keyed.at(2, 0), base);
  EXPECT_EQ(keyed.at(3, 0), source.at(3, 0));
  Foto copied = solid(4, 1, base);
  ASSERT_TRUE(paste(source, copied, 0, 0, kPasteCopy | kPasteKeyed));  // copy wins
  for (std::uint32_t x = 0; x < 4; ++x) EXPECT_EQ(copied.at(x, 0), source.at(x, 0));
}

TEST(Paste, ClipsOnEverySideAndRefusesMisses) {
  const Foto source = numbered(3, 3);
  Foto target = solid(4, 4, 7);
  ASSERT_TRUE(paste(source, target, -1, -2, kPasteCopy));
  EXPECT_EQ(target.at(0, 0), source.at(1, 2));
  EXPECT_EQ(target.at(1, 0), source.at(2, 2));
  EXPECT_EQ(target.at(2, 0), 7u);
  EXPECT_EQ(target.at(0, 1), 7u);
  ASSERT_TRUE(paste(source, target, 3, 3, kPasteCopy));
  EXPECT_EQ(target.at(3, 3), source.at(0, 0));

  Foto untouched = solid(4, 4, 7);
  EXPECT_FALSE(paste(source, untouched, -3, 0, kPasteCopy));
  EXPECT_FALSE(paste(source, untouched, 4, 0, kPasteCopy));
  EXPECT_FALSE(paste(source, untouched, 0, -3, kPasteCopy));
  EXPECT_FALSE(paste(source, untouched, 0, 4, kPasteCopy));
  Foto empty;
  EXPECT_FALSE(paste(empty, untouched, 0, 0, kPasteCopy));
  EXPECT_FALSE(paste(source, empty, 0, 0, kPasteCopy));
  for (std::size_t i = 0; i < 16; ++i) EXPECT_EQ(untouched.pixels[i], 7u);
}

// ---- Colour ---------------------------------------------------------------------------------

TEST(Colour, GreyRoundingBlendAndDistance) {
  EXPECT_EQ(greyValue(makePixel(255, 255, 255)), 255u);
  EXPECT_EQ(greyValue(makePixel(1, 0, 0)), 0u);  // 30 < 50
  EXPECT_EQ(greyValue(makePixel(2, 0, 0)), 1u);  // 60 >= 50
  Foto image = solid(2, 1, makePixel(2, 0, 0, 77));
  ASSERT_TRUE(toGrey(image));
  EXPECT_EQ(image.at(1, 0), makePixel(1, 1, 1, 77));
  Foto empty;
  EXPECT_FALSE(toGrey(empty));

  EXPECT_EQ(blendPixel(makePixel(0, 100, 255, 33), makePixel(255, 0, 0), 0),
            makePixel(0, 100, 255, 33));
  EXPECT_EQ(blendPixel(makePixel(0, 100, 255, 33), makePixel(255, 0, 0), 255),
            makePixel(255, 0, 0, 33));
  // (200 x 51 + 100 x 204) / 255 = 120
  EXPECT_EQ(pixelRed(blendPixel(makePixel(100, 0, 0), makePixel(200, 0, 0), 51)), 120u);

  EXPECT_EQ(colourDistance(makePixel(1, 2, 3, 0), makePixel(4, 6, 3, 255)), 25u);
  EXPECT_EQ(colourDistance(makePixel(0, 0, 0), makePixel(255, 255, 255)), 3u * 255 * 255);
}

TEST(Colour, ShiftLevelsClampsAndKeepsTransparency) {
  Foto image = solid(1, 1, makePixel(100, 100, 100, 9));
  ASSERT_TRUE(shiftLevels(image, 300, -300, 55));
  EXPECT_EQ(image.at(0, 0), makePixel(255, 0, 155, 9));
  ASSERT_TRUE(shiftLevels(image, -1000, 1000, 0));
  EXPECT_EQ(image.at(0, 0), makePixel(0, 255, 155, 9));
  ASSERT_TRUE(shiftLevels(image, 0, 0, 0));
  EXPECT_EQ(image.at(0, 0), makePixel(0, 255, 155, 9));
}

TEST(Colour, OpacityWeightedAverage) {
  PixelAverage blackAndWhite;
  for (int i = 0; i < 8; ++i) blackAndWhite.add(makePixel(0, 0, 0));
  blackAndWhite.add(makePixel(255, 255, 255));
  EXPECT_EQ(blackAndWhite.average(), makePixel(28, 28, 28, 0));

  PixelAverage red;
  red.add(makePixel(255, 0, 0));
  for (int i = 0; i < 8; ++i) red.add(makePixel(0, 0, 0, 255));
  EXPECT_EQ(red.average(), makePixel(255, 0, 0, 226));

  PixelAverage clear;
  clear.add(makePixel(80, 80, 80, 255));
  EXPECT_EQ(clear.average(), makePixel(0, 0, 0, 255));
}

// ---- Masks ----------------------------------------------------------------------------------

TEST(Masks, ApplyMaskSetsTransparencyFromTheBitmap) {
  FotoMask mask;
  mask.setBox(0, 0, 3, 2);
  Foto image = solid(3, 2, makePixel(1, 2, 3, 100));
  ASSERT_TRUE(applyMask(image, mask));  // no bitmap: all opaque
  EXPECT_EQ(image.at(2, 1), makePixel(1, 2, 3, 0));
  ASSERT_TRUE(mask.allocateBitmap(6));
  EXPECT_EQ(mask.wordCapacity, 2u);
  mask.setBit(1, true);
  mask.setBit(5, true);
  ASSERT_TRUE(applyMask(image, mask));
  EXPECT_EQ(pixelT(image.at(0, 0)), 255u);
  EXPECT_EQ(pixelT(image.at(1, 0)), 0u);
  EXPECT_EQ(pixelT(image.at(2, 1)), 0u);
  EXPECT_EQ(pixelT(image.at(1, 1)), 255u);
  EXPECT_EQ(pixelRed(image.at(0, 0)), 1u);
  // The bit layout: four pixels per word in bits 0-3.
  EXPECT_EQ(mask.bits[0], 0x2u);
  EXPECT_EQ(mask.bits[1], 0x2u);

  FotoMask emptyCell;
  emptyCell.width = 3;
  emptyCell.height = 2;
  ASSERT_TRUE(applyMask(image, emptyCell));
  for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(pixelT(image.pixels[i]), 255u);
  FotoMask wrong;
  wrong.setBox(0, 0, 2, 2);
  EXPECT_FALSE(applyMask(image, wrong));
}

TEST(Masks, ToFotoIncludePointAndCopies) {
  FotoMask mask;
  mask.setBox(10, 20, 2, 2);
  ASSERT_TRUE(mask.allocateBitmap(4));
  mask.setBit(3, true);
  auto image = toFoto(mask, makePixel(9, 8, 7));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->at(1, 1), makePixel(9, 8, 7));
  EXPECT_EQ(image->at(0, 0), kTransparentBlack);

  FotoMask copy = mask;
  EXPECT_TRUE(copy.bit(3));
  copy.setBit(3, false);
  EXPECT_TRUE(mask.bit(3));  // copies do not share the bitmap

  ASSERT_TRUE(includePoint(mask, 15, 18));
  EXPECT_EQ(mask.top, 10);
  EXPECT_EQ(mask.left, 18);
  EXPECT_EQ(mask.width, 4);
  EXPECT_EQ(mask.height, 6);
  EXPECT_EQ(mask.area, 24u);
  EXPECT_FALSE(mask.hasBitmap());
  auto whole = toFoto(mask, 5);
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->at(3, 5), 5u);

  FotoMask none;
  EXPECT_FALSE(includePoint(none, 1, 1));
  EXPECT_FALSE(toFoto(none, 5));
}

TEST(Masks, ExtractRectCopiesASubRectangleOrDropsTheBitmap) {
  // A 5 x 3 source; take the 3 x 2 block starting at column 1, row 1 (w = 3, gap = 2).
  FotoMask source;
  source.setBox(0, 0, 5, 3);
  ASSERT_TRUE(source.allocateBitmap(15));
  for (std::uint32_t i : {6u, 8u, 12u, 13u}) source.setBit(i, true);
  FotoMask target;
  target.setBox(1, 1, 3, 2);
  ASSERT_TRUE(extractRect(target, source, 2, 3, 2, 6));
  EXPECT_EQ(target.bitCount, 6u);
  const bool expected[] = {true, false, true, false, true, true};
  for (std::uint32_t i = 0; i < 6; ++i) EXPECT_EQ(target.bit(i), expected[i]) << i;
  EXPECT_EQ(target.width, 3);  // box untouched

  // Needs h x (gap + w) + firstBit - gap = 2 x 5 + 7 - 2 = 15 bits: just enough.
  EXPECT_TRUE(extractRect(target, source, 2, 3, 2, 7));
  // One bit more than the source holds: dropped.
  EXPECT_FALSE(extractRect(target, source, 2, 3, 2, 8));
  EXPECT_FALSE(target.hasBitmap());
  FotoMask plain;
  ASSERT_TRUE(extractRect(target, source, 2, 3, 2, 6));
  EXPECT_FALSE(extractRect(target, plain, 0, 1, 1, 0));
  EXPECT_FALSE(target.hasBitmap());
}

}  // namespace
}  // namespace tg
