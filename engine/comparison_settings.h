// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace tg {

class AdvancedSettings;
struct MosaicSettings;

/// Response curves of the comparison (`ImageCompare` ids).
inline constexpr int kResponseStronger = 1;  ///< h x h
inline constexpr int kResponseBest = 2;      ///< the graded table
inline constexpr int kResponseWeaker = 3;    ///< h

/// `TileVariants` bits.
inline constexpr std::uint32_t kVariantBitOriginal = 2;
inline constexpr std::uint32_t kVariantBitMirror = 4;
inline constexpr std::uint32_t kVariantBitFlip = 8;
inline constexpr std::uint32_t kVariantBitRotated180 = 16;
inline constexpr std::uint32_t kVariantBitRotated90 = 32;
inline constexpr std::uint32_t kVariantBitRotated270 = 64;

/// Largest difference a channel table is indexed by (either sign).
inline constexpr int kChannelTableReach = 350;
/// Largest value the shift clamp table is indexed by (either sign).
inline constexpr int kShiftClampReach = 684;
/// Largest value the level clamp table is indexed by (either sign).
inline constexpr int kLevelClampReach = 512;

/// Everything a tile comparison needs, derived from the mosaic and advanced settings by
/// `configureComparison`. A plain value: the process keeps one (`comparisonSettings()`), written
/// on the window thread while no job runs and read without locks by every thread that compares
/// tiles while a job runs. Tests and tools may build their own.
struct ComparisonSettings {
  /// trunc(|d| x priority) for a channel difference d in -350..350 (index d + 350).
  std::array<std::uint32_t, 2 * kChannelTableReach + 1> channelTableR{};
  std::array<std::uint32_t, 2 * kChannelTableReach + 1> channelTableG{};
  std::array<std::uint32_t, 2 * kChannelTableReach + 1> channelTableB{};
  /// max(1, trunc((PR + PG + PB) / 3)).
  std::uint32_t divisor = 1;
  std::uint32_t weightAverage = 108;  ///< element 0
  std::uint32_t weightBlock = 6;      ///< elements 1-16
  std::uint32_t weightPixel = 1;      ///< elements 17-160
  /// `kResponseStronger`, `kResponseBest` or `kResponseWeaker`; anything else matches nothing.
  int response = kResponseBest;
  /// The `TileVariants` bits: which tile variants may be used.
  std::uint32_t variantBits =
      kVariantBitOriginal | kVariantBitMirror | kVariantBitRotated90 | kVariantBitRotated270;
  /// Largest colour shift per channel, 0-255 (0: tiles are compared as they are).
  std::uint32_t shiftLimit = 25;
  /// Entry i + 684 = i limited to -shiftLimit..shiftLimit.
  std::array<std::int16_t, 2 * kShiftClampReach + 1> shiftClamp{};
  /// Strength of the renderer's blend towards the main image, 0-255 (not used in comparisons).
  std::uint32_t blendStrength = 0;

  /// The start-up defaults: priorities 1, 1, 1, medium detail, "best" response, the default
  /// tile variants, shift limit 25, blend strength 0.
  ComparisonSettings();

  /// `channelTableR[d + 350]` and likewise.
  [[nodiscard]] std::uint32_t channelR(int d) const {
    return channelTableR[d + kChannelTableReach];
  }
  [[nodiscard]] std::uint32_t channelG(int d) const {
    return channelTableG[d + kChannelTableReach];
  }
  [[nodiscard]] std::uint32_t channelB(int d) const {
    return channelTableB[d + kChannelTableReach];
  }
  /// `value` limited to -shiftLimit..shiftLimit (value within -684..684).
  [[nodiscard]] int clampShift(int value) const { return shiftClamp[value + kShiftClampReach]; }

  /// Fills the three channel tables and the divisor from priorities (each limited to 0..100).
  void setChannelPriorities(double red, double green, double blue);
  /// Sets the shift limit (limited to 0..684) and rebuilds the shift clamp table.
  void setShiftLimit(std::uint32_t limit);
};

/// Number of entries of the graded ("best") response table. The table of the formula
/// h + trunc((h - 19)^1.5) [h >= 20] + (h - 99)^2 [h >= 100] is needed up to h = 1199 with
/// integer channel priorities; fractional priorities whose sum lies below 6 reach h = 1529, so
/// the table is carried on by the same formula up to there and no index can run past it.
inline constexpr std::size_t kGradedTableSize = 1536;

/// The graded response table (built once, read-only, any thread).
[[nodiscard]] std::span<const std::uint32_t, kGradedTableSize> gradedTable();

/// i limited to 0..255 for i in -512..512 (any thread).
[[nodiscard]] inline int levelClamp(int value) {
  return value < 0 ? 0 : (value > 255 ? 255 : value);
}

/// The detail level an `ImageDetail` id stands for: "automatic" (1) is chosen by the number of
/// tiles in the Tile Images List (0 -> 5, below 100 -> 3, below 1,000 -> 4, below 10,000 -> 5,
/// below 30,000 -> 6, else 7); other ids are returned as they are.
[[nodiscard]] long effectiveDetailLevel(long imageDetail, std::size_t tileCount);

/// Sets the element weights of `target` for detail `level` (ids 2-8; any other id: medium),
/// with `mediumDetail` (the `ImageCompare.MediumDetail` value; below 0 no effect) overriding
/// the share of the blocks.
void setDetailWeights(ComparisonSettings& target, long level, double mediumDetail);

/// Builds `target` from `settings` (response, tile variants, detail, colour change) and its
/// advanced rows (channel priorities, medium detail), with `tileCount` the number of tiles in
/// the loaded Tile Images List. Also sets the process-wide reverse-loop mode of video mosaics
/// from `VideoMosaic.ReverseLoop`. Returns false, leaving `target` unchanged, when `ColorChange`
/// lies outside its range. Window thread, while no job runs.
[[nodiscard]] bool configureComparison(const MosaicSettings& settings, std::size_t tileCount,
                                       ComparisonSettings& target);
/// The same on the process-wide settings.
[[nodiscard]] bool configureComparison(const MosaicSettings& settings, std::size_t tileCount);

/// The part of `configureComparison` a video extraction redoes before it compares frames:
/// channel priorities and weights from `advanced` with the "automatic" detail level and no
/// tiles (the medium level), and the reverse-loop mode; the rest of `target` stays as it was.
void configureComparisonForExtraction(const AdvancedSettings& advanced, ComparisonSettings& target);
/// The same on the process-wide settings.
void configureComparisonForExtraction(const AdvancedSettings& advanced);

/// The process-wide comparison settings (start-up defaults until configured). Written only
/// while no job runs; read by any thread.
[[nodiscard]] ComparisonSettings& comparisonSettings();

}  // namespace tg
