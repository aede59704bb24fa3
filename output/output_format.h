// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tg {

struct MosaicSettings;

/// How a mosaic is written: the `FileFormat` code (100 JPEG, 101 BMP, 102 TIFF, 103 PPM, 104 RAW,
/// 105 AVI uncompressed, 106 AVI compressed, 107 none, 108 video frames as JPEG, 109 PSD,
/// 110 PSB, 111 TIFF with JPEG compression) and the options that go with it. A plain value.
struct OutputFormat {
  long format = 100;
  int quality = 95;           ///< `JPGQuality` (1-100)
  bool transparency = false;  ///< `OutputTransparency`: a fourth, opaque TIFF sample
  bool layers = false;        ///< `OutputLayers` (changes no writer's output)
  bool tiff64 = false;        ///< `OutputTIFF64`: BigTIFF
};

/// The output format of `settings`.
[[nodiscard]] OutputFormat outputFormatFromSettings(const MosaicSettings& settings);

/// The extension `savePiece` appends for `format` (".jpg", ".bmp", ".tiff", ".ppm", ".raw",
/// ".psd", ".psb"); empty for the video formats and 107.
[[nodiscard]] std::string outputExtension(long format);

/// True for the formats whose pieces are written once per output frame (105, 106, 108).
[[nodiscard]] bool isVideoFormat(long format);

}  // namespace tg
