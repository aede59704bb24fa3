// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tg {

/// A file opened for writing through a POSIX descriptor, with 64-bit positions. Closes itself;
/// `close` reports what the final close says (a full disk may show up only there). Every failing
/// call keeps the `errno` of the cause in `error()`. One thread at a time.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  /// Creates `path` or truncates the file there (permissions from the umask). Fails when the
  /// folder does not exist or cannot be written.
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
  /// Closes the file; false when the system reports an error at that point. Closing a closed
  /// file succeeds.
  [[nodiscard]] bool close();

  [[nodiscard]] bool isOpen() const { return m_fd >= 0; }
  /// The `errno` of the last failure (0 when none).
  [[nodiscard]] int error() const { return m_error; }

 private:
  int m_fd = -1;
  int m_error = 0;
};

}  // namespace tg
