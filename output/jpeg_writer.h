// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "imaging/foto.h"
#include "output/row_source.h"

namespace tg {

/// Writes a baseline JPEG (RGB, 3 components) through libjpeg at `quality` (1-100), with the
/// density fields set to `resolution` dots per inch when it is not 0.
///
/// A file that cannot be created shows "Unable to save file '%s'. Error %ld" (error icon) with
/// the path and the system error number; so does a write that fails (a full disk) and a close
/// that fails. A missing row (stop, render failure) and any other library error abandon the file
/// silently. The partly written file stays.
class JpegWriter final : public RowWriter {
 public:
  JpegWriter(int quality, unsigned resolution) : m_quality(quality), m_resolution(resolution) {}

 private:
  bool writeRows() override;
  int m_quality;
  unsigned m_resolution;
};

/// `JpegWriter` for `path`. Job thread (or any thread for a file of its own).
[[nodiscard]] bool writeJpegRows(const std::string& path, std::uint32_t width, std::uint32_t height,
                                 int quality, RowSource& rows, unsigned resolution);
/// Writes the whole `image` as JPEG with the same settings. When the row buffer cannot be had
/// the out-of-memory message (width and 3, "!!!!") is shown. Any thread.
[[nodiscard]] bool writeJpegImage(const std::string& path, const Foto& image, int quality,
                                  unsigned resolution);

}  // namespace tg
