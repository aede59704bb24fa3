// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <utility>
#include <vector>

#include "platform/paths.h"

namespace tg {

namespace {

/// The process's file-creation mask, read without changing it (umask() would race other threads).
mode_t currentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) {
      return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    }
  }
  return 022;
}

/// The file the path finally names: symbolic links are followed so the link itself survives.
std::string resolveTarget(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
    char* resolved = realpath(path.c_str(), nullptr);
    if (resolved != nullptr) {
      std::string target(resolved);
      std::free(resolved);
      return target;
    }
  }
  return path;
}

bool writeAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

SafeFile::~SafeFile() { discard(); }

bool SafeFile::create(const std::string& path) {
  discard();
  if (path.empty()) {
    errno = ENOENT;
    return false;
  }
  m_target = resolveTarget(path);
  // A file the user made read-only stays protected, as it was when files were written in place.
  if (::access(m_target.c_str(), F_OK) == 0 && ::access(m_target.c_str(), W_OK) != 0) {
    errno = EACCES;
    return false;
  }
  struct stat existing {};
  if (::stat(m_target.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
    // A device or a pipe is no file to replace (renaming over /dev/null would destroy it): it
    // is written directly, opened without blocking on a pipe that has no reader.
    const int fd = ::open(m_target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return false;
    const int flags = fcntl(fd, F_GETFL);
    if (S_ISDIR(existing.st_mode) || flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
      ::close(fd);
      errno = S_ISDIR(existing.st_mode) ? EISDIR : EINVAL;
      return false;
    }
    m_fd = fd;
    m_direct = true;
    m_temporary = m_target;
    return true;
  }
  const std::string folder = folderOf(m_target);
  std::string temporary = folder + "." + fileNameOf(m_target) + ".tmp-XXXXXX";
  const int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return false;
  struct stat old {};
  const mode_t mode =
      stat(m_target.c_str(), &old) == 0 ? (old.st_mode & 07777) : (0666 & ~currentUmask());
  if (fchmod(fd, mode) != 0 && errno != EPERM) {
    const int failure = errno;
    ::close(fd);
    ::unlink(temporary.c_str());
    errno = failure;
    return false;
  }
  m_fd = fd;
  m_temporary = std::move(temporary);
  return true;
}

bool SafeFile::reserve(std::uint64_t length) {
  if (m_fd < 0) {
    errno = EBADF;
    return false;
  }
  if (length == 0 || m_direct) return true;
  if (length > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
    errno = EFBIG;
    return false;
  }
  const auto size = static_cast<off_t>(length);
  int result = 0;
  do {
    result = posix_fallocate(m_fd, 0, size);
  } while (result == EINTR);
  if (result == 0) return true;
  // File systems without allocation (some network and FUSE ones) still get the full length.
  if (result == EOPNOTSUPP || result == ENOSYS || result == EINVAL) {
    if (ftruncate(m_fd, size) == 0) return true;
    return false;
  }
  errno = result;
  return false;
}

bool SafeFile::commit() {
  if (m_fd < 0) {
    errno = EBADF;
    return false;
  }
  // Devices and pipes cannot be synchronised; for them only the close counts.
  bool ok = fsync(m_fd) == 0 || (m_direct && (errno == EINVAL || errno == EROFS));
  int failure = errno;
  const int fd = m_fd;
  m_fd = -1;
  if (::close(fd) != 0 && ok) {
    ok = false;
    failure = errno;
  }
  if (ok && !m_direct && std::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
    ok = false;
    failure = errno;
  }
  if (!ok) {
    discard();
    errno = failure;
    return false;
  }
  m_temporary.clear();
  if (m_direct) {
    m_direct = false;
    return true;
  }
  // Make the rename itself durable; a failure here no longer endangers the old data.
  const std::string folder = folderOf(m_target);
  const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    (void)fsync(dir);
    ::close(dir);
  }
  return true;
}

void SafeFile::discard() {
  const int saved = errno;
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
  if (!m_temporary.empty() && !m_direct) ::unlink(m_temporary.c_str());
  m_temporary.clear();
  m_direct = false;
  errno = saved;
}

bool writeFileSafely(const std::string& path, const std::string& bytes) {
  SafeFile file;
  if (!file.create(path)) return false;
  if (!writeAll(file.fd(), bytes)) {
    file.discard();
    return false;
  }
  return file.commit();
}

namespace {

/// A descriptor for reading `path`, or -1 with `errno`. Opened without blocking (a FIFO would
/// wait for a writer) and kept only when it is a regular file; reads then block as usual.
int openRegularDescriptor(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return -1;
  struct stat info {};
  const int flags = fcntl(fd, F_GETFL);
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || flags < 0 ||
      fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    ::close(fd);
    errno = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    return -1;
  }
  return fd;
}

}  // namespace

std::FILE* openRegularFile(const std::string& path) {
  const int fd = openRegularDescriptor(path);
  if (fd < 0) return nullptr;
  std::FILE* file = ::fdopen(fd, "rb");
  if (file == nullptr) ::close(fd);
  return file;
}

bool isRegularFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

ReadResult readWholeFile(const std::string& path, size_t maxBytes, std::string& bytes) {
  bytes.clear();
  const int fd = openRegularDescriptor(path);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? ReadResult::Missing : ReadResult::Failed;
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    ::close(fd);
    return ReadResult::Failed;
  }
  if (info.st_size > 0 && static_cast<unsigned long long>(info.st_size) > maxBytes) {
    ::close(fd);
    return ReadResult::TooLarge;
  }
  // Read in chunks rather than trusting st_size: the file may change while it is read.
  std::vector<char> chunk(65536);
  for (;;) {
    const ssize_t n = ::read(fd, chunk.data(), chunk.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      bytes.clear();
      return ReadResult::Failed;
    }
    if (n == 0) break;
    if (bytes.size() + static_cast<size_t>(n) > maxBytes) {
      ::close(fd);
      bytes.clear();
      return ReadResult::TooLarge;
    }
    bytes.append(chunk.data(), static_cast<size_t>(n));
  }
  ::close(fd);
  return ReadResult::Ok;
}

}  // namespace tg
