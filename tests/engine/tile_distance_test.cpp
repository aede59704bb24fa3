// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/tile_distance.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/advanced_settings.h"
#include "engine/comparison_settings.h"
#include "imaging/foto.h"
#include "imaging/image_signature.h"
#include "job/mosaic_settings.h"
#include "video/reverse_loop.h"

namespace tg {
namespace {

constexpr std::uint32_t kAllVariants = 2 | 4 | 8 | 16 | 32 | 64;

// A signature whose thumbnail pixel (x, y) is `pixel(x, y)`, with averages recomputed.
template <typename F>
ImageSignature makeSignature(F pixel) {
  ImageSignature s;
  for (std::size_t y = 0; y < 12; ++y) {
    for (std::size_t x = 0; x < 12; ++x) s.values[17 + x + 12 * y] = pixel(x, y);
  }
  recomputeAverages(s);
  s.valid = 1;
  return s;
}

// A picture without any symmetry: every pixel differs from every other.
ImageSignature asymmetric() {
  return makeSignature([](std::size_t x, std::size_t y) {
    return makePixel(static_cast<std::uint32_t>(10 + 17 * x),
                     static_cast<std::uint32_t>(5 + 19 * y),
                     static_cast<std::uint32_t>((x * 12 + y) % 200), 0);
  });
}

ImageSignature uniform(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return makeSignature([&](std::size_t, std::size_t) { return makePixel(r, g, b, 0); });
}

// The signature of `s`'s thumbnail after `applyVariant(code)`.
ImageSignature transformed(const ImageSignature& s, int code) {
  Foto image;
  EXPECT_TRUE(image.create(12, 12));
  for (std::uint32_t y = 0; y < 12; ++y) {
    for (std::uint32_t x = 0; x < 12; ++x) image.at(x, y) = s.thumbnail(x, y);
  }
  auto turned = applyVariant(image, code);
  EXPECT_TRUE(turned);
  return makeSignature([&](std::size_t x, std::size_t y) {
    return turned->at(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y));
  });
}

ComparisonSettings plainSettings(std::uint32_t variantBits) {
  ComparisonSettings s;
  s.variantBits = variantBits;
  s.setShiftLimit(0);
  return s;
}

TEST(VariantPermutation, MovesTheTileElementsAsTheVariantTurnsThePicture) {
  const ImageSignature tile = asymmetric();
  for (int code = 1; code <= 8; ++code) {
    SCOPED_TRACE(code);
    const ImageSignature placed = transformed(tile, code);
    const auto perm = variantPermutation(code);
    for (std::size_t k = 0; k < ImageSignature::kValueCount; ++k) {
      EXPECT_EQ(placed.values[k], tile.values[perm[k]]) << "element " << k;
    }
  }
}

TEST(AllowedVariants, FollowTheTurnsAndTheirMirrors) {
  auto codes = [](std::uint32_t bits) {
    const VariantList list = allowedVariants(bits);
    return std::string(list.codes.begin(), list.codes.begin() + list.count);
  };
  EXPECT_EQ(codes(kAllVariants), std::string({1, 4, 6, 5, 7, 8, 2, 3}));
  EXPECT_EQ(codes(2), std::string({1}));
  EXPECT_EQ(codes(4), std::string());
  EXPECT_EQ(codes(8), std::string());
  EXPECT_EQ(codes(6), std::string({1, 2}));
  EXPECT_EQ(codes(40), std::string({5, 8}));
  EXPECT_EQ(codes(16 | 4), std::string({4, 3}));
  EXPECT_EQ(codes(16 | 8), std::string({4, 2}));
  EXPECT_EQ(codes(64 | 4), std::string({6, 8}));
  EXPECT_EQ(codes(64 | 8), std::string({6, 7}));
  EXPECT_EQ(codes(102), std::string({1, 6, 5, 7, 8, 2}));
}

TEST(BestVariant, IdenticalSignaturesMatchInTheOriginalAndUniformTilesInTheLastVariant) {
  const ComparisonSettings s = plainSettings(kAllVariants);
  const ImageSignature picture = asymmetric();
  int variant = -1;
  EXPECT_EQ(bestVariant(s, kNoMatch, picture, picture, &variant), 0u);
  EXPECT_EQ(variant, 1);

  const ImageSignature grey = uniform(90, 90, 90);
  EXPECT_EQ(bestVariant(s, kNoMatch, grey, grey, &variant), 0u);
  EXPECT_EQ(variant, 3);
}

TEST(BestVariant, FindsTheTurnThatMatchesWithinTheAllowedSet) {
  const ImageSignature cell = asymmetric();
  const ImageSignature mirrored = transformed(cell, 2);
  int variant = 0;

  // Mirrored again it matches exactly; with the original only it scores as it is.
  EXPECT_EQ(bestVariant(plainSettings(6), kNoMatch, cell, mirrored, &variant), 0u);
  EXPECT_EQ(variant, 2);
  const std::uint32_t unmirrored =
      bestVariant(plainSettings(2), kNoMatch, cell, mirrored, &variant);
  EXPECT_GT(unmirrored, 0u);
  EXPECT_NE(unmirrored, kNoMatch);
  EXPECT_EQ(variant, 1);

  // A tile turned a quarter counter-clockwise (code 6) is put back by a clockwise turn (5).
  EXPECT_EQ(bestVariant(plainSettings(40), kNoMatch, cell, transformed(cell, 6), &variant), 0u);
  EXPECT_EQ(variant, 5);

  // "mirror" alone allows nothing.
  variant = 7;
  EXPECT_EQ(bestVariant(plainSettings(4), kNoMatch, cell, cell, &variant), kNoMatch);
  EXPECT_EQ(variant, 0);
}

TEST(BestVariant, RotatedTilesAreTurnedBackBeforeTheirVariants) {
  const ImageSignature cell = asymmetric();
  // Stored a quarter counter-clockwise, as lists of earlier versions keep portrait pictures.
  ImageSignature stored = transformed(cell, 6);
  stored.rotated = 1;
  int variant = 0;
  EXPECT_EQ(bestVariant(plainSettings(kAllVariants), kNoMatch, cell, stored, &variant), 0u);
  EXPECT_EQ(variant, 1);

  ImageSignature storedMirror = transformed(transformed(cell, 2), 6);
  storedMirror.rotated = 1;
  EXPECT_EQ(bestVariant(plainSettings(6), kNoMatch, cell, storedMirror, &variant), 0u);
  EXPECT_EQ(variant, 2);
}

TEST(BestVariant, LimitsAcceptEqualDistancesOnly) {
  const ComparisonSettings s = plainSettings(2);
  const ImageSignature cell = uniform(100, 100, 100);
  const ImageSignature tile = uniform(110, 100, 100);
  const std::uint32_t d = bestVariant(s, kNoMatch, cell, tile);
  ASSERT_GT(d, 0u);
  EXPECT_EQ(bestVariant(s, d, cell, tile), d);
  EXPECT_EQ(bestVariant(s, d - 1, cell, tile), kNoMatch);
  EXPECT_EQ(bestVariant(s, 0, cell, tile), kNoMatch);
  EXPECT_EQ(bestVariant(s, 0, cell, cell), 0u);
}

TEST(BestVariant, WeighsElementsByTheCellsTransparency) {
  ComparisonSettings s = plainSettings(2);
  s.response = kResponseWeaker;
  s.setChannelPriorities(100, 100, 100);
  ImageSignature cell = uniform(100, 100, 100);
  ImageSignature tile = cell;
  // One thumbnail pixel differs by 30 in red: h = 30, v = 30 x weightPixel.
  tile.values[17 + 5] = makePixel(130, 100, 100, 0);
  const std::uint32_t v = 30 * s.weightPixel;
  EXPECT_EQ(bestVariant(s, kNoMatch, cell, tile), v);

  cell.values[17 + 5] = makePixel(100, 100, 100, 128);
  EXPECT_EQ(bestVariant(s, kNoMatch, cell, tile), v - (v * 128) / 255);
  cell.values[17 + 5] = makePixel(100, 100, 100, 255);
  EXPECT_EQ(bestVariant(s, kNoMatch, cell, tile), 0u);
  // The tile's own transparency is ignored.
  tile.values[17 + 6] = makePixel(100, 100, 100, 255);
  EXPECT_EQ(bestVariant(s, kNoMatch, cell, tile), 0u);
}

TEST(BestVariant, ChannelPrioritiesAndResponses) {
  ComparisonSettings s = plainSettings(2);
  s.setChannelPriorities(100, 100, 100);
  EXPECT_EQ(s.divisor, 100u);
  s.setChannelPriorities(0, 100, 0);
  EXPECT_EQ(s.divisor, 33u);
  const ImageSignature cell = uniform(100, 100, 100);
  // Green alone counts: red and blue differences cost nothing.
  EXPECT_EQ(bestVariant(s, kNoMatch, cell, uniform(200, 100, 0)), 0u);
  EXPECT_GT(bestVariant(s, kNoMatch, cell, uniform(100, 101, 100)), 0u);

  // Every element of a tile 3 levels off in each channel has h = 9 with priorities 100 each;
  // the three responses weigh it as h, h x h and the graded table.
  s.setChannelPriorities(100, 100, 100);
  s.weightAverage = 1;
  s.weightBlock = 1;
  s.weightPixel = 1;
  const ImageSignature tile = uniform(103, 103, 103);
  s.response = kResponseWeaker;
  EXPECT_EQ(bestVariant(s, kNoMatch, cell, tile), 161u * 9);
  s.response = kResponseStronger;
  EXPECT_EQ(bestVariant(s, kNoMatch, cell, tile), 161u * 81);
  s.response = kResponseBest;
  EXPECT_EQ(bestVariant(s, kNoMatch, cell, tile), 161u * 9);
  const ImageSignature far = uniform(140, 140, 140);  // h = 120
  EXPECT_EQ(bestVariant(s, kNoMatch, cell, far), 161u * gradedTable()[120]);
  s.response = 4;
  EXPECT_EQ(bestVariant(s, kNoMatch, cell, cell), kNoMatch);
}

TEST(GradedTable, FollowsItsFormulaBeyondTheUsualRange) {
  const auto table = gradedTable();
  EXPECT_EQ(table[0], 0u);
  EXPECT_EQ(table[19], 19u);
  EXPECT_EQ(table[20], 21u);
  EXPECT_EQ(table[99], 99u + 715u);         // 80^1.5 = 715.5
  EXPECT_EQ(table[100], 100u + 729u + 1u);  // 81^1.5 = 729
  for (std::size_t h : {1199u, 1200u, 1275u, 1529u}) {
    const auto expected =
        static_cast<std::uint32_t>(h + std::trunc(std::pow(h - 19.0, 1.5)) + (h - 99) * (h - 99));
    EXPECT_EQ(table[h], expected) << h;
  }

  // The largest quotient any priorities can produce stays inside the table.
  for (double p = 0; p <= 100; p += 0.37) {
    for (double q : {0.0, 0.5, 1.99, p}) {
      ComparisonSettings s;
      s.setChannelPriorities(p, q, 1.99);
      const std::uint32_t term = s.channelR(255) + s.channelG(-255) + s.channelB(255);
      ASSERT_LT(term / s.divisor, kGradedTableSize) << p << " " << q;
    }
  }
}

TEST(ColourShift, MovesTheTileTowardsTheCellWithinTheLimit) {
  ComparisonSettings s;
  s.setShiftLimit(38);
  EXPECT_EQ(colourShift(s, uniform(0, 0, 0), uniform(128, 128, 128)), (ColourOffsets{37, 37, 37}));
  EXPECT_EQ(colourShift(s, uniform(128, 128, 128), uniform(0, 0, 0)),
            (ColourOffsets{-37, -37, -37}));
  EXPECT_EQ(colourShift(s, uniform(50, 60, 70), uniform(50, 60, 70)), (ColourOffsets{}));
  s.setShiftLimit(0);
  EXPECT_EQ(colourShift(s, uniform(0, 0, 0), uniform(255, 255, 255)), (ColourOffsets{}));
  s.setShiftLimit(255);
  // Red only: D = 30 x 200 / 100 = 60, g = 40, red residual 160 -> 53, others -40 -> -13.
  EXPECT_EQ(colourShift(s, uniform(0, 0, 0), uniform(200, 0, 0)), (ColourOffsets{93, 27, 27}));
}

TEST(BestVariant, ComparesTheTileAsTheRendererWillRecolourIt) {
  ComparisonSettings s = plainSettings(2);
  const ImageSignature cell = uniform(100, 100, 100);
  const ImageSignature tile = uniform(90, 90, 90);
  const std::uint32_t plain = bestVariant(s, kNoMatch, cell, tile);
  s.setShiftLimit(25);
  // Shifted by (7, 7, 7) the tile is 3 levels off instead of 10.
  EXPECT_EQ(colourShift(s, tile, cell), (ColourOffsets{7, 7, 7}));
  EXPECT_EQ(bestVariant(s, kNoMatch, cell, tile),
            bestVariant(plainSettings(2), kNoMatch, cell, uniform(97, 97, 97)));
  EXPECT_LT(bestVariant(s, kNoMatch, cell, tile), plain);
}

TEST(WeightedDistance, ScalesScoresAndLimitsByTheCellWeight) {
  EXPECT_EQ(weightedScore(1000, 40), 2000u);
  EXPECT_EQ(weightedScore(1000, 10), 500u);
  EXPECT_EQ(weightedScore(kNoMatch, 10), kNoMatch);
  EXPECT_EQ(weightedScore(0xF0000000u, 255), kMaxScore);
  EXPECT_EQ(unweightedLimit(2000, 40), 1001u);
  EXPECT_EQ(unweightedLimit(kNoMatch, 20), kNoMatch);
  // No limit stays no limit for heavy cells too, so that their worst match still counts.
  EXPECT_EQ(unweightedLimit(kNoMatch, 255), kNoMatch);
  EXPECT_EQ(unweightedLimit(0xFFFFFFFEu, 255), 336860180u);
  EXPECT_EQ(unweightedLimit(0xFFFFFFF0u, 1), kNoMatch);

  ComparisonSettings s = plainSettings(2);
  const ImageSignature cell = uniform(100, 100, 100);
  const ImageSignature tile = uniform(104, 100, 100);
  const std::uint32_t raw = bestVariant(s, kNoMatch, cell, tile);
  EXPECT_EQ(weightedDistance(s, kNoMatch, 40, cell, tile), 2 * raw);
  EXPECT_EQ(weightedDistance(s, 2 * raw, 40, cell, tile), 2 * raw);
  EXPECT_EQ(weightedDistance(s, raw - 1, 10, cell, tile), raw / 2);
  EXPECT_EQ(weightedDistance(s, raw / 2 - 1, 10, cell, tile), kNoMatch);
  const CellComparison prepared(s, cell, 40);
  EXPECT_EQ(prepared.distance(kNoMatch, tile), 2 * raw);
}

TEST(TileQuality, RanksScoresBetweenTheBestAndTheWorst) {
  EXPECT_EQ(tileQuality(200, 100, 300), 50);
  EXPECT_EQ(tileQuality(100, 100, 300), 100);
  EXPECT_EQ(tileQuality(300, 100, 300), 0);
  EXPECT_EQ(tileQuality(7, 7, 7), 100);
  EXPECT_EQ(tileQuality(0, 0, 0), 100);
}

// ---- Configuration ----------------------------------------------------------------------------

TEST(ConfigureComparison, BuildsTheTablesFromTheSettings) {
  MosaicSettings settings;
  settings.advanced.setRowValue(AdvancedRow::PriorityRed, "30");
  settings.advanced.setRowValue(AdvancedRow::PriorityGreen, "59");
  settings.advanced.setRowValue(AdvancedRow::PriorityBlue, "150");
  settings.advanced.setRowValue(AdvancedRow::MediumDetail, "-1");
  settings.advanced.setRowValue(AdvancedRow::ReverseLoop, " none ");
  settings.imageDetail.set(4);
  settings.imageCompare.set(3);
  settings.tileVariants.set(40);
  ComparisonSettings s;
  ASSERT_TRUE(configureComparison(settings, 5000, s));
  EXPECT_EQ(s.channelR(-10), 300u);
  EXPECT_EQ(s.channelG(10), 590u);
  EXPECT_EQ(s.channelB(-255), 25500u);
  EXPECT_EQ(s.divisor, 63u);  // (30 + 59 + 100) / 3
  EXPECT_EQ(s.response, 3);
  EXPECT_EQ(s.variantBits, 40u);
  EXPECT_EQ(s.weightAverage, 216u);
  EXPECT_EQ(s.weightBlock, 8u);
  EXPECT_EQ(s.weightPixel, 1u);
  // The default colour change of 30 % balanced.
  EXPECT_EQ(s.shiftLimit, 38u);
  EXPECT_EQ(s.blendStrength, 38u);
  EXPECT_EQ(s.clampShift(-100), -38);
  EXPECT_EQ(s.clampShift(20), 20);
  EXPECT_EQ(reverseLoopMode(), ReverseLoopMode::None);

  settings.colorChange.set(80);
  settings.colorChangePriority.set(1);
  ASSERT_TRUE(configureComparison(settings, 5000, s));
  EXPECT_EQ(s.shiftLimit, 204u);
  EXPECT_EQ(s.blendStrength, 0u);
  settings.colorChangePriority.set(5);
  ASSERT_TRUE(configureComparison(settings, 5000, s));
  EXPECT_EQ(s.shiftLimit, 0u);
  EXPECT_EQ(s.blendStrength, 204u);

  settings.colorChange.set(101);
  const ComparisonSettings before = s;
  settings.imageCompare.set(1);
  EXPECT_FALSE(configureComparison(settings, 5000, s));
  EXPECT_EQ(s.response, before.response);
  configureReverseLoop("ALL");
}

TEST(ConfigureComparison, DetailLevelsWeighCoarseAndFineElements) {
  struct Row {
    long level;
    std::uint32_t average, block, pixel;
  };
  for (const Row& row :
       {Row{2, 432, 0, 0}, Row{3, 302, 5, 1}, Row{4, 216, 8, 1}, Row{5, 108, 6, 1},
        Row{6, 43, 8, 1}, Row{7, 0, 5, 2}, Row{8, 0, 0, 3}, Row{0, 108, 6, 1}, Row{9, 108, 6, 1}}) {
    ComparisonSettings s;
    setDetailWeights(s, row.level, -1);
    EXPECT_EQ(s.weightAverage, row.average) << row.level;
    EXPECT_EQ(s.weightBlock, row.block) << row.level;
    EXPECT_EQ(s.weightPixel, row.pixel) << row.level;
  }
  // The medium-detail override replaces the blocks' share by twice its value (at most 200).
  ComparisonSettings s;
  setDetailWeights(s, 2, 50);  // A 100, M 100, E 0: L = 66.7
  EXPECT_EQ(s.weightAverage, 216u);
  EXPECT_EQ(s.weightBlock, 13u);
  EXPECT_EQ(s.weightPixel, 0u);
  setDetailWeights(s, 8, 0);
  EXPECT_EQ(s.weightBlock, 0u);
  EXPECT_EQ(s.weightPixel, 3u);
  setDetailWeights(s, 8, 500);  // M 200, E 100: L = 100
  EXPECT_EQ(s.weightBlock, 18u);
  EXPECT_EQ(s.weightPixel, 1u);

  EXPECT_EQ(effectiveDetailLevel(1, 0), 5);
  EXPECT_EQ(effectiveDetailLevel(1, 99), 3);
  EXPECT_EQ(effectiveDetailLevel(1, 100), 4);
  EXPECT_EQ(effectiveDetailLevel(1, 999), 4);
  EXPECT_EQ(effectiveDetailLevel(1, 9999), 5);
  EXPECT_EQ(effectiveDetailLevel(1, 29999), 6);
  EXPECT_EQ(effectiveDetailLevel(1, 30000), 7);
  EXPECT_EQ(effectiveDetailLevel(8, 10), 8);
}

TEST(ConfigureComparison, StartUpDefaultsAndExtraction) {
  const ComparisonSettings defaults;
  EXPECT_EQ(defaults.response, kResponseBest);
  EXPECT_EQ(defaults.shiftLimit, 25u);
  EXPECT_EQ(defaults.blendStrength, 0u);

  ComparisonSettings s;
  s.response = kResponseWeaker;
  s.setShiftLimit(99);
  AdvancedSettings advanced;
  advanced.setRowValue(AdvancedRow::PriorityRed, "100");
  advanced.setRowValue(AdvancedRow::PriorityGreen, "100");
  advanced.setRowValue(AdvancedRow::PriorityBlue, "100");
  advanced.setRowValue(AdvancedRow::MediumDetail, "-1");
  advanced.setRowValue(AdvancedRow::ReverseLoop, "necessary");
  configureComparisonForExtraction(advanced, s);
  EXPECT_EQ(s.divisor, 100u);
  EXPECT_EQ(s.weightAverage, 108u);
  EXPECT_EQ(s.response, kResponseWeaker);
  EXPECT_EQ(s.shiftLimit, 99u);
  EXPECT_EQ(reverseLoopMode(), ReverseLoopMode::Necessary);
  configureReverseLoop("ALL");
}

// ---- The fast form against the plain loop ----------------------------------------------------

Pixel randomPixel(std::mt19937& rng, bool transparent) {
  std::uniform_int_distribution<std::uint32_t> level(0, 255);
  std::uint32_t t = 0;
  if (transparent) {
    const std::uint32_t pick = level(rng);
    t = pick < 128 ? 0 : (pick < 200 ? 255 : level(rng));
  }
  return makePixel(level(rng), level(rng), level(rng), t);
}

ImageSignature randomSignature(std::mt19937& rng, bool transparent, const ImageSignature* near) {
  ImageSignature s;
  std::uniform_int_distribution<int> jitter(-12, 12);
  for (std::size_t k = 17; k < ImageSignature::kValueCount; ++k) {
    if (near != nullptr) {
      // A tile close to the cell, so that many variants survive and limits bite late.
      const Pixel p = near->values[k];
      s.values[k] =
          makePixel(static_cast<std::uint32_t>(levelClamp(pixelRed(p) + jitter(rng))),
                    static_cast<std::uint32_t>(levelClamp(pixelGreen(p) + jitter(rng))),
                    static_cast<std::uint32_t>(levelClamp(pixelBlue(p) + jitter(rng))), 0);
    } else {
      s.values[k] = randomPixel(rng, transparent);
    }
  }
  recomputeAverages(s);
  if (transparent && rng() % 2 == 0) s.values[3] = randomPixel(rng, true);
  return s;
}

ComparisonSettings randomSettings(std::mt19937& rng) {
  ComparisonSettings s;
  std::uniform_real_distribution<double> priority(0, 100);
  switch (rng() % 4) {
    case 0:
      s.setChannelPriorities(1, 1, 1);
      break;
    case 1:
      s.setChannelPriorities(30, 59, 11);
      break;
    case 2:
      s.setChannelPriorities(priority(rng) / 30, priority(rng) / 30, priority(rng) / 30);
      break;
    default:
      s.setChannelPriorities(priority(rng), priority(rng), priority(rng));
      break;
  }
  setDetailWeights(s, static_cast<long>(rng() % 9), rng() % 3 == 0 ? rng() % 120 : -1.0);
  s.response = 1 + static_cast<int>(rng() % 3);
  s.variantBits = static_cast<std::uint32_t>(rng() % 128);
  s.setShiftLimit(rng() % 2 == 0 ? 0 : rng() % 256);
  return s;
}

TEST(BestVariantSameness, FastFormsGiveThePlainLoopsResultsBitForBit) {
  // The fast form, a prepared cell and a prepared tile, each against the plain loop.
  std::mt19937 rng(20261209);
  int compared = 0;
  int matched = 0;
  int vectorised = 0;
  int ledBest = 0;
  for (int round = 0; round < 300; ++round) {
    const ComparisonSettings s = randomSettings(rng);
    const ImageSignature cell = randomSignature(rng, round % 3 == 0, nullptr);
    for (int t = 0; t < 40; ++t) {
      ImageSignature tile = randomSignature(rng, false, t % 2 == 0 ? &cell : nullptr);
      tile.rotated = static_cast<std::uint8_t>(rng() % 4 == 0);
      if (t % 10 == 0) tile = transformed(cell, 1 + static_cast<int>(rng() % 8));
      const std::uint32_t free = bestVariantReference(s, kNoMatch, cell, tile);
      const std::uint32_t base = free == kNoMatch ? 1000000 : free;
      const CellComparison prepared(s, cell, 1 + rng() % 255);
      const TileComparison preparedTile(s, tile);
      vectorised += prepared.vectorised() ? 1 : 0;
      for (std::uint32_t limit : {kNoMatch, base, base - 1, base + 1, base / 2, 0u,
                                  static_cast<std::uint32_t>(rng() % (2 * base + 1))}) {
        int expectedVariant = -1;
        int fastVariant = -1;
        int preparedVariant = -1;
        const std::uint32_t expected = bestVariantReference(s, limit, cell, tile, &expectedVariant);
        ASSERT_EQ(bestVariant(s, limit, cell, tile, &fastVariant), expected)
            << "round " << round << " tile " << t << " limit " << limit;
        ASSERT_EQ(fastVariant, expectedVariant) << "round " << round << " tile " << t;
        ASSERT_EQ(prepared.bestVariant(limit, tile, &preparedVariant), expected);
        ASSERT_EQ(preparedVariant, expectedVariant);
        ASSERT_EQ(prepared.distance(limit, tile),
                  weightedDistance(s, limit, prepared.weight(), cell, tile));
        ASSERT_EQ(preparedTile.distance(limit, cell, prepared.weight()),
                  weightedDistance(s, limit, prepared.weight(), cell, tile));
        ++compared;
        if (expected != kNoMatch) ++matched;
      }
      // The variant the blocks lead to: the same value and variant, never below the best.
      int ledVariant = -1;
      int expectedLedVariant = -1;
      const std::uint32_t led = blockLedVariantReference(s, cell, tile, &expectedLedVariant);
      ASSERT_EQ(prepared.blockLedDistance(tile, &ledVariant), weightedScore(led, prepared.weight()))
          << "round " << round << " tile " << t;
      ASSERT_EQ(ledVariant, expectedLedVariant);
      ASSERT_GE(led, free);
      if (led == free && free != kNoMatch) ++ledBest;
    }
  }
  // The vector loop ran wherever the processor has it, and both outcomes were exercised often.
  if (vector::avx2Available()) {
    EXPECT_GT(vectorised, 300 * 40 / 2);
  }
  EXPECT_GT(matched, compared / 10);
  EXPECT_LT(matched, compared - compared / 10);
  // Some pairs' blocks lead elsewhere than the best variant, most not.
  EXPECT_GT(ledBest, 300 * 40 / 2);
  EXPECT_LT(ledBest, 300 * 40);
}

// Sixteen cells against a run of tiles, each cell with its own limit that tightens as a
// candidate search would tighten it: every result is the plain loop's, on the vector path and on
// the portable one.
TEST(CellBlockSameness, BlockedComparisonsGiveThePlainLoopsResultsOnBothPaths) {
  std::mt19937 rng(1612);
  int compared = 0;
  int matched = 0;
  for (int round = 0; round < 60; ++round) {
    const ComparisonSettings s = randomSettings(rng);
    const std::size_t count = 1 + rng() % CellBlock::kCells;
    std::vector<ImageSignature> cells;
    std::vector<std::uint32_t> weights;
    for (std::size_t c = 0; c < count; ++c) {
      cells.push_back(randomSignature(rng, round % 4 == 0 && c % 2 == 0, nullptr));
      weights.push_back(c % 3 == 0 ? kNeutralWeight : 1 + rng() % 255);
    }
    std::vector<ImageSignature> tiles;
    for (int t = 0; t < 30; ++t) {
      ImageSignature tile = randomSignature(rng, false, t % 2 == 0 ? &cells[t % count] : nullptr);
      tile.rotated = static_cast<std::uint8_t>(rng() % 4 == 0);
      if (t % 7 == 0) tile = transformed(cells[t % count], 1 + static_cast<int>(rng() % 8));
      tiles.push_back(tile);
    }
    for (const CellComparison::Path path :
         {CellComparison::Path::Fastest, CellComparison::Path::Portable}) {
      std::vector<CellComparison> prepared;
      prepared.reserve(count);
      std::vector<const CellComparison*> pointers;
      for (std::size_t c = 0; c < count; ++c) {
        prepared.emplace_back(s, cells[c], weights[c], path);
        pointers.push_back(&prepared.back());
        if (path == CellComparison::Path::Portable) {
          EXPECT_FALSE(prepared.back().vectorised());
        }
      }
      const CellBlock block(pointers);
      ASSERT_EQ(block.size(), count);
      std::vector<std::uint32_t> limits(count, kNoMatch);
      std::vector<std::uint32_t> out(count, 0);
      for (std::size_t t = 0; t < tiles.size(); ++t) {
        // Now and then a limit exactly at, just below or far below the coming distance.
        for (std::size_t c = 0; c < count; ++c) {
          if (t % 5 != 4) continue;
          const std::uint32_t exact =
              weightedScore(bestVariantReference(s, kNoMatch, cells[c], tiles[t]), weights[c]);
          if (exact == kNoMatch) continue;
          const std::uint32_t pick = static_cast<std::uint32_t>(rng() % 3);
          limits[c] = pick == 0 ? exact : (pick == 1 ? (exact > 0 ? exact - 1 : 0) : exact / 3);
        }
        block.distances(tiles[t], limits.data(), out.data());
        for (std::size_t c = 0; c < count; ++c) {
          const std::uint32_t expected = weightedScore(
              bestVariantReference(s, unweightedLimit(limits[c], weights[c]), cells[c], tiles[t]),
              weights[c]);
          ASSERT_EQ(out[c], expected)
              << "round " << round << " cell " << c << " tile " << t << " limit " << limits[c];
          ++compared;
          if (expected != kNoMatch) {
            ++matched;
            limits[c] = std::min(limits[c], expected + static_cast<std::uint32_t>(rng() % 50));
          }
        }
        block.blockLedDistances(tiles[t], out.data());
        for (std::size_t c = 0; c < count; ++c) {
          ASSERT_EQ(out[c],
                    weightedScore(blockLedVariantReference(s, cells[c], tiles[t]), weights[c]))
              << "round " << round << " cell " << c << " tile " << t;
        }
      }
    }
  }
  EXPECT_GT(matched, compared / 10);
  EXPECT_LT(matched, compared - compared / 10);
}

// Tiles that meet the thumbnail's lower bound and the block's check of the averages from every
// side: near copies of a cell (limits bite late), pictures of levels near 0 and 255 side by side
// (any colour shift cuts levels off at one end), turned cells (equal variants) and random ones,
// under large and small shifts and byte-form priorities with divisors above 1. Each cell's limit
// is probed at the exact distance, one below and one above: a bound that overshot by one would
// lose a distance equal to its limit.
TEST(CellBlockSameness, SquareBoundsAndAverageChecksCutNothingAtTheLimit) {
  std::mt19937 rng(2312);
  std::uniform_int_distribution<std::uint32_t> low(0, 6);
  std::uniform_int_distribution<std::uint32_t> high(249, 255);
  int bounded = 0;
  int compared = 0;
  int matched = 0;
  for (int round = 0; round < 48; ++round) {
    ComparisonSettings s = randomSettings(rng);
    if (round % 3 != 2) {
      // Byte-form priorities (small integers), the divisor 1 to 4.
      s.setChannelPriorities(1 + rng() % 5, 1 + rng() % 5, 1 + rng() % 5);
    }
    s.setShiftLimit(round % 2 == 0 ? 255 : rng() % 60);
    const std::size_t count = 1 + rng() % CellBlock::kCells;
    std::vector<ImageSignature> cells;
    std::vector<std::uint32_t> weights;
    for (std::size_t c = 0; c < count; ++c) {
      cells.push_back(randomSignature(rng, c == 3, nullptr));
      weights.push_back(c % 2 == 0 ? kNeutralWeight : 1 + rng() % 255);
    }
    std::vector<ImageSignature> tiles;
    for (int t = 0; t < 20; ++t) {
      const ImageSignature& cell = cells[t % count];
      ImageSignature tile;
      switch (t % 4) {
        case 0:
          tile = randomSignature(rng, false, &cell);
          break;
        case 1:
          tile = makeSignature([&](std::size_t, std::size_t) {
            const auto level = [&] { return rng() % 2 == 0 ? low(rng) : high(rng); };
            return makePixel(level(), level(), level(), 0);
          });
          break;
        case 2:
          tile = transformed(cell, 1 + static_cast<int>(rng() % 8));
          break;
        default:
          tile = randomSignature(rng, false, nullptr);
          break;
      }
      tile.rotated = static_cast<std::uint8_t>(rng() % 3 == 0);
      tiles.push_back(tile);
    }
    std::vector<CellComparison> prepared;
    prepared.reserve(count);
    std::vector<const CellComparison*> pointers;
    for (std::size_t c = 0; c < count; ++c) {
      prepared.emplace_back(s, cells[c], weights[c]);
      pointers.push_back(&prepared.back());
      bounded += prepared.back().squaresBounded() ? 1 : 0;
    }
    const CellBlock block(pointers);
    std::vector<std::uint32_t> limits(count);
    std::vector<std::uint32_t> out(count);
    for (const ImageSignature& tile : tiles) {
      const TileSquares squares = tileSquares(tile);
      std::vector<std::uint32_t> exact(count);
      for (std::size_t c = 0; c < count; ++c) {
        exact[c] = weightedScore(bestVariantReference(s, kNoMatch, cells[c], tile), weights[c]);
      }
      for (int probe = 0; probe < 3; ++probe) {
        for (std::size_t c = 0; c < count; ++c) {
          const std::uint32_t e = exact[c] == kNoMatch ? 1000 : exact[c];
          limits[c] = probe == 0 ? e : (probe == 1 ? (e > 0 ? e - 1 : 0) : e + 1);
        }
        block.distances(tile, squares, limits.data(), out.data());
        for (std::size_t c = 0; c < count; ++c) {
          const std::uint32_t expected = weightedScore(
              bestVariantReference(s, unweightedLimit(limits[c], weights[c]), cells[c], tile),
              weights[c]);
          ASSERT_EQ(out[c], expected)
              << "round " << round << " cell " << c << " limit " << limits[c];
          ASSERT_EQ(prepared[c].distance(limits[c], tile, squares), expected);
          ++compared;
          matched += expected != kNoMatch ? 1 : 0;
        }
      }
    }
  }
  if (vector::avx2Available()) {
    EXPECT_GT(bounded, 48 * 4);
  }
  // Weighted limits round, so one below the exact distance still reaches it for some weights.
  EXPECT_GT(matched, compared / 2);
  EXPECT_GT(compared - matched, compared / 20);
}

// Squares of one level each make the thumbnail's bound exact for the squared response (no
// rounding in the mean, the response itself convex), so a bound one too high shows at once. One
// square of the tile is lifted past 255 by the colour shift and cut off there; the bound must
// count the cut.
TEST(CellBlockSameness, SquareBoundIsExactOnEvenSquaresAndCountsLevelsCutAt255) {
  ComparisonSettings s = plainSettings(kVariantBitOriginal);
  s.response = kResponseStronger;
  s.setShiftLimit(255);
  const auto squares = [](std::uint32_t first, std::uint32_t rest) {
    return makeSignature([=](std::size_t x, std::size_t y) {
      const std::uint32_t level = x < 3 && y < 3 ? first : rest + static_cast<std::uint32_t>(x / 3);
      return makePixel(level, level, level, 0);
    });
  };
  const ImageSignature cell = squares(255, 120);
  const ImageSignature tile = squares(250, 100);
  const CellComparison prepared(s, cell);
  if (vector::avx2Available()) {
    EXPECT_TRUE(prepared.squaresBounded());
  }
  const std::uint32_t exact = weightedScore(bestVariantReference(s, kNoMatch, cell, tile), 20);
  ASSERT_NE(exact, kNoMatch);
  const TileSquares tileSums = tileSquares(tile);
  const CellComparison* pointer = &prepared;
  const CellBlock block(std::span<const CellComparison* const>(&pointer, 1));
  // A cell limit L lets raw sums up to L + 1 through (neutral weight): the first limit puts the
  // raw limit at the distance itself, the second just below it.
  for (const std::uint32_t limit : {exact - 1, exact - 2}) {
    std::uint32_t out = 0;
    block.distances(tile, tileSums, &limit, &out);
    EXPECT_EQ(out, limit == exact - 1 ? exact : kNoMatch);
  }
}

TEST(CellBlock, TakesAtMostSixteenCells) {
  const ComparisonSettings s = plainSettings(kAllVariants);
  const ImageSignature cell = asymmetric();
  std::vector<CellComparison> prepared(20, CellComparison(s, cell));
  std::vector<const CellComparison*> pointers;
  for (const CellComparison& c : prepared) pointers.push_back(&c);
  const CellBlock block(pointers);
  EXPECT_EQ(block.size(), CellBlock::kCells);
  std::vector<std::uint32_t> limits(CellBlock::kCells, kNoMatch);
  std::vector<std::uint32_t> out(CellBlock::kCells, 1);
  block.distances(cell, limits.data(), out.data());
  for (const std::uint32_t d : out) EXPECT_EQ(d, 0u);
}

TEST(BlockDetail, VectorDistancesGiveThePlainSumsAndDetailsAreCutOffAtTheLevels) {
  // Details at the byte limits and random ones, any subset of them in any order, one to eight
  // layouts.
  std::mt19937 rng(23);
  std::vector<BlockDetail> tiles(40);
  for (std::size_t t = 0; t < tiles.size(); ++t) {
    for (auto& byte : tiles[t].bytes) byte = t == 0 ? 0 : t == 1 ? 255 : rng() % 256;
  }
  for (std::size_t layoutCount = 1; layoutCount <= 8; ++layoutCount) {
    std::vector<BlockDetail> layouts(layoutCount);
    for (auto& layout : layouts) {
      for (auto& byte : layout.bytes) byte = rng() % 3 == 0 ? 255 - rng() % 2 : rng() % 256;
    }
    std::vector<std::uint32_t> indices;
    for (std::uint32_t i = 0; i < tiles.size(); ++i) {
      if (rng() % 3 != 0) indices.push_back(i);
    }
    std::shuffle(indices.begin(), indices.end(), rng);
    std::vector<std::uint16_t> fast(indices.size());
    std::vector<std::uint16_t> plain(indices.size());
    detailDistances(tiles.data(), indices.data(), indices.size(), layouts.data(), layoutCount,
                    fast.data());
    vector::detailDistancesPortable(tiles.data(), indices.data(), indices.size(), layouts.data(),
                                    layoutCount, plain.data());
    EXPECT_EQ(fast, plain) << layoutCount << " layouts";
    for (std::size_t i = 0; i < indices.size(); ++i) {
      std::uint32_t best = 0xFFFF;
      for (const BlockDetail& layout : layouts) {
        std::uint32_t sum = 0;
        for (std::size_t b = 0; b < 64; ++b) {
          sum += static_cast<std::uint32_t>(
              std::abs(int{tiles[indices[i]].bytes[b]} - int{layout.bytes[b]}));
        }
        best = std::min(best, sum);
      }
      ASSERT_EQ(plain[i], best);
    }
  }
  // A block far above or below the average is cut off at 255 or 0; the fourth byte stays 0.
  ImageSignature signature = uniform(100, 100, 100);
  signature.values[ImageSignature::kFirstBlock] = makePixel(255, 0, 100, 0);
  signature.values[ImageSignature::kFirstBlock + 5] = makePixel(230, 20, 101, 0);
  const BlockDetail detail = blockDetail(signature);
  EXPECT_EQ(detail.bytes[0], 255);
  EXPECT_EQ(detail.bytes[1], 28);
  EXPECT_EQ(detail.bytes[2], 128);
  EXPECT_EQ(detail.bytes[3], 0);
  EXPECT_EQ(detail.bytes[20], 255);
  EXPECT_EQ(detail.bytes[21], 48);
  EXPECT_EQ(detail.bytes[22], 129);
  EXPECT_EQ(detail.bytes[4 * 15], 128);
}

}  // namespace
}  // namespace tg
