// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/file_times.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace tg {

std::optional<FileTimes> fileTimes(const std::string& path) {
  struct statx info {};
  if (statx(AT_FDCWD, path.c_str(), 0, STATX_MTIME | STATX_BTIME, &info) != 0) {
    struct stat plain {};
    if (stat(path.c_str(), &plain) != 0) return std::nullopt;
    return FileTimes{plain.st_mtime, plain.st_mtime, false};
  }
  FileTimes times;
  times.modified = info.stx_mtime.tv_sec;
  times.hasBirthTime = (info.stx_mask & STATX_BTIME) != 0;
  times.created = times.hasBirthTime ? info.stx_btime.tv_sec : times.modified;
  return times;
}

std::optional<std::int64_t> fileModificationTime(const std::string& path) {
  const auto times = fileTimes(path);
  if (!times) return std::nullopt;
  return times->modified;
}

std::optional<std::int64_t> fileCreationTime(const std::string& path) {
  const auto times = fileTimes(path);
  if (!times) return std::nullopt;
  return times->created;
}

}  // namespace tg
