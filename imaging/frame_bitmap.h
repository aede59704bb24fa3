// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/foto.h"

namespace tg {

/// The bitmap information header in front of an uncompressed video frame (the 40-byte
/// device-independent bitmap header, little-endian, without padding). The colour table (for
/// 8-bit frames: `coloursUsed` entries of blue, green, red, reserved) and the rows follow it;
/// rows are stored bottom-up, each padded to a multiple of 4 bytes.
struct BitmapInfoHeader {
  std::uint32_t headerSize;        ///< size of this header (at least 40)
  std::int32_t width;              ///< pixels per row
  std::int32_t height;             ///< number of rows (positive: bottom-up)
  std::uint16_t planes;            ///< 1
  std::uint16_t bitCount;          ///< bits per pixel: 8 or 24 are accepted
  std::uint32_t compression;       ///< 0 = uncompressed
  std::uint32_t imageSize;         ///< bytes of pixel data (may be 0 for uncompressed frames)
  std::int32_t xPixelsPerMetre;    ///< unused
  std::int32_t yPixelsPerMetre;    ///< unused
  std::uint32_t coloursUsed;       ///< entries in the colour table
  std::uint32_t coloursImportant;  ///< unused
};
static_assert(sizeof(BitmapInfoHeader) == 40, "the frame header is 40 bytes");

/// Converts the frame in `frame` (`frameBytes` bytes: header, colour table, rows) into `target`.
/// Accepts uncompressed frames with positive width and height and 8 or 24 bits per pixel; the
/// header size places the colour table and the rows. 24-bit pixels give (R, G, B) with T = 0;
/// 8-bit pixels give their colour table entry, or black for values at or beyond the table.
/// Returns true with `target` filled, or false with `target` empty (other formats, a buffer
/// shorter than the header claims, no memory after the message of `Foto::create`). Any thread.
[[nodiscard]] bool frameToFoto(const std::uint8_t* frame, std::size_t frameBytes, Foto& target);

}  // namespace tg
