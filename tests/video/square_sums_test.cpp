// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/square_sums.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "clip_maker.h"
#include "imaging/foto.h"
#include "imaging/image_signature.h"
#include "support/scratch_dir.h"
#include "video/avi_stream.h"

namespace tg {
namespace {

void expectSameSignature(const ImageSignature& a, const ImageSignature& b) {
  EXPECT_EQ(a.valid, b.valid);
  EXPECT_EQ(a.opaque, b.opaque);
  EXPECT_EQ(a.rotated, b.rotated);
  for (std::size_t i = 0; i < a.values.size(); ++i) {
    ASSERT_EQ(a.values[i], b.values[i]) << "value " << i;
  }
}

// The signature `buildSignature` makes of the `width` × `height` rectangle at (left, top).
ImageSignature resampledSignature(const Foto& image, std::uint32_t left, std::uint32_t top,
                                  std::uint32_t width, std::uint32_t height) {
  Foto cut;
  EXPECT_TRUE(cut.create(width, height));
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) cut.at(x, y) = image.row(top + y)[left + x];
  }
  ImageSignature signature;
  EXPECT_TRUE(buildSignature(cut, true, signature));
  return signature;
}

// Box sums give the resampler's signature bit for bit, in vector and in plain code, on boxes of
// sizes that are no whole vectors; squares the thumbnail does not divide into whole pixels, or
// that sit half a pixel off, are left to the resampler.
TEST(SquareSums, SignatureEqualsTheResampledOneBitForBit) {
  std::uint32_t seed = 7;
  Foto image;
  ASSERT_TRUE(image.create(220, 140));
  // The same picture with its fourth bytes set, as the converter may leave them.
  Foto padded;
  ASSERT_TRUE(padded.create(220, 140));
  for (std::size_t i = 0; i < image.pixelCount(); ++i) {
    seed = seed * 1664525u + 1013904223u;
    image.pixels[i] = seed & 0x00FFFFFFu;
    padded.pixels[i] = image.pixels[i] | (seed >> 24 | 1) << 24;
  }
  struct Rect {
    std::uint32_t left, top, width, height;
  };
  for (const Rect r : {Rect{0, 0, 100, 60}, Rect{3, 5, 86, 60}, Rect{10, 1, 36, 50},
                       Rect{2, 0, 96, 72}, Rect{1, 2, 218, 132}, Rect{0, 0, 220, 120}}) {
    SCOPED_TRACE(std::to_string(r.left) + "," + std::to_string(r.top) + " " +
                 std::to_string(r.width) + "x" + std::to_string(r.height));
    std::uint32_t x = 0;
    std::uint32_t y = 0;
    std::uint32_t box = 0;
    ASSERT_TRUE(SquareSums::signatureSquare(r.left, r.top, r.width, r.height, x, y, box));
    SquareSums vector(x, y, box, 12);
    SquareSums plain(x, y, box, 12);
    SquareSums clearing(x, y, box, 12);
    Foto cleared;
    ASSERT_TRUE(cleared.create(padded.width, padded.height));
    std::copy(padded.pixels, padded.pixels + padded.pixelCount(), cleared.pixels);
    // In bands, as the frame reader adds them; rows outside the square are skipped.
    for (std::uint32_t band = 0; band < image.height; band += 16) {
      vector.addRows(image, band, std::min(band + 16, image.height));
      plain.addRowsPlain(image, band, std::min(band + 16, image.height));
      clearing.addRowsClearingPadding(cleared, band, std::min(band + 16, image.height));
    }
    for (std::uint32_t i = 0; i < 144; ++i) {
      for (int c = 0; c < 4; ++c) {
        ASSERT_EQ(vector.box(i % 12, i / 12)[c], plain.box(i % 12, i / 12)[c]);
        ASSERT_EQ(clearing.box(i % 12, i / 12)[c], plain.box(i % 12, i / 12)[c]);
      }
    }
    // The square's pixels lost their fourth byte, no other pixel changed.
    for (std::uint32_t py = 0; py < padded.height; ++py) {
      for (std::uint32_t px = 0; px < padded.width; ++px) {
        const bool inSquare = px >= x && px < x + 12 * box && py >= y && py < y + 12 * box;
        ASSERT_EQ(cleared.at(px, py), inSquare ? image.at(px, py) : padded.at(px, py));
      }
    }
    ImageSignature summed;
    ASSERT_TRUE(vector.signature(summed));
    expectSameSignature(summed, resampledSignature(image, r.left, r.top, r.width, r.height));
  }
  std::uint32_t x = 0;
  std::uint32_t y = 0;
  std::uint32_t box = 0;
  EXPECT_FALSE(SquareSums::signatureSquare(0, 0, 100, 66, x, y, box));  // 66 is no multiple of 12
  EXPECT_FALSE(SquareSums::signatureSquare(0, 0, 61, 60, x, y, box));   // half a pixel off
  // Transparent pixels, or rows missing, leave it to the resampler too.
  SquareSums partial(0, 0, 5, 12);
  partial.addRows(image, 0, 59);
  ImageSignature none;
  EXPECT_FALSE(partial.signature(none));
  image.pixels[0] |= 0x01000000u;
  SquareSums transparent(0, 0, 5, 12);
  transparent.addRows(image, 0, 60);
  EXPECT_FALSE(transparent.signature(none));
}

// Decoded video frames summed during their conversion (only the square converted) against the
// resampled signature of the whole converted frame.
TEST(SquareSums, FramesSummedWhileConvertedMatchTheirResampledSignature) {
  if (!test::haveFfmpegTools()) GTEST_SKIP() << "the ffmpeg tool is not installed";
  test::ScratchDir dir;
  const std::string path = dir.file("clip.mp4");
  ASSERT_TRUE(test::makeClip(path, 160, 96, 6, "25", {"-c:v", "libx264", "-bf", "2"}));
  CAviStream reader;
  ASSERT_TRUE(reader.open(path));
  for (std::uint32_t k = 0; k < 6; ++k) {
    Foto whole;
    ASSERT_TRUE(reader.frameImage(k, whole));
    // The whole frame, and a rectangle whose square lies elsewhere.
    for (const auto& [left, top, width, height] :
         {std::tuple{0u, 0u, 160u, 96u}, std::tuple{20u, 10u, 110u, 72u}}) {
      std::uint32_t x = 0;
      std::uint32_t y = 0;
      std::uint32_t box = 0;
      ASSERT_TRUE(SquareSums::signatureSquare(left, top, width, height, x, y, box));
      SquareSums sums(x, y, box, 12);
      const CAviStream::FramePart square{x, y, box * 12 + 1, box * 12 + 1};
      CAviStream::HeldFramePtr held = reader.holdFrame(k);
      ASSERT_TRUE(held);
      Foto converted;
      ASSERT_TRUE(CAviStream::convertFrame(*held, converted, &square, &sums));
      ImageSignature summed;
      ASSERT_TRUE(sums.signature(summed)) << k;
      expectSameSignature(summed, resampledSignature(whole, left, top, width, height));
    }
  }
}

}  // namespace
}  // namespace tg
