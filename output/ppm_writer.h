// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "output/row_source.h"

namespace tg {

/// The 100-byte PPM header of a `width` x `height` picture: "P6", a comment line naming the
/// program and its version padded with spaces, the size and 255, so that pixel data always
/// starts at byte 100.
[[nodiscard]] std::string ppmHeader(std::uint32_t width, std::uint32_t height);

/// Writes binary PPM (with the header) or RAW (bytes R, G, B only, rows top to bottom). The file
/// is given its full length before the first row is rendered, so that a disk that cannot hold
/// it fails early. A failure shows "Unable to save file '%s'" unless the job was stopped; the
/// partly written file stays.
class PpmWriter final : public RowWriter {
 public:
  explicit PpmWriter(bool withHeader) : m_withHeader(withHeader) {}

 private:
  bool writeRows() override;
  bool m_withHeader;
};

/// `PpmWriter` for `path`; without `withHeader` it writes RAW. Job thread.
[[nodiscard]] bool writePpmRows(const std::string& path, std::uint32_t width, std::uint32_t height,
                                bool withHeader, RowSource& rows);

}  // namespace tg
