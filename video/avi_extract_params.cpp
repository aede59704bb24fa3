// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/avi_extract_params.h"

#include <algorithm>
#include <cctype>

#include "imaging/foto.h"
#include "platform/catalogue.h"
#include "platform/paths.h"
#include "platform/text_format.h"

namespace tg {
namespace {

constexpr int kAutoTries = 3;

}  // namespace

void CDialogGetAviParam::prepare(std::uint32_t videoWidth, std::uint32_t videoHeight,
                                 std::uint32_t frameCount) {
  height = videoHeight;
  width = videoWidth;
  left = 0;
  top = 0;
  firstFrame = 0;
  lastFrame = frameCount > 0 ? frameCount - 1 : 0;
  imageCount = static_cast<std::int32_t>(
      std::clamp<std::uint32_t>(frameCount, 1, static_cast<std::uint32_t>(kMaxImageCount)));
  filePrefix = "FR";
  sampleFrame = 0;
}

std::optional<std::string> CDialogGetAviParam::rectangleProblem(std::uint32_t videoWidth,
                                                                std::uint32_t videoHeight) const {
  if (width == 0 || uint64_t{left} + width > videoWidth) {
    return formatText(
        tr("The value Left+Width (%ld+%ld pixels) must not exceed the Video Width of %ld pixels"),
        static_cast<long>(left), static_cast<long>(width), static_cast<long>(videoWidth));
  }
  if (height == 0 || uint64_t{top} + height > videoHeight) {
    return formatText(
        tr("The value Top+Height (%ld+%ld pixels) must not exceed the Video Height of %ld pixels"),
        static_cast<long>(top), static_cast<long>(height), static_cast<long>(videoHeight));
  }
  return std::nullopt;
}

std::optional<std::string> CDialogGetAviParam::problem(std::uint32_t videoWidth,
                                                       std::uint32_t videoHeight) const {
  if (jpegQuality < 1 || jpegQuality > 100) {
    return formatText(tr("The JPEG quality must lie between %d and %d."), 1, 100);
  }
  if (filePrefix.size() > kMaxPrefixLength) {
    return formatText(tr("The file prefix may hold at most %d characters."),
                      static_cast<int>(kMaxPrefixLength));
  }
  // The prefix starts file names inside the output folder: a separator would write elsewhere.
  if (filePrefix.find(kPathSeparator) != std::string::npos) {
    return formatText(tr("The file prefix must not contain the character '%c'."), kPathSeparator);
  }
  return rectangleProblem(videoWidth, videoHeight);
}

std::optional<std::string> CDialogGetAviParam::chooseSample(Sample which, std::uint32_t frameCount,
                                                            int random) {
  if (firstFrame > lastFrame || lastFrame > frameCount) {
    return formatText(tr("The First/Last Frame values must be between 0 and %ld"),
                      static_cast<long>(frameCount));
  }
  switch (which) {
    case Sample::First:
      sampleFrame = firstFrame;
      break;
    case Sample::Random:
      sampleFrame =
          firstFrame + static_cast<std::uint32_t>(
                           uint64_t{lastFrame - firstFrame} *
                           static_cast<std::uint32_t>(std::clamp(random, 0, 32767)) / 32768);
      break;
    case Sample::Last:
      // The frame before the last one of the range, as the button always did; 0 stays 0.
      sampleFrame = lastFrame > 0 ? lastFrame - 1 : 0;
      break;
  }
  return std::nullopt;
}

std::unique_ptr<Foto> CDialogGetAviParam::previewPicture(const Foto& frame, std::uint32_t areaWidth,
                                                         std::uint32_t areaHeight) const {
  if (frame.empty()) return nullptr;
  std::uint32_t w = 0;
  std::uint32_t h = 0;
  previewSize(areaWidth, areaHeight, frame.width, frame.height, w, h);
  if (w == 0 || h == 0) return nullptr;
  std::unique_ptr<Foto> preview = resample(frame, w, h, frame.width, frame.height, 0, 0);
  if (!preview || width == 0 || height == 0) return preview;
  // The rectangle in preview pixels, kept inside the picture.
  const double sx = static_cast<double>(w) / frame.width;
  const double sy = static_cast<double>(h) / frame.height;
  const auto x0 = std::min(static_cast<std::uint32_t>(left * sx), w - 1);
  const auto y0 = std::min(static_cast<std::uint32_t>(top * sy), h - 1);
  const auto x1 = std::min(static_cast<std::uint32_t>((uint64_t{left} + width) * sx), w) - 1;
  const auto y1 = std::min(static_cast<std::uint32_t>((uint64_t{top} + height) * sy), h) - 1;
  const Pixel white = makePixel(255, 255, 255, 0);
  for (std::uint32_t x = x0; x <= std::max(x0, x1); ++x) {
    preview->row(y0)[x] = white;
    preview->row(std::max(y0, y1))[x] = white;
  }
  for (std::uint32_t y = y0; y <= std::max(y0, y1); ++y) {
    preview->row(y)[x0] = white;
    preview->row(y)[std::max(x0, x1)] = white;
  }
  return preview;
}

std::string videoFileFilter() {
  static constexpr const char* kExtensions[] = {"mov", "avi", "mpg", "divx", "xvid",
                                                "mp4", "m4v", "mkv", "webm"};
  std::string shown;
  std::string patterns;
  for (const char* extension : kExtensions) {
    shown += std::string(shown.empty() ? "" : ", ") + "*." + extension;
    std::string upper = extension;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    patterns += std::string(patterns.empty() ? "" : ";") + "*." + extension + ";*." + upper;
  }
  return tr("Video Files") + " (" + shown + ")|" + patterns + "|" + tr("All Files (*.*)") +
         "|*.*||";
}

std::string videoFileNotice() {
  return formatText(
      tr("You will be asked for a Video file (avi,divx,mov,etc) to analyze. If you get any error "
         "message then please install the 'VfW video codecs' used by your Video. A good "
         "collection of codecs is freely available at the web site %s. You need to install ONLY "
         "the 'VfW video codecs', not the full package."),
      "https://ffmpeg.org");
}

bool brightExtent(const Foto& frame, std::uint32_t& left, std::uint32_t& top, std::uint32_t& right,
                  std::uint32_t& bottom) {
  bool found = false;
  for (std::uint32_t y = 0; y < frame.height; ++y) {
    const Pixel* row = frame.pixels + std::size_t{y} * frame.width;
    for (std::uint32_t x = 0; x < frame.width; ++x) {
      const Pixel p = row[x];
      // (30 R + 59 G + 11 B) / 100 rounded half up is at least 20.
      if (30 * pixelRed(p) + 59 * pixelGreen(p) + 11 * pixelBlue(p) < 1950) continue;
      if (!found) {
        left = right = x;
        top = bottom = y;
        found = true;
      }
      left = std::min(left, x);
      right = std::max(right, x);
      bottom = y;
    }
  }
  return found;
}

bool CDialogGetAviParam::autoRectangle(
    const std::function<std::unique_ptr<Foto>(std::uint32_t)>& readFrame, std::uint32_t frameCount,
    const std::function<int()>& random) {
  bool examined = false;
  std::uint32_t l = 0, t = 0, r = 0, b = 0;
  bool bright = false;
  for (int attempt = 0; attempt <= kAutoTries; ++attempt) {
    if (attempt > 0 && chooseSample(Sample::Random, frameCount, random())) break;
    const std::unique_ptr<Foto> frame = readFrame(sampleFrame);
    if (!frame || frame->empty()) continue;
    examined = true;
    bright = brightExtent(*frame, l, t, r, b);
    if (bright && l < r && t < b) {
      left = l;
      top = t;
      width = r - l + 1;
      height = b - t + 1;
      return true;
    }
  }
  if (!examined) return false;
  left = top = 0;
  width = bright ? r + 1 : 0;
  height = bright ? b + 1 : 0;
  return true;
}

std::optional<std::string> CDialogGetAviParam::finish(std::uint32_t videoWidth,
                                                      std::uint32_t videoHeight,
                                                      std::uint32_t frameCount) {
  if (extractClips != 0) {
    width -= width % 4;
    height -= height % 4;
  }
  if (uint64_t{left} + width > videoWidth || uint64_t{top} + height > videoHeight) {
    return tr(
        "Internal Error: The specified Position/Size is bigger than the size of a single Frame");
  }
  if (imageCount <= 0) imageCount = 1;
  firstFrame = std::min(firstFrame, frameCount);
  lastFrame = std::min(std::max(lastFrame, firstFrame), frameCount);
  return std::nullopt;
}

void CDialogGetAviParam::previewSize(std::uint32_t areaWidth, std::uint32_t areaHeight,
                                     std::uint32_t videoWidth, std::uint32_t videoHeight,
                                     std::uint32_t& width, std::uint32_t& height) {
  width = height = 0;
  if (areaWidth <= 2 || areaHeight <= 2 || videoWidth == 0 || videoHeight == 0) return;
  width = areaWidth - 2;
  height = areaHeight - 2;
  if (!cropToAspect(width, height, videoWidth, videoHeight)) width = height = 0;
}

}  // namespace tg
