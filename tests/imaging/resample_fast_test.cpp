// SPDX-License-Identifier: GPL-3.0-or-later
// The fast resampling against the plain one: every pixel must match bit for bit.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "imaging/foto.h"
#include "imaging/resample_reference.h"
#include "imaging/resample_tables.h"

namespace tg {
namespace {

enum class Content { Noise, Transparency, Flat, Gradient };

// A picture of `content`: random colours; random colours with random transparency (including
// fully transparent and fully opaque pixels); one colour; a smooth ramp.
Foto picture(std::uint32_t w, std::uint32_t h, Content content, std::mt19937& random) {
  Foto image;
  EXPECT_TRUE(image.createQuiet(w, h));
  std::uniform_int_distribution<std::uint32_t> byte(0, 255);
  std::uniform_int_distribution<int> kind(0, 3);
  const Pixel flat = makePixel(byte(random), byte(random), byte(random), 0);
  for (std::uint32_t y = 0; y < h; ++y) {
    for (std::uint32_t x = 0; x < w; ++x) {
      Pixel p = 0;
      switch (content) {
        case Content::Noise:
          p = makePixel(byte(random), byte(random), byte(random), 0);
          break;
        case Content::Transparency: {
          const int k = kind(random);
          const std::uint32_t t = k == 0 ? 0 : k == 1 ? 255 : byte(random);
          p = makePixel(byte(random), byte(random), byte(random), t);
          break;
        }
        case Content::Flat:
          p = flat;
          break;
        case Content::Gradient:
          p = makePixel((x * 255) / w, (y * 255) / h, ((x + y) * 127) / (w + h), 0);
          break;
      }
      image.at(x, y) = p;
    }
  }
  return image;
}

struct Request {
  std::uint32_t outW, outH;
  double rectW, rectH, rectX, rectY;
};

std::string describe(const Foto& source, const Request& r) {
  return std::to_string(source.width) + "x" + std::to_string(source.height) + " -> " +
         std::to_string(r.outW) + "x" + std::to_string(r.outH) + " rect " +
         std::to_string(r.rectW) + "x" + std::to_string(r.rectH) + " at " +
         std::to_string(r.rectX) + "," + std::to_string(r.rectY);
}

// Both forms give the same answer: both fail, or both give the same size and the same pixels.
// The fast form is checked twice: with its AVX2 rows (where the processor has them) and without.
void expectSameIn(const Foto& source, const Request& r, bool vectorRows) {
  SCOPED_TRACE(describe(source, r) + (vectorRows ? " (AVX2 rows)" : " (portable rows)"));
  const bool previous = detail::QuadRowAverager::setEnabled(vectorRows);
  auto fast = resample(source, r.outW, r.outH, r.rectW, r.rectH, r.rectX, r.rectY);
  detail::QuadRowAverager::setEnabled(previous);
  auto plain = resampleReference(source, r.outW, r.outH, r.rectW, r.rectH, r.rectX, r.rectY);
  ASSERT_EQ(fast == nullptr, plain == nullptr);
  if (!fast) return;
  ASSERT_EQ(fast->width, plain->width);
  ASSERT_EQ(fast->height, plain->height);
  std::uint64_t differences = 0;
  std::uint32_t firstX = 0, firstY = 0;
  for (std::uint32_t y = 0; y < fast->height; ++y) {
    for (std::uint32_t x = 0; x < fast->width; ++x) {
      if (fast->at(x, y) == plain->at(x, y)) continue;
      if (differences++ == 0) {
        firstX = x;
        firstY = y;
      }
    }
  }
  EXPECT_EQ(differences, 0u) << "first at " << firstX << "," << firstY << ": " << std::hex
                             << fast->at(firstX, firstY) << " instead of "
                             << plain->at(firstX, firstY);
}

void expectSame(const Foto& source, const Request& r) {
  expectSameIn(source, r, true);
  expectSameIn(source, r, false);
}

TEST(ResampleFast, MatchesThePlainFormOnRandomSizesAndRectangles) {
  std::mt19937 random(20261209);
  std::uniform_int_distribution<std::uint32_t> side(1, 70);
  std::uniform_int_distribution<int> contentKind(0, 3);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int round = 0; round < 400; ++round) {
    const std::uint32_t w = side(random);
    const std::uint32_t h = side(random);
    const Foto source = picture(w, h, static_cast<Content>(contentKind(random)), random);
    Request r{};
    r.outW = side(random);
    r.outH = side(random);
    switch (round % 4) {
      case 0:  // the whole picture
        r = {r.outW, r.outH, double(w), double(h), 0, 0};
        break;
      case 1:  // an integral crop
        r.rectX = std::floor(unit(random) * w);
        r.rectY = std::floor(unit(random) * h);
        r.rectW = std::max(1.0, std::floor(unit(random) * (w - r.rectX)));
        r.rectH = std::max(1.0, std::floor(unit(random) * (h - r.rectY)));
        break;
      case 2:  // a fractional rectangle, partly beyond the picture at times
        r.rectX = unit(random) * w;
        r.rectY = unit(random) * h;
        r.rectW = 0.01 + unit(random) * 1.3 * w;
        r.rectH = 0.01 + unit(random) * 1.3 * h;
        break;
      default:  // a cell's crop: the aspect of the output, centred
        std::uint32_t cw = w, ch = h;
        ASSERT_TRUE(cropToAspect(cw, ch, r.outW, r.outH));
        r = {r.outW, r.outH, double(cw), double(ch), double((w - cw) >> 1), double((h - ch) >> 1)};
        break;
    }
    expectSame(source, r);
  }
}

TEST(ResampleFast, MatchesThePlainFormOnExactRatiosOneColourAndTransparency) {
  std::mt19937 random(7);
  // Downscales by whole factors (every fragment whole), half factors, and upscales; each on noise,
  // transparency and one flat colour, where rounding noise near whole values shows first.
  const Request requests[] = {
      {10, 10, 40, 40, 0, 0},     {20, 20, 40, 40, 0, 0},     {16, 16, 40, 40, 0, 0},
      {13, 7, 40, 40, 0, 0},      {80, 80, 40, 40, 0, 0},     {97, 41, 40, 40, 0, 0},
      {40, 40, 40, 40, 0, 0},     {39, 41, 40, 40, 0, 0},     {12, 12, 30, 30, 5.5, 3.25},
      {25, 25, 40, 40, 0.5, 0.5}, {3, 3, 40, 40, 39.5, 39.5}, {5, 5, 2.5, 2.5, 37.5, 0}};
  for (Content content :
       {Content::Noise, Content::Transparency, Content::Flat, Content::Gradient}) {
    const Foto source = picture(40, 40, content, random);
    for (const Request& r : requests) expectSame(source, r);
  }
}

TEST(ResampleFast, MatchesThePlainFormOnOnePixelPicturesAndHugeRatios) {
  std::mt19937 random(99);
  const Foto dot = picture(1, 1, Content::Transparency, random);
  const Foto line = picture(257, 1, Content::Noise, random);
  const Foto column = picture(1, 190, Content::Transparency, random);
  const Foto wide = picture(3000, 4, Content::Noise, random);
  for (const Foto* source : {&dot, &line, &column, &wide}) {
    const double w = source->width;
    const double h = source->height;
    const Request requests[] = {
        {1, 1, w, h, 0, 0},           {300, 200, w, h, 0, 0},    {1, 1, w / 3, h / 7, w / 2, 0},
        {2000, 3, w, h, 0, 0},        {7, 1500, w, h, 0, 0},     {5, 5, 1e-9, 1e-9, 0, 0},
        {3, 3, 1e-300, 1e-300, 0, 0}, {4, 4, 1e12, 1e12, 0, 0},  {4, 4, w, h, 1e15, 0},
        {2, 2, 1e308, 1e308, 0, 0},   {2, 2, INFINITY, h, 0, 0}, {1, 1, w, h, w - 1e-9, 0}};
    for (const Request& r : requests) expectSame(*source, r);
  }
}

TEST(ResampleFast, MatchesThePlainFormWhenAPixelSpansMoreRowsThanColumnSumsHold) {
  // 70,000 whole rows in one output row: more than 32-bit column sums of 255 x 255 can take, so
  // this takes the per-pixel path; 60,000 still fits the column sums. Opaque white is the worst
  // case for an overflow.
  std::mt19937 random(11);
  Foto white;
  ASSERT_TRUE(white.createQuiet(3, 70000));
  white.fill(makePixel(255, 255, 255, 0));
  const Foto noise = picture(2, 70000, Content::Transparency, random);
  for (const Foto* source : {static_cast<const Foto*>(&white), &noise}) {
    const double w = source->width;
    expectSame(*source, {1, 1, w, 70000, 0, 0});
    expectSame(*source, {2, 1, w, 60000, 0, 0});
    expectSame(*source, {1, 2, w, 70000, 0, 0});
    expectSame(*source, {3, 1, w, 69999.5, 0, 0.25});
  }
  auto one = resample(white, 1, 1, 3, 70000, 0, 0);
  ASSERT_TRUE(one);
  EXPECT_EQ(one->at(0, 0), makePixel(255, 255, 255, 0));
}

TEST(ResampleFast, FailsWhereThePlainFormFails) {
  std::mt19937 random(3);
  const Foto source = picture(4, 4, Content::Noise, random);
  const Foto empty;
  EXPECT_FALSE(resample(empty, 2, 2, 4, 4, 0, 0));
  for (const Request& r :
       {Request{0, 2, 4, 4, 0, 0}, Request{2, 0, 4, 4, 0, 0}, Request{2, 2, 0, 4, 0, 0},
        Request{2, 2, 4, -1, 0, 0}, Request{2, 2, 4, 4, -0.5, 0}, Request{2, 2, NAN, 4, 0, 0},
        Request{2, 2, 4, 4, 0, NAN}}) {
    expectSame(source, r);
    EXPECT_FALSE(resample(source, r.outW, r.outH, r.rectW, r.rectH, r.rectX, r.rectY));
  }
}

}  // namespace
}  // namespace tg
