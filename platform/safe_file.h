// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace tg {

/// A file that replaces the file at its path only once it is complete.
///
/// `create` opens a new temporary file in the target's folder (a symbolic link at the path is
/// followed, so the link survives and its target is replaced). Writers fill it through `fd()`, or
/// through `temporaryPath()` for libraries that open files by name. `commit` flushes it to disk
/// and renames it over the target; until then the file a user had at the path is untouched, and a
/// `SafeFile` that is discarded or destroyed without a commit removes its temporary file. A
/// replaced file keeps its permissions; a new one gets what the umask allows. A path naming a
/// device or a pipe (/dev/null, /dev/stdout) is written directly instead, never replaced. One
/// thread at a time; two `SafeFile`s for the same path leave one complete version.
class SafeFile {
 public:
  SafeFile() = default;
  ~SafeFile();
  SafeFile(const SafeFile&) = delete;
  SafeFile& operator=(const SafeFile&) = delete;

  /// Opens the temporary file for `path` (discarding an earlier one). False, with `errno`, when
  /// the folder does not exist or cannot be written, or the file there may not be written.
  [[nodiscard]] bool create(const std::string& path);
  /// The descriptor of the temporary file, -1 when none is open.
  [[nodiscard]] int fd() const { return m_fd; }
  [[nodiscard]] bool isOpen() const { return m_fd >= 0; }
  /// The temporary file's name ("" when none is open).
  [[nodiscard]] const std::string& temporaryPath() const { return m_temporary; }
  /// Gives the file `length` bytes of disk space before anything is written, so a full disk is
  /// found now rather than after the work that would fill it. A file system that cannot reserve
  /// space gets the length only. False with `errno` (ENOSPC, EFBIG ...) when the space is not
  /// there.
  [[nodiscard]] bool reserve(std::uint64_t length);
  /// Flushes the file to disk, closes it and renames it over the target. False, with `errno`,
  /// when any of that fails; the temporary file is then removed and the target left as it was.
  [[nodiscard]] bool commit();
  /// Closes and removes the temporary file; the target stays as it was. Keeps `errno`.
  void discard();

 private:
  int m_fd = -1;
  bool m_direct = false;  ///< the target is a device or pipe, written in place
  std::string m_target;
  std::string m_temporary;
};

/// Writes `bytes` to `path` through a temporary file in the same folder that is flushed to disk
/// and renamed over `path` (a symbolic link is followed and its target replaced), so a crash or a
/// full disk never leaves a half-written file. When anything fails the old file is untouched, the
/// temporary file is removed and the result is false (`errno` tells why). A new file gets the
/// permissions the process's umask allows; a replaced one keeps its permissions.
/// Safe on any thread; two writers of the same path leave one complete version.
[[nodiscard]] bool writeFileSafely(const std::string& path, const std::string& bytes);

/// Opens `path` for reading ("rb") when it names a regular file (after links), without ever
/// blocking: a FIFO, socket or device that carries a picture's name is refused (nullptr, `errno`
/// EINVAL) instead of hanging the caller. nullptr with `errno` when it cannot be opened.
[[nodiscard]] std::FILE* openRegularFile(const std::string& path);

/// True when `path` names a regular file (after links).
[[nodiscard]] bool isRegularFile(const std::string& path);

/// Reads the whole file at `path` into `bytes`, refusing files larger than `maxBytes`.
enum class ReadResult { Ok, Missing, Failed, TooLarge };
[[nodiscard]] ReadResult readWholeFile(const std::string& path, size_t maxBytes,
                                       std::string& bytes);

}  // namespace tg
