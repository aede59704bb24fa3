// SPDX-License-Identifier: GPL-3.0-or-later
// Files the tile tests make themselves: pictures through libjpeg and libpng, clips through the
// video layer's writer, and list files of older versions assembled byte by byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/image_signature.h"

namespace tg::test {

/// Writes a `width` x `height` JPEG: a horizontal ramp from `left` to `right` (0xBBGGRR words),
/// so that every picture of a test can be told apart by its signature.
bool writeTestJpeg(const std::string& path, std::uint32_t width, std::uint32_t height,
                   std::uint32_t left = 0x204080, std::uint32_t right = 0xE0C0A0);
/// Writes an RGBA PNG with the same ramp, fully opaque.
bool writeTestPng(const std::string& path, std::uint32_t width, std::uint32_t height,
                  std::uint32_t left = 0x102030, std::uint32_t right = 0x706050);
/// Writes an uncompressed AVI of `frames` frames of 16 x 16 at `rate` (1/500 fps).
bool writeTestClip(const std::string& path, int frames, std::uint32_t rate = 12500);
/// Sets the modification time of `path` to `seconds` since 1970.
bool setModificationTime(const std::string& path, std::int64_t seconds);

/// Little-endian bytes for list files of any version.
class ListBytes {
 public:
  ListBytes& u8(std::uint8_t v);
  ListBytes& u16(std::uint16_t v);
  ListBytes& u32(std::uint32_t v);
  ListBytes& i64(std::int64_t v);
  /// A counted string (one-byte length below 255, else 0xFF and 16 bits, ...).
  ListBytes& text(const std::string& s);
  /// A string set.
  ListBytes& texts(const std::vector<std::string>& set);
  /// Raw bytes.
  ListBytes& raw(const std::string& bytes);
  [[nodiscard]] const std::string& bytes() const { return m_bytes; }

 private:
  std::string m_bytes;
};

/// A signature whose thumbnail is a recognisable pattern and whose averages are deliberately
/// *not* those of the thumbnail, so tests see whether a reader kept or recomputed them.
[[nodiscard]] ImageSignature patternSignature(std::uint32_t seed);

}  // namespace tg::test
