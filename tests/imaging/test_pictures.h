// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures written by the tests themselves with the real libraries: JPEG through libjpeg, PNG
// through libpng, EXIF blocks assembled byte by byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/foto.h"

namespace tg::test {

/// How `writeJpeg` stores the samples.
enum class JpegKind { Rgb, Grey, Cmyk };

/// Writes `samples` (rows of width x components bytes: 3 for Rgb, 1 for Grey, 4 for Cmyk as
/// stored, with an Adobe marker) as a JPEG. `app1` (without marker and length) is written as an
/// APP1 segment when not empty. Returns false on failure.
bool writeJpeg(const std::string& path, std::uint32_t width, std::uint32_t height,
               const std::vector<std::uint8_t>& samples, JpegKind kind = JpegKind::Rgb,
               int quality = 95, const std::string& app1 = {}, bool progressive = false);
/// Writes the colours of `image` (T ignored) as an RGB JPEG.
bool writeJpeg(const std::string& path, const Foto& image, int quality = 95,
               const std::string& app1 = {}, bool progressive = false);

/// A PNG to write: `rows` hold height rows of packed samples as libpng expects them for
/// `colourType` and `bitDepth` (16-bit samples big-endian).
struct PngPicture {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  int colourType = 0;
  int bitDepth = 8;
  bool interlaced = false;
  std::vector<std::vector<std::uint8_t>> rows;
  std::vector<std::uint8_t> palette;       ///< R, G, B per entry
  std::vector<std::uint8_t> transparency;  ///< tRNS alpha per palette entry
};
/// Writes the picture through libpng. Returns false on failure.
bool writePng(const std::string& path, const PngPicture& picture);

/// One EXIF directory entry: tag, type (1 byte, 2 ascii, 3 short, 4 long), count and the value's
/// bytes in the block's byte order.
struct ExifField {
  std::uint16_t tag;
  std::uint16_t type;
  std::uint32_t count;
  std::string value;
};
/// The orientation entry stored as a short, a byte or a long.
ExifField orientationField(std::uint32_t value, std::uint16_t type = 3, bool bigEndian = false);
/// The date-and-time entry (tag 306) holding `text` and its terminating zero.
ExifField dateTimeField(const std::string& text);
/// The content of an APP1 segment: "Exif\0\0" and a TIFF structure with `ifd0` and, when not
/// empty, an EXIF sub-directory holding `exifIfd`.
std::string exifBlock(const std::vector<ExifField>& ifd0,
                      const std::vector<ExifField>& exifIfd = {}, bool bigEndian = false);

/// A `width` x `height` image whose pixel (x, y) is (x * 40 + 7, y * 40 + 11, 3 * x + y) (mod 256).
Foto patternImage(std::uint32_t width, std::uint32_t height);

}  // namespace tg::test
