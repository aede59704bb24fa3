// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tg::test {

/// One RGB colour as the tests compare it.
struct Rgb {
  int r = 0;
  int g = 0;
  int b = 0;
};

/// The pattern every test clip carries: red counts the frames (9 steps per frame), green tells
/// the upper half (200) from the lower (50), blue the left half (30) from the right (220). A
/// decoder that delivers the wrong frame, flips the rows or swaps red and blue shows it.
[[nodiscard]] Rgb patternColour(uint32_t frame, int x, int y, int width, int height);

/// The same pattern as a filter graph for the `ffmpeg` tool's test source.
[[nodiscard]] std::string patternFilter(int width, int height, int frames, const std::string& rate);

/// Runs a program (found on PATH) with `args` and waits; true when it exits with 0. Its output
/// goes to `/dev/null`.
[[nodiscard]] bool runProgram(const std::vector<std::string>& args);
/// Runs a program and returns what it printed on standard output ("" on failure).
[[nodiscard]] std::string programOutput(const std::vector<std::string>& args);

/// Whether the `ffmpeg` and `ffprobe` tools are installed (tests that need them skip otherwise).
[[nodiscard]] bool haveFfmpegTools();

/// Makes `path` with the `ffmpeg` tool from the pattern: `frames` frames of `width` × `height`
/// at `rate` ("25", "30000/1001"), encoded with `codecArgs` (e.g. {"-c:v", "libx264"}).
[[nodiscard]] bool makeClip(const std::string& path, int width, int height, int frames,
                            const std::string& rate, const std::vector<std::string>& codecArgs);

/// Writes `frames` pattern frames with the layer's own writer (`CAviCreate`). The size is
/// taken as given (callers pass multiples of 8 × 4).
[[nodiscard]] bool writePatternAvi(const std::string& path, int width, int height, int frames,
                                   uint32_t fourcc, uint32_t rate);

/// The colour at (x, y), counted from the top, of a packed bitmap as `CAviStream::frame`
/// delivers it (24-bit, or 8-bit with its colour table).
[[nodiscard]] Rgb bitmapPixel(const uint8_t* bitmap, int x, int y);

/// Whether two colours differ by at most `tolerance` in every channel.
[[nodiscard]] bool near(const Rgb& a, const Rgb& b, int tolerance);

}  // namespace tg::test
