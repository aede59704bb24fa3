// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace tg {

/// How a clip tile plays through the frames of a video mosaic.
enum class ReverseLoopMode : int {
  None = 0,       ///< forward, then again from the clip's first frame
  Necessary = 1,  ///< forward only when the clip is longer than the mosaic, else as `All`
  All = 2,        ///< forward and then backward, ending on the clip's first frame
};

/// The mode a `VideoMosaic.ReverseLoop` text selects: blanks are dropped and case is ignored;
/// "NONE" and "NECESSARY" select their modes, every other text (the default "ALL" included)
/// selects `All`. Pure function.
[[nodiscard]] ReverseLoopMode reverseLoopModeFromText(const std::string& text);

/// Sets the process-wide mode from a `VideoMosaic.ReverseLoop` text. Called when the comparison
/// settings are configured (before a mosaic job and when a video extraction starts), while no
/// render job runs. Until then the mode is `All`.
void configureReverseLoop(const std::string& text);
/// The process-wide mode; render jobs read it on any thread.
[[nodiscard]] ReverseLoopMode reverseLoopMode();

/// The frame (0 .. frameCount - 1) a clip of `frameCount` frames shows in output frame
/// `frameNumber` (1 .. frameTotal) of a video mosaic of `frameTotal` frames. With `frameTotal`
/// 0 (a tile being analysed) the back-and-forth modes show frame 0. In the back-and-forth modes
/// the frames run 0 .. F-1, F-1 .. 0 per period of 2F output frames, and a last, shorter period
/// is squeezed into a shorter run forward and back so that the mosaic ends on frame 0.
/// A frameCount of 0 gives 0; a frame number outside 1..frameTotal still gives a valid frame.
[[nodiscard]] uint32_t clipFrameIndex(uint32_t frameCount, uint32_t frameNumber,
                                      uint32_t frameTotal, ReverseLoopMode mode);

}  // namespace tg
