// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tg {

struct MosaicSettings;

/// The size limits of one output file format; a missing value means "no such limit".
struct FormatLimits {
  std::optional<std::uint64_t> maximumPixels;
  std::optional<std::uint64_t> softSide;
  std::optional<std::uint64_t> hardSide;
  /// The format's limit message (translated); empty when the format has no limit.
  std::string message;
};

/// The limits of `fileFormat` (`outputTiff64` chooses between the two TIFF rows). Nothing for an
/// id outside 100..111. Any thread.
[[nodiscard]] std::optional<FormatLimits> formatLimits(long fileFormat, bool outputTiff64);

/// How a mosaic size fares against a format's limits.
enum class LimitVerdict { Accepted, Ask, Refused };

/// Checks a `width` x `height` mosaic (pixels) against `limits`: more pixels than the maximum, or
/// a longer side than the hard side, is refused; a longer side than the soft side asks; anything
/// else is accepted. 64-bit arithmetic throughout.
[[nodiscard]] LimitVerdict checkMosaicSize(const FormatLimits& limits, std::uint64_t width,
                                           std::uint64_t height);

/// Whether one split piece of `width` x `height` pixels goes beyond the maximum pixel count or
/// the soft side of `limits` (the split dialog then asks before accepting it).
[[nodiscard]] bool pieceExceedsLimits(const FormatLimits& limits, std::uint64_t width,
                                      std::uint64_t height);

/// The outcome of the size check of a job start.
enum class SizeCheck { Passed, Refused, Cancelled, FormatError };

/// The size check of a job start: a format id outside 100..111 shows "Error File Format";
/// unless `SplitMosaic` is on, a refused size shows the limit message with the advice (OK) and a
/// size that asks shows it with "Do you want to continue?" (Yes/No, No by default), where any
/// answer but Yes cancels. Messages go through `UserDialogs`. Any thread.
[[nodiscard]] SizeCheck checkFormatLimits(const MosaicSettings& settings, std::uint64_t width,
                                          std::uint64_t height);

}  // namespace tg
