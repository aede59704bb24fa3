// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tg {

class AdvancedSettings;
struct PuzzleInfo;

/// How many frames a video mosaic gets and at what rate (1/500 frame per second).
struct VideoFrames {
  std::uint32_t count = 1;
  std::uint32_t rate = 1;
  friend bool operator==(const VideoFrames&, const VideoFrames&) = default;
};

/// Frame count and rate of a video mosaic over `cells`: statistics over the active cells whose
/// tile is a clip with a known frame count (a clip used by several cells counts once per cell),
/// read through the texts of `VideoMosaic.FrameCountFromVideoTile` ("MIN", "MAX" or "AVG" with an
/// integer factor, or a plain count; empty means "MAX*2") and `VideoMosaic.FrameRateFromVideoTile`
/// ("MIN", "MAX" or "FREQ" with a real factor, or a plain frames-per-second value; empty means
/// "FREQ"). Without clips, or when either result is 0, `VideoMosaic.FrameCountFromImage` frames
/// (10 when 0) at `VideoMosaic.FrameRateFromImage` x 500 (10 fps when 0). Pure function.
[[nodiscard]] VideoFrames chooseVideoFrames(std::span<PuzzleInfo* const> cells,
                                            const AdvancedSettings& advanced);

}  // namespace tg
