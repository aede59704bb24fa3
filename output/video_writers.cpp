// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/video_writers.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <new>

#include "imaging/frame_bitmap.h"
#include "output/jpeg_writer.h"
#include "platform/catalogue.h"
#include "platform/safe_file.h"
#include "platform/text_format.h"
#include "platform/user_dialogs.h"
#include "video/avi_create.h"

namespace tg {

namespace {

void showFileError(const std::string& path, int error) {
  showMessage(unableToSaveText(path) + ". " + formatText(tr("Error %ld"), static_cast<long>(error)),
              Buttons::Ok, Icon::Error);
}

// Starts the AVI file `path` under the temporary name of `file`, which replaces `path` only once
// the part is complete (the AVI writer opens the file by name itself); false with the message
// shown.
bool startAviFile(CAviCreate& avi, SafeFile& file, const std::string& path,
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
  SafeFile file;
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
    // Video frames are always written at the best quality, whatever JPGQuality says; the
    // writer replaces an older frame file only once the new one is complete.
    if (!writeJpegRows(path, width, height, 100, frames, resolution)) return false;
  }
  return true;
}

}  // namespace tg
