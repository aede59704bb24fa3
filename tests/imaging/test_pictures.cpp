// SPDX-License-Identifier: GPL-3.0-or-later
#include "test_pictures.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
#include <png.h>

namespace tg::test {

namespace {

struct JpegWriteError {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

[[noreturn]] void onWriteError(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<JpegWriteError*>(cinfo->err)->jump, 1);
}

struct JpegWriteJob {
  jpeg_compress_struct cinfo;
  JpegWriteError err;
  std::FILE* file;
  std::uint32_t width;
  std::uint32_t height;
  const std::uint8_t* samples;
  JpegKind kind;
  int quality;
  const std::string* app1;
  bool progressive;
};

bool runJpegWrite(JpegWriteJob& job) {
  if (setjmp(job.err.jump) != 0) return false;
  jpeg_create_compress(&job.cinfo);
  jpeg_stdio_dest(&job.cinfo, job.file);
  job.cinfo.image_width = job.width;
  job.cinfo.image_height = job.height;
  const int components = job.kind == JpegKind::Rgb ? 3 : job.kind == JpegKind::Grey ? 1 : 4;
  job.cinfo.input_components = components;
  job.cinfo.in_color_space = job.kind == JpegKind::Rgb    ? JCS_RGB
                             : job.kind == JpegKind::Grey ? JCS_GRAYSCALE
                                                          : JCS_CMYK;
  jpeg_set_defaults(&job.cinfo);
  if (job.kind == JpegKind::Cmyk) jpeg_set_colorspace(&job.cinfo, JCS_CMYK);
  jpeg_set_quality(&job.cinfo, job.quality, TRUE);
  if (job.progressive) jpeg_simple_progression(&job.cinfo);
  jpeg_start_compress(&job.cinfo, TRUE);
  if (!job.app1->empty()) {
    jpeg_write_marker(&job.cinfo, JPEG_APP0 + 1, reinterpret_cast<const JOCTET*>(job.app1->data()),
                      static_cast<unsigned>(job.app1->size()));
  }
  const std::size_t stride = static_cast<std::size_t>(job.width) * components;
  while (job.cinfo.next_scanline < job.height) {
    JSAMPROW row = const_cast<JSAMPROW>(job.samples + stride * job.cinfo.next_scanline);
    jpeg_write_scanlines(&job.cinfo, &row, 1);
  }
  jpeg_finish_compress(&job.cinfo);
  return true;
}

std::string bytes16(std::uint16_t v, bool big) {
  std::string s(2, '\0');
  s[big ? 0 : 1] = static_cast<char>(v >> 8);
  s[big ? 1 : 0] = static_cast<char>(v & 0xFF);
  return s;
}

std::string bytes32(std::uint32_t v, bool big) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) {
    const auto byte = static_cast<char>((v >> (8 * i)) & 0xFF);
    s[big ? 3 - i : i] = byte;
  }
  return s;
}

// Appends one directory at `out` (whose first byte is TIFF offset `base`), its values after it.
void appendIfd(std::string& tiff, const std::vector<ExifField>& fields, bool big) {
  const std::size_t start = tiff.size();
  const std::size_t tableBytes = 2 + fields.size() * 12 + 4;
  std::string data;
  std::string table = bytes16(static_cast<std::uint16_t>(fields.size()), big);
  for (const ExifField& f : fields) {
    table += bytes16(f.tag, big) + bytes16(f.type, big) + bytes32(f.count, big);
    if (f.value.size() <= 4) {
      std::string inline4 = f.value;
      inline4.resize(4, '\0');
      table += inline4;
    } else {
      table += bytes32(static_cast<std::uint32_t>(start + tableBytes + data.size()), big);
      data += f.value;
      if (data.size() % 2 != 0) data += '\0';
    }
  }
  table += bytes32(0, big);
  tiff += table + data;
}

}  // namespace

