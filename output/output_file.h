// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/safe_file.h"

namespace tg {

/// A file written through a POSIX descriptor, with 64-bit positions, that replaces the file at its
/// path only when `commit` says it is complete (see `SafeFile`): a writer that fails, stops or
/// is destroyed before the commit leaves the user's old file as it was. Every failing call keeps
/// the `errno` of the cause in `error()`. One thread at a time.
class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  /// Opens a temporary file beside `path`. Fails when the folder does not exist or cannot be
  /// written.
  [[nodiscard]] bool create(const std::string& path);
  /// Writes all `size` bytes at the current position (a short write fails).
  [[nodiscard]] bool write(const void* data, std::size_t size);
  /// Writes all `size` bytes at `offset` without moving the current position.
  [[nodiscard]] bool writeAt(std::uint64_t offset, const void* data, std::size_t size);
  /// Moves the current position to `offset`; false when the system refuses.
  [[nodiscard]] bool seek(std::uint64_t offset);
  /// The current position, or -1 when it cannot be read.
  [[nodiscard]] std::int64_t position();
  /// Makes the file `length` bytes long (a longer file reads as zeros past its old end).
  [[nodiscard]] bool setLength(std::uint64_t length);
  /// Reserves `length` bytes of disk space and makes the file that long, so that a full disk
  /// fails here, before the rows are rendered.
  [[nodiscard]] bool reserve(std::uint64_t length);
  /// Flushes the file to disk and renames it over the path given to `create`; false (the old
  /// file untouched) when that fails. The file is closed either way.
  [[nodiscard]] bool commit();
  /// Closes and removes the unfinished file; the old file at the path stays.
  void discard() { m_file.discard(); }

  [[nodiscard]] bool isOpen() const { return m_file.isOpen(); }
  /// The `errno` of the last failure (0 when none).
  [[nodiscard]] int error() const { return m_error; }

 private:
  [[nodiscard]] int fd() const { return m_file.fd(); }

  SafeFile m_file;
  int m_error = 0;
};

}  // namespace tg
