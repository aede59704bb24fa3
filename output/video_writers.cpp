// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/video_writers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>

#include "imaging/frame_bitmap.h"
#include "output/jpeg_writer.h"
#include "platform/catalogue.h"
#include "platform/text_format.h"
#include "platform/user_dialogs.h"
#include "video/avi_create.h"

namespace tg {

namespace {

// A file written under a temporary name in its folder and renamed over its real name only once
// it is complete, so that neither a stop nor a failure leaves a half-written file or destroys an
// older file of the same name. The writers need a path they open themselves (libjpeg, FFmpeg),
// so the temporary file is named, created empty and handed over by name.
class PendingFile {
 public:
  PendingFile() = default;
  ~PendingFile() { discard(); }
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // Creates the empty temporary file for `target` (new files get the umask's permissions, a
  // replaced file keeps its own). False, with the cause in errno, when the folder cannot take it.
  bool create(const std::string& target) {
    discard();
    m_target = target;
    static std::atomic<unsigned> counter{0};
    const std::size_t slash = m_target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "" : m_target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? m_target : m_target.substr(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string path = formatText(std::string("%s.%s.tmp-%ld-%u"), folder, name,
                                    static_cast<long>(getpid()), counter.fetch_add(1));
      const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd < 0) {
        if (errno == EEXIST) continue;
        return false;
      }
      struct stat old {};
      if (stat(m_target.c_str(), &old) == 0) (void)fchmod(fd, old.st_mode & 07777);
      ::close(fd);
      m_temporary = std::move(path);
      return true;
    }
    errno = EEXIST;
    return false;
  }
  [[nodiscard]] const std::string& temporaryPath() const { return m_temporary; }
  // Renames the finished file over its target; false (errno set) when that fails.
  bool commit() {
    if (m_temporary.empty() || std::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
      return false;
    }
    m_temporary.clear();
    return true;
  }
  void discard() {
    if (!m_temporary.empty()) ::unlink(m_temporary.c_str());
    m_temporary.clear();
  }

 private:
  std::string m_target;
  std::string m_temporary;
};

void showFileError(const std::string& path, int error) {
  showMessage(unableToSaveText(path) + ". " + formatText(tr("Error %ld"), static_cast<long>(error)),
              Buttons::Ok, Icon::Error);
}

// Starts the AVI file `path` under its temporary name; false with the message shown.
bool startAviFile(CAviCreate& avi, PendingFile& file, const std::string& path,
                  BitmapInfoHeader& format, std::uint32_t width, std::uint32_t height,
                  std::uint32_t fourcc, std::uint32_t rate) {
  if (!file.create(path)) {
    showFileError(path, errno);
    return false;
  }
  const auto side = [](std::uint32_t value) {
    return static_cast<int>(std::min<std::uint32_t>(value, 0x7FFFFFFF));
  };
  return avi.create(file.temporaryPath(), format, side(width), side(height), fourcc, rate);
}

}  // namespace

bool writeVideoAvi(const std::string& base, FrameSource& frames, std::uint32_t width,
                   std::uint32_t height, std::uint32_t fourcc, std::uint32_t frameCount,
                   std::uint32_t rate, std::vector<std::string>& paths, std::uint64_t fileBytes) {
  if (rate == 0) rate = 5;
  std::string path = base + ".avi";
  paths.push_back(path);
  // Declared before the writer, so that the writer is closed before a temporary file goes.
  PendingFile file;
  CAviCreate avi;
  BitmapInfoHeader format{};
  if (!startAviFile(avi, file, path, format, width, height, fourcc, rate)) return false;
  if (format.width < 1 || format.height < 1 || format.imageSize == 0) return false;
  const auto frameW = static_cast<std::uint32_t>(format.width);
  const auto frameH = static_cast<std::uint32_t>(format.height);
  const std::size_t imageBytes = format.imageSize;
  const std::size_t stride = imageBytes / frameH;

  std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[imageBytes]);
  if (!buffer) {
    showMessage(outOfMemoryText(width, height) + "!!!!");
    return false;
  }
  const std::uint32_t rows = std::min(height, frameH);
  const std::uint32_t columns = std::min(width, frameW);
  int part = 1;
  for (std::uint32_t frame = 1; frame <= frameCount; ++frame) {
    frames.startNextFrame();
    for (std::uint32_t y = 0; y < rows; ++y) {
      const Pixel* row = frames.nextRow();
      if (row == nullptr) return false;
      packBgr(row, buffer.get() + stride * (frameH - 1 - y), columns);
    }
    // A file that holds at least one frame continues in the next part before it passes the
    // limit.
    if (avi.frameIndex() > 0 && avi.bytesWritten() + imageBytes > fileBytes) {
      if (!avi.close()) return false;
      if (!file.commit()) {
        showFileError(path, errno);
        return false;
      }
      ++part;
      path = formatText(std::string("%s__%03d.avi"), base, part);
      paths.push_back(path);
      BitmapInfoHeader next{};
      if (!startAviFile(avi, file, path, next, width, height, fourcc, rate)) return false;
    }
    if (!avi.writeFrame(buffer.get(), imageBytes)) return false;
  }
  if (!avi.close()) return false;
  if (!file.commit()) {
    showFileError(path, errno);
    return false;
  }
  return true;
}

bool writeVideoJpegFrames(FrameSource& frames, const std::string& base, std::uint32_t width,
                          std::uint32_t height, unsigned resolution, std::uint32_t frameCount,
                          std::vector<std::string>& paths) {
  for (std::uint32_t frame = 1; frame <= frameCount; ++frame) {
    frames.startNextFrame();
    const std::string path = formatText(std::string("%s__%09d.jpg"), base, static_cast<int>(frame));
    paths.push_back(path);
    PendingFile file;
    if (!file.create(path)) {
      showFileError(path, errno);
      return false;
    }
    // Video frames are always written at the best quality, whatever JPGQuality says.
    if (!writeJpegRows(file.temporaryPath(), width, height, 100, frames, resolution)) {
      return false;
    }
    if (!file.commit()) {
      showFileError(path, errno);
      return false;
    }
  }
  return true;
}

}  // namespace tg
