// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

namespace tg {

bool OutputFile::create(const std::string& path) {
  if (!m_file.create(path)) {
    m_error = errno;
    return false;
  }
  m_error = 0;
  return true;
}

bool OutputFile::write(const void* data, std::size_t size) {
  if (!isOpen()) return false;
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd(), bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      m_error = n < 0 ? errno : ENOSPC;
      return false;
    }
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool OutputFile::writeAt(std::uint64_t offset, const void* data, std::size_t size) {
  if (!isOpen()) return false;
  if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
    m_error = EFBIG;
    return false;
  }
  const auto* bytes = static_cast<const unsigned char*>(data);
  auto at = static_cast<off_t>(offset);
  while (size > 0) {
    const ssize_t n = ::pwrite(fd(), bytes, size, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      m_error = n < 0 ? errno : ENOSPC;
      return false;
    }
    bytes += n;
    at += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool OutputFile::seek(std::uint64_t offset) {
  if (!isOpen()) return false;
  if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) ||
      ::lseek(fd(), static_cast<off_t>(offset), SEEK_SET) < 0) {
    m_error = errno != 0 ? errno : EFBIG;
    return false;
  }
  return true;
}

std::int64_t OutputFile::position() {
  if (!isOpen()) return -1;
  const off_t at = ::lseek(fd(), 0, SEEK_CUR);
  if (at < 0) m_error = errno;
  return at;
}

bool OutputFile::setLength(std::uint64_t length) {
  if (!isOpen()) return false;
  if (length > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) ||
      ::ftruncate(fd(), static_cast<off_t>(length)) != 0) {
    m_error = errno != 0 ? errno : EFBIG;
    return false;
  }
  return true;
}

bool OutputFile::reserve(std::uint64_t length) {
  if (!isOpen()) return false;
  if (!m_file.reserve(length)) {
    m_error = errno;
    return false;
  }
  return true;
}

bool OutputFile::commit() {
  if (!isOpen()) return false;
  if (!m_file.commit()) {
    m_error = errno;
    return false;
  }
  return true;
}

}  // namespace tg
