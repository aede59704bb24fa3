// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/tiff_writer.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include <tiffio.h>

#include "job/mosaic_settings.h"
#include "output/program_version.h"
#include "platform/safe_file.h"
#include "platform/text_format.h"
#include "platform/user_dialogs.h"

namespace tg {

namespace {

constexpr std::size_t kMaxLibraryMessage = 1000;

int onTiffError(TIFF*, void*, const char* module, const char* format, va_list args) {
  char text[kMaxLibraryMessage + 1];
  std::vsnprintf(text, sizeof text, format, args);
  showMessage(unableToSaveText(module != nullptr ? module : "") + ". Error: " + text);
  return 1;
}

int ignoreTiffWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffCloser {
  void operator()(TIFF* tif) const {
    if (tif != nullptr) TIFFClose(tif);
  }
};

struct OptionsDeleter {
  void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

}  // namespace

std::uint32_t tiffRowsPerStrip(std::uint32_t width, std::uint32_t height, std::uint32_t samples,
                               std::uint32_t minimumStrip) {
  if (width == 0 || samples == 0) return std::max<std::uint32_t>(1, std::min(height, minimumStrip));
  const std::uint32_t rows = ((1000000u / width) / samples) & ~15u;
  return std::min(height, std::max(minimumStrip, rows));
}

bool TiffWriter::writeRows() {
  if (m_samples != 3 && m_samples != 4) return false;
  std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(TIFFOpenOptionsAlloc());
  if (!options) return false;
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), onTiffError, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), ignoreTiffWarning, nullptr);
  // The library writes a temporary file that replaces `path` only once it is complete.
  SafeFile target;
  std::unique_ptr<TIFF, TiffCloser> tif(
      target.create(path())
          ? TIFFOpenExt(target.temporaryPath().c_str(), m_format.tiff64 ? "w8" : "w", options.get())
          : nullptr);
  if (!tif) {
    showMessage(unableToSaveText(path()));
    return false;
  }
  TIFF* t = tif.get();
  const bool jpeg = m_format.format == kFormatTiffJpeg;
  // The JPEG codec codes three colour components only; an alpha sample would make every strip
  // fail, and it carries nothing (it is always opaque).
  const std::uint32_t samples = jpeg ? 3 : m_samples;
  bool ok = TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width()) == 1 &&
            TIFFSetField(t, TIFFTAG_IMAGELENGTH, height()) == 1 &&
            TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8) == 1 &&
            TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, samples) == 1;
  if (ok && samples == 4) {
    const std::uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
    ok = TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, extra) == 1;
  }
  std::uint32_t minimumStrip = 1;
  if (ok && jpeg) {
    // The JPEG codec refuses its quality and colour mode before the compression is set.
    ok = TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_JPEG) == 1 &&
         TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB) == 1 &&
         TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR) == 1 &&
         TIFFSetField(t, TIFFTAG_JPEGQUALITY, std::clamp(m_format.quality, 1, 100)) == 1;
    minimumStrip = 16;
  } else if (ok) {
    ok = TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE) == 1 &&
         TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) == 1;
  }
  const ProgramVersion version = programVersion();
  const std::string software = formatText(std::string("Tesselograph %d.%d.%d%s"), version.major,
                                          version.minor, version.build, version.suffix);
  ok = ok && TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) == 1 &&
       TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH) == 1 &&
       TIFFSetField(t, TIFFTAG_XRESOLUTION, static_cast<double>(m_resolution)) == 1 &&
       TIFFSetField(t, TIFFTAG_YRESOLUTION, static_cast<double>(m_resolution)) == 1 &&
       TIFFSetField(t, TIFFTAG_SUBFILETYPE, 0) == 1 &&
       TIFFSetField(t, TIFFTAG_ROWSPERSTRIP,
                    tiffRowsPerStrip(width(), height(), samples, minimumStrip)) == 1 &&
       TIFFSetField(t, TIFFTAG_SOFTWARE, software.c_str()) == 1;

  const std::size_t rowBytes = std::size_t{samples} * width();
  std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[rowBytes]);
  if (ok && !buffer) {
    showMessage(outOfMemoryText(width(), TIFFDefaultStripSize(t, 0)) + "!");
    return false;
  }
  for (std::uint32_t y = 0; ok && y < height(); ++y) {
    const Pixel* row = nextRow();
    if (row == nullptr) {
      ok = false;
      break;
    }
    std::uint8_t* out = buffer.get();
    if (samples == 3) {
      packRgb(row, out, width());
    } else {
      // The alpha sample is always opaque: no writer carries T into the file.
      for (std::uint32_t x = 0; x < width(); ++x) {
        out[4 * x] = static_cast<std::uint8_t>(row[x]);
        out[4 * x + 1] = static_cast<std::uint8_t>(row[x] >> 8);
        out[4 * x + 2] = static_cast<std::uint8_t>(row[x] >> 16);
        out[4 * x + 3] = 255;
      }
    }
    ok = TIFFWriteScanline(t, out, y, 0) == 1;
  }
  // TIFFClose reports nothing; the directory and the last strip are written here.
  ok = ok && TIFFFlush(t) == 1;
  tif.reset();
  ok = ok && target.commit();
  if (!ok) showMessage(unableToSaveText(path()));
  return ok;
}

bool writeTiffRows(const std::string& path, const OutputFormat& format, std::uint32_t samples,
                   std::uint32_t width, std::uint32_t height, unsigned resolution,
                   RowSource& rows) {
  TiffWriter writer(format, samples, resolution);
  return writer.write(path, width, height, rows);
}

}  // namespace tg
