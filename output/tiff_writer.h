// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "output/output_format.h"
#include "output/row_source.h"

namespace tg {

/// Rows per strip for strips of about one megabyte: ((1,000,000 / width) / samples) rounded
/// down to a multiple of 16, at least `minimumStrip` (1, or 16 for JPEG-compressed strips) and
/// at most `height`.
[[nodiscard]] std::uint32_t tiffRowsPerStrip(std::uint32_t width, std::uint32_t height,
                                             std::uint32_t samples, std::uint32_t minimumStrip);

/// Writes a TIFF through libtiff: classic or, with `tiff64`, BigTIFF; uncompressed RGB or, for
/// format 111, JPEG-compressed YCbCr at the format's quality; 3 samples, or 4 with an alpha
/// sample of 255 everywhere (JPEG-compressed files always have 3). libtiff's own errors are shown
/// as "Unable to save file '%s'" with the library's module and message; any failure then shows
/// "Unable to save file '%s'" with the path (also after a stop).
class TiffWriter final : public RowWriter {
 public:
  TiffWriter(const OutputFormat& format, std::uint32_t samples, unsigned resolution)
      : m_format(format), m_samples(samples), m_resolution(resolution) {}

 private:
  bool writeRows() override;
  OutputFormat m_format;
  std::uint32_t m_samples;
  unsigned m_resolution;
};

/// `TiffWriter` for `path`; `samples` must be 3 or 4, else it fails silently. Job thread.
[[nodiscard]] bool writeTiffRows(const std::string& path, const OutputFormat& format,
                                 std::uint32_t samples, std::uint32_t width, std::uint32_t height,
                                 unsigned resolution, RowSource& rows);

}  // namespace tg
