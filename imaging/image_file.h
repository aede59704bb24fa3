// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "imaging/foto.h"

namespace tg {

/// Decodes the JPEG or PNG picture at `path` (UTF-8) into `target`. A name ending in ".png"
/// (any case) goes to the PNG decoder, every other name to the JPEG decoder.
///
/// JPEG pictures are turned upright by their EXIF orientation. When `maxW` and `maxH` are both
/// non-zero they are the size the caller needs (of the upright picture), and the picture is
/// decoded at the smallest of 1/8, 1/4, 1/2 or full size that is not smaller than that; the
/// result can be larger than the hint, so callers that need an exact size resample afterwards.
/// PNG pictures ignore the hint and keep their transparency (T = 255 - alpha).
///
/// With `showMessages` the user is told why a picture cannot be loaded; the out-of-memory message
/// is shown in any case. JPEG data that is damaged or ends early loads as the decoder delivers it
/// (the rest grey) when `showMessages` is set, and counts as a failure otherwise, so that tile
/// analysis and rendering never take a damaged photograph for a good one.
///
/// Returns true with `target` filled, or false with `target` empty. Each call has its own decoder
/// state, so any number of threads may load different files at once.
[[nodiscard]] bool loadImageFile(Foto& target, const std::string& path, std::uint32_t maxW,
                                 std::uint32_t maxH, bool showMessages);

/// The stored pixel size of the JPEG or PNG picture at `path` (EXIF orientation not applied),
/// read from the header only. Returns false, leaving the outputs alone, when the file cannot be
/// read or is not such a picture. No message. Any thread.
[[nodiscard]] bool readImageSize(const std::string& path, std::uint32_t& width,
                                 std::uint32_t& height);

/// The shooting date of the picture at `path` as "YYYY:MM:DD HH:MM:SS": the EXIF date-and-time
/// tag of the first image directory that has one, else the file's creation time (its modification
/// time where the file system keeps none) in local time; empty when neither can be read. EXIF
/// texts shorter than 10 characters or beginning with "0000" are not accepted. Any thread.
[[nodiscard]] std::string readShootingDate(const std::string& path);

}  // namespace tg