bool writeJpeg(const std::string& path, std::uint32_t width, std::uint32_t height,
               const std::vector<std::uint8_t>& samples, JpegKind kind, int quality,
               const std::string& app1, bool progressive) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  JpegWriteJob job{};
  job.cinfo.err = jpeg_std_error(&job.err.pub);
  job.err.pub.error_exit = onWriteError;
  job.file = file;
  job.width = width;
  job.height = height;
  job.samples = samples.data();
  job.kind = kind;
  job.quality = quality;
  job.app1 = &app1;
  job.progressive = progressive;
  const bool ok = runJpegWrite(job);
  jpeg_destroy_compress(&job.cinfo);
  return std::fclose(file) == 0 && ok;
}

bool writeJpeg(const std::string& path, const Foto& image, int quality, const std::string& app1,
               bool progressive) {
  std::vector<std::uint8_t> samples;
  samples.reserve(image.pixelCount() * 3);
  for (std::size_t i = 0; i < image.pixelCount(); ++i) {
    const Pixel p = image.pixels[i];
    samples.push_back(static_cast<std::uint8_t>(pixelRed(p)));
    samples.push_back(static_cast<std::uint8_t>(pixelGreen(p)));
    samples.push_back(static_cast<std::uint8_t>(pixelBlue(p)));
  }
  return writeJpeg(path, image.width, image.height, samples, JpegKind::Rgb, quality, app1,
                   progressive);
}

bool writePng(const std::string& path, const PngPicture& picture) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  bool ok = png != nullptr && info != nullptr;
  std::vector<png_bytep> rows;
  for (const auto& row : picture.rows) rows.push_back(const_cast<png_bytep>(row.data()));
  if (ok && setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, file);
    png_set_IHDR(png, info, picture.width, picture.height, picture.bitDepth, picture.colourType,
                 picture.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    for (std::size_t i = 0; i + 2 < picture.palette.size(); i += 3) {
      palette.push_back({picture.palette[i], picture.palette[i + 1], picture.palette[i + 2]});
    }
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    if (!picture.transparency.empty()) {
      png_set_tRNS(png, info, picture.transparency.data(),
                   static_cast<int>(picture.transparency.size()), nullptr);
    }
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
  } else {
    ok = false;
  }
  if (png != nullptr) png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
  return std::fclose(file) == 0 && ok;
}

ExifField orientationField(std::uint32_t value, std::uint16_t type, bool bigEndian) {
  switch (type) {
    case 1:
      return {274, 1, 1, std::string(1, static_cast<char>(value))};
    case 4:
      return {274, 4, 1, bytes32(value, bigEndian)};
    default:
      return {274, 3, 1, bytes16(static_cast<std::uint16_t>(value), bigEndian)};
  }
}

ExifField dateTimeField(const std::string& text) {
  std::string value = text;
  value += '\0';
  return {306, 2, static_cast<std::uint32_t>(value.size()), value};
}

std::string exifBlock(const std::vector<ExifField>& ifd0, const std::vector<ExifField>& exifIfd,
                      bool bigEndian) {
  std::string tiff = bigEndian ? "MM" : "II";
  tiff += bytes16(42, bigEndian) + bytes32(8, bigEndian);
  std::vector<ExifField> first = ifd0;
  const std::size_t pointerIndex = first.size();
  if (!exifIfd.empty()) first.push_back({0x8769, 4, 1, bytes32(0, bigEndian)});
  appendIfd(tiff, first, bigEndian);
  if (!exifIfd.empty()) {
    // Point the sub-directory entry at the directory appended next.
    const std::uint32_t offset = static_cast<std::uint32_t>(tiff.size());
    const std::size_t entry = 8 + 2 + pointerIndex * 12 + 8;
    tiff.replace(entry, 4, bytes32(offset, bigEndian));
    appendIfd(tiff, exifIfd, bigEndian);
  }
  return std::string("Exif\0\0", 6) + tiff;
}

Foto patternImage(std::uint32_t width, std::uint32_t height) {
  Foto image;
  if (!image.createQuiet(width, height)) return image;
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      image.at(x, y) = makePixel((x * 40 + 7) & 0xFF, (y * 40 + 11) & 0xFF, (3 * x + y) & 0xFF);
    }
  }
  return image;
}

}  // namespace tg::test
