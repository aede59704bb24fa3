// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace tg {

/// Encodes 8-bit 4:2:0 pictures as baseline JPEG frames straight from their Y, Cb and Cr planes,
/// for Motion JPEG clips: no conversion to blue-green-red and back, only limited-range samples
/// (16-235, 16-240) stretched to the full range JPEG stores.
///
/// All three planes use one quantisation table, the one FFmpeg's Motion JPEG encoder wrote into
/// our clips at quality scale 3, so clips keep their quality. Huffman tables are made per
/// encoder: the first frame is coded with tables optimal for it, and every later frame with
/// those tables completed by a code for every symbol that did not occur. That keeps clips close
/// to the size optimal tables give without paying for a second coding pass on every frame.
///
/// One encoder per clip; an object belongs to one thread at a time.
class YuvJpegEncoder {
 public:
  /// A picture's planes at the corner to encode from. The chroma planes hold half as many
  /// columns and rows as the luma plane (rounded up).
  struct Planes {
    const std::uint8_t* data[3] = {nullptr, nullptr, nullptr};  ///< Y, Cb, Cr
    int linesize[3] = {0, 0, 0};
    bool fullRange = false;  ///< samples span 0-255 already (else the video range)
  };

  YuvJpegEncoder();
  ~YuvJpegEncoder();
  YuvJpegEncoder(const YuvJpegEncoder&) = delete;
  YuvJpegEncoder& operator=(const YuvJpegEncoder&) = delete;

  /// Encodes `width` × `height` pixels (at least 1 × 1) of `planes` as one JPEG; `data()` and
  /// `size()` then give its bytes, valid until the next `encode`. Reads only the pixels inside
  /// the rectangle. False when the library fails (no memory).
  [[nodiscard]] bool encode(const Planes& planes, int width, int height);
  [[nodiscard]] const std::uint8_t* data() const;
  [[nodiscard]] std::size_t size() const;

 private:
  struct State;
  std::unique_ptr<State> m_state;
};

/// Stretches `count` video-range samples to the full range JPEG stores (luma 16-235, chroma
/// 16-240 to 0-255, rounded half away from the middle, clamped). Vector code where the machine
/// has it; `stretchRangePlain` is the plain version.
void stretchRange(const std::uint8_t* in, std::uint8_t* out, int count, bool chroma);
void stretchRangePlain(const std::uint8_t* in, std::uint8_t* out, int count, bool chroma);

}  // namespace tg
