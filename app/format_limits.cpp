// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/format_limits.h"

#include <algorithm>

#include "job/mosaic_settings.h"
#include "platform/catalogue.h"
#include "platform/text_format.h"
#include "platform/user_dialogs.h"

namespace tg {

std::optional<FormatLimits> formatLimits(long fileFormat, bool outputTiff64) {
  FormatLimits limits;
  switch (fileFormat) {
    case kFormatJpeg:
      limits.maximumPixels = std::uint64_t{1} << 32;
      limits.softSide = 30000;
      limits.hardSide = 65500;
      limits.message =
          tr("Not all applications are able to read JPEG files with a width/height over 30,000 "
             "pixels and the maximum width/height is 65,500 pixels. ");
      break;
    case kFormatBmp:
      limits.maximumPixels = 500000000;
      limits.message =
          tr("The BMP format doesn't support files over 2 Gigabytes (over 500 megapixels). ");
      break;
    case kFormatTiff:
      if (!outputTiff64) {
        limits.maximumPixels = 1431655766;
        limits.message = tr("The TIFF 32bit file format has a maximum file size of 4 Gigabytes.");
      }
      break;
    case kFormatPpm:
    case kFormatRaw:
    case kFormatMosaic:
    case kFormatAviUncompressed:
    case kFormatAviCompressed:
    case kFormatVideoJpeg:
      break;
    case kFormatPsd:
      limits.maximumPixels = 2000000000;
      limits.softSide = 30000;
      limits.hardSide = 30000;
      limits.message =
          tr("The Photoshop PSD format doesn't support width/height over 30,000 pixels. ");
      break;
    case kFormatPsb:
      limits.softSide = 300000;
      limits.hardSide = 300000;
      limits.message =
          tr("The Photoshop PSB format doesn't support width/height over 300,000 pixels. ");
      break;
    case kFormatTiffJpeg:
      limits.softSide = 65500;
      limits.hardSide = 65500;
      limits.message =
          tr("TIFF with JPG compression has a maximum width/height of 65,500 pixels. ");
      break;
    default:
      return std::nullopt;
  }
  return limits;
}

LimitVerdict checkMosaicSize(const FormatLimits& limits, std::uint64_t width,
                             std::uint64_t height) {
  // Both sides fit in 32 bits in every mosaic, but the product is taken in 64 bits whatever
  // they are: a side over 2^32 saturates instead of wrapping.
  const std::uint64_t pixels =
      (height != 0 && width > UINT64_MAX / height) ? UINT64_MAX : width * height;
  if (limits.maximumPixels && pixels > *limits.maximumPixels) return LimitVerdict::Refused;
  const std::uint64_t side = std::max(width, height);
  if (!limits.softSide || side <= *limits.softSide) return LimitVerdict::Accepted;
  if (limits.hardSide && side > *limits.hardSide) return LimitVerdict::Refused;
  return LimitVerdict::Ask;
}

bool pieceExceedsLimits(const FormatLimits& limits, std::uint64_t width, std::uint64_t height) {
  return checkMosaicSize(limits, width, height) != LimitVerdict::Accepted;
}

SizeCheck checkFormatLimits(const MosaicSettings& settings, std::uint64_t width,
                            std::uint64_t height) {
  const auto limits = formatLimits(settings.fileFormat.value, settings.outputTiff64.value);
  if (!limits) {
    showMessage(tr("Error File Format"));
    return SizeCheck::FormatError;
  }
  if (settings.splitMosaic.value) return SizeCheck::Passed;
  const LimitVerdict verdict = checkMosaicSize(*limits, width, height);
  if (verdict == LimitVerdict::Accepted) return SizeCheck::Passed;
  const std::string text =
      formatText("%s%s", limits->message,
                 tr("Please enable the Split Mosaic feature or Save the Mosaic in "
                    "TIFF(64bit)/PSB/PPM/RAW format to avoid this limit."));
  if (verdict == LimitVerdict::Refused) {
    showMessage(text, Buttons::Ok, Icon::Exclamation);
    return SizeCheck::Refused;
  }
  const Answer answer = showMessage(text + "\n" + tr("Do you want to continue?"), Buttons::YesNo,
                                    Icon::Question, Answer::No);
  return answer == Answer::Yes ? SizeCheck::Passed : SizeCheck::Cancelled;
}

}  // namespace tg
