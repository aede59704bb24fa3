// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

namespace tg {

OutputFile::~OutputFile() { (void)close(); }

bool OutputFile::create(const std::string& path) {
  (void)close();
  m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (m_fd < 0) {
    m_error = errno;
    return false;
  }
  m_error = 0;
  return true;
}

bool OutputFile::write(const void* data, std::size_t size) {
  if (m_fd < 0) return false;
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(m_fd, bytes, size);
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
  if (m_fd < 0) return false;
  if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
    m_error = EFBIG;
    return false;
  }
  const auto* bytes = static_cast<const unsigned char*>(data);
  auto at = static_cast<off_t>(offset);
  while (size > 0) {
    const ssize_t n = ::pwrite(m_fd, bytes, size, at);
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
  if (m_fd < 0) return false;
  if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) ||
      ::lseek(m_fd, static_cast<off_t>(offset), SEEK_SET) < 0) {
    m_error = errno != 0 ? errno : EFBIG;
    return false;
  }
  return true;
}

std::int64_t OutputFile::position() {
  if (m_fd < 0) return -1;
  const off_t at = ::lseek(m_fd, 0, SEEK_CUR);
  if (at < 0) m_error = errno;
  return at;
}

bool OutputFile::setLength(std::uint64_t length) {
  if (m_fd < 0) return false;
  if (length > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) ||
      ::ftruncate(m_fd, static_cast<off_t>(length)) != 0) {
    m_error = errno != 0 ? errno : EFBIG;
    return false;
  }
  return true;
}

bool OutputFile::close() {
  if (m_fd < 0) return true;
  const int fd = m_fd;
  m_fd = -1;
  if (::close(fd) != 0) {
    m_error = errno;
    return false;
  }
  return true;
}

}  // namespace tg
