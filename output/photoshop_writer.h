// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "imaging/foto.h"
#include "output/row_source.h"

namespace tg {

/// The largest side of a PSD.
inline constexpr std::uint32_t kPsdMaxSide = 30000;
/// The largest side of a PSB.
inline constexpr std::uint32_t kPsbMaxSide = 300000;

/// Writes a flat 8-bit RGB Photoshop document (PSD, or PSB when `large`) without layers or
/// alpha: the headers with a caption and the resolution, then the red, green and blue planes.
/// The planes would need the whole picture at once if written in file order; instead the data
/// area is reserved first and every incoming row lands as three channel rows at their final
/// places, so memory stays at one row.
///
/// Failures are shown once at the end, unless the job was stopped: the writer's own (untranslated)
/// error text, such as the size-limit text with its advice, or "Unable to save file '%s'" with
/// the path. A failed file stays on disk.
class PhotoshopWriter final : public RowWriter {
 public:
  PhotoshopWriter(bool large, unsigned resolution) : m_large(large), m_resolution(resolution) {}

 private:
  bool writeRows() override;
  bool m_large;
  unsigned m_resolution;
};

/// `PhotoshopWriter` for `path`. Job thread.
[[nodiscard]] bool writePhotoshopRows(RowSource& rows, const std::string& path, std::uint32_t width,
                                      std::uint32_t height, bool large, unsigned resolution);
/// Writes the whole `image` as a PSD (never PSB), never stopping. Any thread (one file each).
[[nodiscard]] bool writePhotoshopImage(const Foto& image, const std::string& path,
                                       unsigned resolution);

}  // namespace tg
