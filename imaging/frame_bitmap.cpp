// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/frame_bitmap.h"

#include <cstring>

namespace tg {

namespace {

constexpr std::uint32_t kColourTableEntryBytes = 4;

}  // namespace

bool frameToFoto(const std::uint8_t* frame, std::size_t frameBytes, Foto& target) {
  target.release();
  if (frame == nullptr || frameBytes < sizeof(BitmapInfoHeader)) return false;
  BitmapInfoHeader header;
  std::memcpy(&header, frame, sizeof header);
  if (header.headerSize < sizeof(BitmapInfoHeader) || header.headerSize > frameBytes) return false;
  if (header.compression != 0 || header.width <= 0 || header.height <= 0) return false;
  if (header.bitCount != 8 && header.bitCount != 24) return false;

  const auto width = static_cast<std::uint32_t>(header.width);
  const auto height = static_cast<std::uint32_t>(header.height);
  // Rows are padded to whole 32-bit words.
  const std::uint64_t rowBytes = std::uint64_t{width} * (header.bitCount / 8u);
  const std::uint64_t stride = (rowBytes + 3u) & ~std::uint64_t{3};
  const std::uint64_t tableBytes =
      header.bitCount == 8 ? std::uint64_t{header.coloursUsed} * kColourTableEntryBytes : 0;
  const std::uint64_t dataStart = std::uint64_t{header.headerSize} + tableBytes;
  // Everything the header promises must be inside the buffer before any pixel is read.
  if (dataStart > frameBytes || stride * height > frameBytes - dataStart) return false;

  if (!target.createCleared(width, height)) return false;
  const std::uint8_t* table = frame + header.headerSize;
  const std::uint8_t* data = frame + dataStart;
  for (std::uint32_t i = 0; i < height; ++i) {
    const std::uint8_t* in = data + stride * i;
    Pixel* out = target.row(height - 1 - i);
    if (header.bitCount == 24) {
      for (std::uint32_t x = 0; x < width; ++x, in += 3) out[x] = makePixel(in[2], in[1], in[0]);
    } else {
      for (std::uint32_t x = 0; x < width; ++x) {
        const std::uint32_t v = in[x];
        if (v < header.coloursUsed) {
          const std::uint8_t* entry = table + v * kColourTableEntryBytes;
          out[x] = makePixel(entry[2], entry[1], entry[0]);
        } else {
          out[x] = 0;
        }
      }
    }
  }
  return true;
}

}  // namespace tg
