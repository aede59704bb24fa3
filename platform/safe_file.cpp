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

bool writeFileSafely(const std::string& path, const std::string& bytes) {
  if (path.empty()) {
    errno = ENOENT;
    return false;
  }
  const std::string target = resolveTarget(path);
  const std::string folder = folderOf(target);
  std::string temporary =
      (folder.empty() ? std::string() : folder) + "." + fileNameOf(target) + ".tmp-XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) return false;

  struct stat old {};
  const mode_t mode =
      stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : (0666 & ~currentUmask());
  bool ok = fchmod(fd, mode) == 0 || errno == EPERM;
  ok = ok && writeAll(fd, bytes) && fsync(fd) == 0;
  const int savedErrno = errno;
  ok = (::close(fd) == 0) && ok;
  if (ok && std::rename(temporary.c_str(), target.c_str()) == 0) {
    // Make the rename itself durable; a failure here no longer endangers the old data.
    const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
      (void)fsync(dir);
      ::close(dir);
    }
    return true;
  }
  const int failure = ok ? errno : savedErrno;
  ::unlink(temporary.c_str());
  errno = failure;
  return false;
}

ReadResult readWholeFile(const std::string& path, size_t maxBytes, std::string& bytes) {
  bytes.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? ReadResult::Missing : ReadResult::Failed;
  struct stat info {};
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
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
