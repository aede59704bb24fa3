// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/reverse_loop.h"

#include <atomic>
#include <cctype>

namespace tg {
namespace {

std::atomic<int> g_mode{static_cast<int>(ReverseLoopMode::All)};

}  // namespace

ReverseLoopMode reverseLoopModeFromText(const std::string& text) {
  std::string token;
  for (const char c : text) {
    if (c == ' ' || c == '\t') continue;
    token += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  if (token == "NONE") return ReverseLoopMode::None;
  if (token == "NECESSARY") return ReverseLoopMode::Necessary;
  return ReverseLoopMode::All;
}

void configureReverseLoop(const std::string& text) {
  g_mode.store(static_cast<int>(reverseLoopModeFromText(text)), std::memory_order_relaxed);
}

ReverseLoopMode reverseLoopMode() {
  return static_cast<ReverseLoopMode>(g_mode.load(std::memory_order_relaxed));
}

uint32_t clipFrameIndex(uint32_t frameCount, uint32_t frameNumber, uint32_t frameTotal,
                        ReverseLoopMode mode) {
  if (frameCount == 0) return 0;
  const uint64_t k = frameNumber > 0 ? frameNumber - 1 : 0;
  const uint64_t F = frameCount;
  const uint64_t N = frameTotal;
  if (mode == ReverseLoopMode::None || (mode == ReverseLoopMode::Necessary && F > N)) {
    return static_cast<uint32_t>(k % F);
  }
  if (N == 0) return 0;
  const uint64_t period = 2 * F;
  const uint64_t whole = N / period * period;  // output frames in whole forward-and-back runs
  uint64_t length;
  uint64_t q;
  if (k < whole) {
    length = period;
    q = k % period;
  } else {
    length = N - whole;
    q = k - whole;
    // Frame numbers beyond the mosaic keep playing whole periods rather than leaving the clip.
    if (q >= length) {
      length = period;
      q %= period;
    }
  }
  const uint64_t frame = q < length / 2 ? q : length - q - 1;
  return static_cast<uint32_t>(frame < F ? frame : F - 1);
}

}  // namespace tg
