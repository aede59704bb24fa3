// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "output/row_source.h"

namespace tg {

/// A row source that delivers the same piece once per output frame of a video mosaic.
///
/// Contract: before each frame the writer calls `startNextFrame`, which rewinds the piece to its
/// first row and advances the frame number (frames are numbered 1..N in the order they are
/// started); then it pulls the piece's rows with `nextRow` as any writer does.
class FrameSource : public RowSource {
 public:
  /// Back to the first row of the piece, showing the next output frame.
  virtual void startNextFrame() = 0;
};

/// Frame data an AVI file may take before the writer continues in the next file: old players
/// and the AVI index itself stop near 2 GB.
inline constexpr std::uint64_t kAviFileBytes = 2100000000;

/// Writes `frameCount` frames of `width` × `height` from `frames` as AVI files: "base.avi",
/// continued in "base__002.avi", "base__003.avi"... whenever the frame data of the current file
/// plus one more frame would pass `fileBytes`. The frame format is the size rounded down to a
/// multiple of 8 × 4, 24-bit; `fourcc` picks the codec (0: uncompressed), `rate` is in 1/500
/// frame per second (0 is read as 5). Every frame is a key frame.
///
/// Each file is written under a temporary name beside it and renamed when complete, so a stop or
/// a failure leaves complete files only: the files finished before it, and any older file of the
/// name being written untouched. `paths` receives the path of every file started, the failed one
/// included. Failures show the writer's message (creation, frame writes) or the out-of-memory
/// message for the frame buffer; a stop or a missing row fails silently. Job thread.
[[nodiscard]] bool writeVideoAvi(const std::string& base, FrameSource& frames, std::uint32_t width,
                                 std::uint32_t height, std::uint32_t fourcc,
                                 std::uint32_t frameCount, std::uint32_t rate,
                                 std::vector<std::string>& paths,
                                 std::uint64_t fileBytes = kAviFileBytes);

/// Writes `frameCount` frames of `width` × `height` from `frames` as JPEG files
/// "base__000000001.jpg", "base__000000002.jpg"... at quality 100 with `resolution` dots per
/// inch. Each file is written under a temporary name and renamed when complete; the first
/// failure ends the output (false). `paths` receives the path of every file started. A frame
/// count of 0 writes nothing and succeeds. Job thread.
[[nodiscard]] bool writeVideoJpegFrames(FrameSource& frames, const std::string& base,
                                        std::uint32_t width, std::uint32_t height,
                                        unsigned resolution, std::uint32_t frameCount,
                                        std::vector<std::string>& paths);

}  // namespace tg
