// SPDX-License-Identifier: GPL-3.0-or-later
// The decoders behind loadImageFile and readImageSize, and the EXIF queries. Internal to the
// imaging library.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "imaging/foto.h"

namespace tg::detail {

/// EXIF orientation 1-8 of the picture at `path` (tag 274 of the first image directory), or 0
/// when the file has none or an unusable value.
[[nodiscard]] int readExifOrientation(const std::string& path);
/// The EXIF date-and-time text (tag 306) of the first image directory that has one, or "".
[[nodiscard]] std::string readExifDateTime(const std::string& path);

/// JPEG decoding of `loadImageFile` (see there); `target` ends empty on failure.
[[nodiscard]] bool loadJpegFile(Foto& target, const std::string& path, std::uint32_t maxW,
                                std::uint32_t maxH, bool showMessages);
/// PNG decoding of `loadImageFile`; `target` ends empty on failure.
[[nodiscard]] bool loadPngFile(Foto& target, const std::string& path, bool showMessages);
/// Header-only size queries, without messages.
[[nodiscard]] bool readJpegSize(const std::string& path, std::uint32_t& width,
                                std::uint32_t& height);
[[nodiscard]] bool readPngSize(const std::string& path, std::uint32_t& width,
                               std::uint32_t& height);

/// Closes a C stream when it goes out of scope.
struct FileCloser {
  void operator()(std::FILE* file) const {
    if (file != nullptr) std::fclose(file);
  }
};

}  // namespace tg::detail
