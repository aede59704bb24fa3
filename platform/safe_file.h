// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tg {

/// Writes `bytes` to `path` through a temporary file in the same folder that is flushed to disk
/// and renamed over `path` (a symbolic link is followed and its target replaced), so a crash or a
/// full disk never leaves a half-written file. When anything fails the old file is untouched, the
/// temporary file is removed and the result is false (`errno` tells why). A new file gets the
/// permissions the process's umask allows; a replaced one keeps its permissions.
/// Safe on any thread; two writers of the same path leave one complete version.
[[nodiscard]] bool writeFileSafely(const std::string& path, const std::string& bytes);

/// Reads the whole file at `path` into `bytes`, refusing files larger than `maxBytes`.
enum class ReadResult { Ok, Missing, Failed, TooLarge };
[[nodiscard]] ReadResult readWholeFile(const std::string& path, size_t maxBytes,
                                       std::string& bytes);

}  // namespace tg
