// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/image_file.h"

#include <cctype>
#include <cstring>
#include <ctime>
#include <exception>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>

#include "imaging/image_decoders.h"
#include "platform/safe_file.h"
#include "platform/text_format.h"
#include "platform/user_dialogs.h"

namespace tg {

namespace {

// The decoder is chosen by the name: ".png" in any case means PNG, everything else JPEG.
bool hasPngName(const std::string& path) {
  if (path.size() < 4) return false;
  const char* tail = path.c_str() + path.size() - 4;
  return tail[0] == '.' && std::tolower(static_cast<unsigned char>(tail[1])) == 'p' &&
         std::tolower(static_cast<unsigned char>(tail[2])) == 'n' &&
         std::tolower(static_cast<unsigned char>(tail[3])) == 'g';
}

// The file's creation time, or its modification time where the file system keeps none.
bool fileCreationTime(const std::string& path, std::time_t& when) {
  struct statx info {};
  if (statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME | STATX_MTIME, &info) != 0) return false;
  if ((info.stx_mask & STATX_BTIME) != 0) {
    when = static_cast<std::time_t>(info.stx_btime.tv_sec);
    return true;
  }
  if ((info.stx_mask & STATX_MTIME) != 0) {
    when = static_cast<std::time_t>(info.stx_mtime.tv_sec);
    return true;
  }
  return false;
}

}  // namespace

bool loadImageFile(Foto& target, const std::string& path, std::uint32_t maxW, std::uint32_t maxH,
                   bool showMessages) {
  try {
    return hasPngName(path) ? detail::loadPngFile(target, path, showMessages)
                            : detail::loadJpegFile(target, path, maxW, maxH, showMessages);
  } catch (const std::exception&) {
  } catch (...) {
  }
  target.release();
  if (showMessages) {
    // Shown as it stands, without translation.
    showMessage(formatText("Internal error while loading file %s. Please contact the author of "
                           "Tesselograph and report this error.",
                           path),
                Buttons::Ok, Icon::Error);
  }
  return false;
}

bool readImageSize(const std::string& path, std::uint32_t& width, std::uint32_t& height) {
  try {
    return hasPngName(path) ? detail::readPngSize(path, width, height)
                            : detail::readJpegSize(path, width, height);
  } catch (...) {
    return false;
  }
}

std::string readShootingDate(const std::string& path) {
  std::string text;
  if (!isRegularFile(path)) return {};
  try {
    text = detail::readExifDateTime(path);
  } catch (...) {
    text.clear();
  }
  if (text.size() >= 10 && text.compare(0, 4, "0000") != 0) return text;
  std::time_t when = 0;
  if (!fileCreationTime(path, when)) return {};
  std::tm local{};
  if (localtime_r(&when, &local) == nullptr) return {};
  char buffer[32] = {};
  if (std::strftime(buffer, sizeof buffer, "%Y:%m:%d %H:%M:%S", &local) == 0) return {};
  return buffer;
}

}  // namespace tg
