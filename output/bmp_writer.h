// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "imaging/foto.h"
#include "output/row_source.h"

namespace tg {

/// The largest picture, in pixels, written as BMP.
inline constexpr std::uint64_t kBmpMaxPixels = 1000000000;

/// The 54 bytes of BMP file and information headers of a 24-bit, bottom-up `width` x `height`
/// picture (rows padded to a multiple of 4 bytes).
[[nodiscard]] std::string bmpHeaders(std::uint32_t width, std::uint32_t height);

/// Writes a 24-bit BMP. The renderer delivers rows top to bottom while the format stores them
/// bottom-up, so the file gets its full length first and every row is written at its own place
/// (the file fills back to front). Pictures above `kBmpMaxPixels` are refused with "Unable to
/// save file '%s'" filled with "Image is too big"; a file that cannot be created or written shows
/// "Unable to save file '%s'" with the path unless the job was stopped.
class BmpWriter final : public RowWriter {
 private:
  bool writeRows() override;
};

/// `BmpWriter` for `path`. Job thread.
[[nodiscard]] bool writeBmpRows(const std::string& path, std::uint32_t width, std::uint32_t height,
                                RowSource& rows);
/// Writes the whole `image` as BMP, rows in file order (bottom row first). Fails on an empty
/// image; a file that cannot be written shows "Unable to save file '%s'". Any thread.
[[nodiscard]] bool writeBmpImage(const Foto& image, const std::string& path);

}  // namespace tg
