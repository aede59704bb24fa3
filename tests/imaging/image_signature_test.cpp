// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/image_signature.h"

#include <cstdint>
#include <cstring>

#include <gtest/gtest.h>

#include "imaging/foto.h"
#include "test_pictures.h"

namespace tg {
namespace {

constexpr std::size_t kThumb = ImageSignature::kFirstThumbnail;

Foto solid(std::uint32_t w, std::uint32_t h, Pixel colour) {
  Foto image;
  EXPECT_TRUE(image.createQuiet(w, h));
  image.fill(colour);
  return image;
}

void expectThumbnailEquals(const ImageSignature& signature, const Foto& expected) {
  ASSERT_EQ(expected.width, 12u);
  ASSERT_EQ(expected.height, 12u);
  for (std::size_t i = 0; i < 144; ++i) {
    EXPECT_EQ(signature.values[kThumb + i], expected.pixels[i]) << "element " << kThumb + i;
  }
}

TEST(SquareSignature, UsesTheCentredSquare) {
  // A 40 x 30 picture: columns 0-4 and 35-39 lie outside the 30 x 30 square starting at x = 5.
  Foto source = test::patternImage(40, 30);
  for (std::uint32_t y = 0; y < 30; ++y) {
    for (std::uint32_t x : {0u, 4u, 35u, 39u}) source.at(x, y) = makePixel(255, 0, 0, 0);
  }
  ImageSignature signature;
  ASSERT_TRUE(buildSignature(source, true, signature));
  EXPECT_EQ(signature.valid, 1);
  EXPECT_EQ(signature.rotated, 0);
  EXPECT_EQ(signature.opaque, 1);
  auto expected = resample(source, 12, 12, 30, 30, 5, 0);
  ASSERT_TRUE(expected);
  expectThumbnailEquals(signature, *expected);

  // One column more puts the origin on half a pixel.
  const Foto wider = test::patternImage(41, 30);
  ASSERT_TRUE(buildSignature(wider, true, signature));
  auto half = resample(wider, 12, 12, 30, 30, 5.5, 0);
  ASSERT_TRUE(half);
  expectThumbnailEquals(signature, *half);
}

TEST(SquareSignature, RefusesRectanglesAndEmptySources) {
  const Foto source = test::patternImage(10, 10);
  ImageSignature signature;
  ASSERT_TRUE(buildSignature(source, true, signature));
  EXPECT_FALSE(buildSignature(source, true, signature, 5, 5, 0, 0));
  EXPECT_EQ(signature.valid, 0);
  EXPECT_FALSE(buildSignature(source, true, signature, 0, 0, 1, 0));
  Foto empty;
  EXPECT_FALSE(buildSignature(empty, true, signature));
  EXPECT_FALSE(buildSignature(empty, false, signature));
}

struct FitCase {
  double w, h;
  std::uint32_t left, top, width, height;
};

TEST(FitSignature, LetterBoxesTheRectangle) {
  const Foto source = solid(1000, 1000, makePixel(40, 50, 60));
  const FitCase cases[] = {{1, 1000, 5, 0, 1, 12},
                           {1000, 1, 0, 5, 12, 1},
                           {300, 200, 0, 2, 12, 8},
                           {200, 300, 2, 0, 8, 12},
                           {500, 500, 0, 0, 12, 12}};
  for (const FitCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
    ImageSignature signature;
    ASSERT_TRUE(buildSignature(source, false, signature, c.w, c.h, 10, 20));
    EXPECT_EQ(signature.opaque, c.width == 12 && c.height == 12 ? 1 : 0);
    for (std::uint32_t y = 0; y < 12; ++y) {
      for (std::uint32_t x = 0; x < 12; ++x) {
        const bool inside =
            x >= c.left && x < c.left + c.width && y >= c.top && y < c.top + c.height;
        EXPECT_EQ(signature.thumbnail(x, y), inside ? makePixel(40, 50, 60) : kTransparentBlack)
            << x << "," << y;
      }
    }
  }
}

TEST(FitSignature, FailsWhenTheCellShowsNothing) {
  const Foto faint = solid(50, 50, makePixel(1, 2, 3, 250));
  ImageSignature signature;
  EXPECT_FALSE(buildSignature(faint, false, signature, 10, 10, 0, 0));
  EXPECT_EQ(signature.valid, 0);
  const Foto source = solid(50, 50, makePixel(1, 2, 3));
  EXPECT_FALSE(buildSignature(source, false, signature, 10, 10, 60, 0));  // beyond the right
  EXPECT_FALSE(buildSignature(source, false, signature, 10, 10, 0, 50));  // beyond the bottom
  EXPECT_FALSE(buildSignature(source, false, signature, -1, 10, 0, 0));
  EXPECT_TRUE(buildSignature(source, false, signature, 10, 10, 45, 0));  // half inside
  EXPECT_EQ(signature.valid, 1);
  EXPECT_EQ(signature.opaque, 0);
  // The whole image when the rectangle is all 0.
  EXPECT_TRUE(buildSignature(source, false, signature));
  EXPECT_EQ(signature.opaque, 1);
}

TEST(SignatureAverages, WholeAndBlockAverages) {
  ImageSignature signature;
  for (std::size_t i = 0; i < 144; ++i) signature.values[kThumb + i] = makePixel(10, 20, 30);
  recomputeAverages(signature);
  for (std::size_t i = 0; i < 17; ++i) EXPECT_EQ(signature.values[i], makePixel(10, 20, 30));
  EXPECT_EQ(signature.opaque, 1);

  // Block (1, 2): eight black and one white pixel; block (3, 0): one red among transparent.
  for (std::size_t y = 6; y < 9; ++y) {
    for (std::size_t x = 3; x < 6; ++x) signature.values[kThumb + x + 12 * y] = makePixel(0, 0, 0);
  }
  signature.values[kThumb + 4 + 12 * 7] = makePixel(255, 255, 255);
  for (std::size_t y = 0; y < 3; ++y) {
    for (std::size_t x = 9; x < 12; ++x) {
      signature.values[kThumb + x + 12 * y] = makePixel(0, 0, 0, 255);
    }
  }
  signature.values[kThumb + 10 + 12 * 1] = makePixel(255, 0, 0);
  recomputeAverages(signature);
  EXPECT_EQ(signature.block(1, 2), makePixel(28, 28, 28));
  EXPECT_EQ(signature.values[1 + 1 + 4 * 2], makePixel(28, 28, 28));
  EXPECT_EQ(signature.block(3, 0), makePixel(255, 0, 0, 226));
  EXPECT_EQ(signature.opaque, 0);
  EXPECT_EQ(signature.block(0, 0), makePixel(10, 20, 30));
}

TEST(SignatureAverages, BuiltSignaturesKeepTheirInvariants) {
  Foto source = test::patternImage(57, 33);
  source.at(3, 3) = makePixel(1, 1, 1, 128);
  ImageSignature built;
  ASSERT_TRUE(buildSignature(source, false, built, 40, 30, 3.25, 1.5));
  ImageSignature recomputed = built;
  recomputeAverages(recomputed);
  EXPECT_EQ(recomputed, built);
}

TEST(SignatureGrey, UsesTheRoundedGreyAndRecomputes) {
  ImageSignature signature;
  for (std::size_t i = 0; i < 144; ++i) signature.values[kThumb + i] = makePixel(1, 0, 0);
  signature.values[kThumb + 5] = makePixel(2, 0, 0, 200);
  signatureToGrey(signature);
  EXPECT_EQ(signature.values[kThumb], makePixel(0, 0, 0));
  EXPECT_EQ(signature.values[kThumb + 5], makePixel(1, 1, 1, 200));
  EXPECT_EQ(signature.values[0], makePixel(0, 0, 0, 1));  // 200 x 256 / (144 x 256) = 1
}

TEST(SignatureThumbnail, RotatedFlagTurnsTheThumbnailClockwise) {
  ImageSignature signature;
  for (std::size_t i = 0; i < 144; ++i) signature.values[kThumb + i] = static_cast<Pixel>(i);
  auto plain = signatureThumbnail(signature);
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->at(0, 0), 0u);
  EXPECT_EQ(plain->at(11, 11), 143u);
  signature.rotated = 1;
  auto turned = signatureThumbnail(signature);
  ASSERT_TRUE(turned);
  EXPECT_EQ(turned->at(11, 0), 0u);  // stored top-left appears top-right
  EXPECT_EQ(turned->at(0, 0), 132u);
}

}  // namespace
}  // namespace tg
