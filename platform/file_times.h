// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tg {

/// The times of one file, in seconds since 1970-01-01 00:00 UTC.
struct FileTimes {
  std::int64_t modified = 0;
  /// The birth time where the file system records one, else the modification time.
  std::int64_t created = 0;
  bool hasBirthTime = false;  ///< whether `created` is a real birth time
};

/// The times of the file at `path` (symbolic links followed), or nothing when it cannot be
/// examined. Safe on any thread.
[[nodiscard]] std::optional<FileTimes> fileTimes(const std::string& path);

/// The modification time alone (what tile lists compare to notice changed files).
[[nodiscard]] std::optional<std::int64_t> fileModificationTime(const std::string& path);

/// The creation time: birth time, else modification time.
[[nodiscard]] std::optional<std::int64_t> fileCreationTime(const std::string& path);

}  // namespace tg
