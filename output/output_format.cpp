// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/output_format.h"

#include "job/mosaic_settings.h"

namespace tg {

OutputFormat outputFormatFromSettings(const MosaicSettings& settings) {
  OutputFormat format;
  format.format = settings.fileFormat.value;
  format.quality = static_cast<int>(settings.jpgQuality.value);
  format.transparency = settings.outputTransparency.value;
  format.layers = settings.outputLayers.value;
  format.tiff64 = settings.outputTiff64.value;
  return format;
}

std::string outputExtension(long format) {
  switch (format) {
    case kFormatJpeg:
      return ".jpg";
    case kFormatBmp:
      return ".bmp";
    case kFormatTiff:
    case kFormatTiffJpeg:
      return ".tiff";
    case kFormatPpm:
      return ".ppm";
    case kFormatRaw:
      return ".raw";
    case kFormatPsd:
      return ".psd";
    case kFormatPsb:
      return ".psb";
    default:
      return {};
  }
}

bool isVideoFormat(long format) {
  return format == kFormatAviUncompressed || format == kFormatAviCompressed ||
         format == kFormatVideoJpeg;
}

}  // namespace tg
