// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/comparison_settings.h"

#include <algorithm>
#include <cmath>

#include "config/advanced_settings.h"
#include "job/mosaic_settings.h"
#include "video/reverse_loop.h"

namespace tg {

namespace {

std::array<std::uint32_t, kGradedTableSize> buildGradedTable() {
  std::array<std::uint32_t, kGradedTableSize> table{};
  for (std::size_t h = 0; h < kGradedTableSize; ++h) {
    std::uint32_t value = static_cast<std::uint32_t>(h);
    if (h >= 20) value += static_cast<std::uint32_t>(std::trunc(std::pow(h - 19.0, 1.5)));
    if (h >= 100) value += static_cast<std::uint32_t>((h - 99) * (h - 99));
    table[h] = value;
  }
  return table;
}

// Shares of the overall average, the blocks and the pixels by detail level.
struct DetailShares {
  double average;
  double block;
  double pixel;
};

DetailShares detailShares(long level) {
  switch (level) {
    case 2:
      return {100, 0, 0};
    case 3:
      return {70, 20, 10};
    case 4:
      return {50, 30, 20};
    case 6:
      return {10, 30, 60};
    case 7:
      return {0, 20, 80};
    case 8:
      return {0, 0, 100};
    default:
      return {25, 25, 50};
  }
}

// Blend share of the renderer by `ColorChangePriority` id; the rest of the colour change is
// spent on shifting the tile's colours.
long blendShare(long colorChangePriority) {
  switch (colorChangePriority) {
    case 1:
      return 0;
    case 2:
      return 25;
    case 4:
      return 75;
    case 5:
      return 100;
    default:
      return 50;
  }
}

std::uint32_t weightFor(double share, double scaled) {
  auto weight = static_cast<std::uint32_t>(std::trunc(scaled));
  if (weight == 0 && share > 0) weight = 1;
  return weight;
}

void configureChannelsAndWeights(const AdvancedSettings& advanced, long detailLevel,
                                 ComparisonSettings& target) {
  target.setChannelPriorities(advanced.rowDouble(AdvancedRow::PriorityRed),
                              advanced.rowDouble(AdvancedRow::PriorityGreen),
                              advanced.rowDouble(AdvancedRow::PriorityBlue));
  setDetailWeights(target, detailLevel, advanced.rowDouble(AdvancedRow::MediumDetail));
}

}  // namespace

ComparisonSettings::ComparisonSettings() {
  setChannelPriorities(1, 1, 1);
  setDetailWeights(*this, 5, -1);
  setShiftLimit(25);
}

void ComparisonSettings::setChannelPriorities(double red, double green, double blue) {
  red = std::clamp(red, 0.0, 100.0);
  green = std::clamp(green, 0.0, 100.0);
  blue = std::clamp(blue, 0.0, 100.0);
  for (int d = -kChannelTableReach; d <= kChannelTableReach; ++d) {
    const double magnitude = std::abs(d);
    channelTableR[d + kChannelTableReach] = static_cast<std::uint32_t>(magnitude * red);
    channelTableG[d + kChannelTableReach] = static_cast<std::uint32_t>(magnitude * green);
    channelTableB[d + kChannelTableReach] = static_cast<std::uint32_t>(magnitude * blue);
  }
  divisor = std::max<std::uint32_t>(1, static_cast<std::uint32_t>((red + green + blue) / 3));
}

void ComparisonSettings::setShiftLimit(std::uint32_t limit) {
  shiftLimit = std::min<std::uint32_t>(limit, kShiftClampReach);
  const int reach = static_cast<int>(shiftLimit);
  for (int i = -kShiftClampReach; i <= kShiftClampReach; ++i) {
    shiftClamp[i + kShiftClampReach] = static_cast<std::int16_t>(std::clamp(i, -reach, reach));
  }
}

std::span<const std::uint32_t, kGradedTableSize> gradedTable() {
  static const std::array<std::uint32_t, kGradedTableSize> table = buildGradedTable();
  return table;
}

long effectiveDetailLevel(long imageDetail, std::size_t tileCount) {
  if (imageDetail != 1) return imageDetail;
  if (tileCount == 0) return 5;
  if (tileCount < 100) return 3;
  if (tileCount < 1000) return 4;
  if (tileCount < 10000) return 5;
  if (tileCount < 30000) return 6;
  return 7;
}

void setDetailWeights(ComparisonSettings& target, long level, double mediumDetail) {
  DetailShares shares = detailShares(level);
  if (mediumDetail >= 0) shares.block = mediumDetail <= 100 ? 2 * mediumDetail : 200;
  const double a = shares.average;
  const double m = shares.block;
  const double e = shares.pixel;
  double l = ((m + a) + e) / 3;
  if (l <= 0) l = 1;
  target.weightAverage = weightFor(a, (a / l) * 144);
  target.weightBlock = weightFor(m, ((m / l) * 144) * 0.0625);
  target.weightPixel = weightFor(e, ((e / l) * 144) / 144);
}

bool configureComparison(const MosaicSettings& settings, std::size_t tileCount,
                         ComparisonSettings& target) {
  if (!settings.colorChange.inRange()) return false;
  const AdvancedSettings& advanced = settings.advanced;
  configureChannelsAndWeights(advanced, effectiveDetailLevel(settings.imageDetail.value, tileCount),
                              target);
  target.response = static_cast<int>(settings.imageCompare.value);
  target.variantBits = settings.tileVariants.value;

  const long f = settings.colorChange.value;
  const long b = blendShare(settings.colorChangePriority.value);
  target.blendStrength = static_cast<std::uint32_t>(255 * f * b / 100 / 100);
  target.setShiftLimit(static_cast<std::uint32_t>(255 * f * (100 - b) / 100 / 100));
  configureReverseLoop(advanced.rowValue(AdvancedRow::ReverseLoop));
  return true;
}

bool configureComparison(const MosaicSettings& settings, std::size_t tileCount) {
  return configureComparison(settings, tileCount, comparisonSettings());
}

void configureComparisonForExtraction(const AdvancedSettings& advanced,
                                      ComparisonSettings& target) {
  configureChannelsAndWeights(advanced, effectiveDetailLevel(1, 0), target);
  configureReverseLoop(advanced.rowValue(AdvancedRow::ReverseLoop));
}

void configureComparisonForExtraction(const AdvancedSettings& advanced) {
  configureComparisonForExtraction(advanced, comparisonSettings());
}

ComparisonSettings& comparisonSettings() {
  static ComparisonSettings settings;
  return settings;
}

}  // namespace tg
