// SPDX-License-Identifier: GPL-3.0-or-later
#include "tile_test_files.h"

#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <memory>

// jpeglib.h needs the declarations of <cstdio> first.
#include <jpeglib.h>

#include "imaging/frame_bitmap.h"
#include "video/avi_create.h"

namespace tg::test {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f != nullptr) std::fclose(f);
  }
};

std::uint8_t channel(std::uint32_t colour, int shift) { return (colour >> shift) & 0xFF; }

std::uint8_t ramp(std::uint32_t left, std::uint32_t right, int shift, std::uint32_t x,
                  std::uint32_t width) {
  const int a = channel(left, shift);
  const int b = channel(right, shift);
  const int span = width > 1 ? static_cast<int>(width - 1) : 1;
  return static_cast<std::uint8_t>(a + (b - a) * static_cast<int>(x) / span);
}

}  // namespace

bool writeTestJpeg(const std::string& path, std::uint32_t width, std::uint32_t height,
                   std::uint32_t left, std::uint32_t right) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
  if (!file) return false;
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr jerr{};
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, file.get());
  cinfo.image_width = width;
  cinfo.image_height = height;
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 90, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<JSAMPLE> row(static_cast<std::size_t>(width) * 3);
  for (std::uint32_t x = 0; x < width; ++x) {
    row[x * 3 + 0] = ramp(left, right, 0, x, width);
    row[x * 3 + 1] = ramp(left, right, 8, x, width);
    row[x * 3 + 2] = ramp(left, right, 16, x, width);
  }
  for (std::uint32_t y = 0; y < height; ++y) {
    JSAMPROW rows[] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return std::fflush(file.get()) == 0;
}

bool writeTestPng(const std::string& path, std::uint32_t width, std::uint32_t height,
                  std::uint32_t left, std::uint32_t right) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
  if (!file) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<png_byte> row(static_cast<std::size_t>(width) * 4);
  for (std::uint32_t x = 0; x < width; ++x) {
    row[x * 4 + 0] = ramp(left, right, 0, x, width);
    row[x * 4 + 1] = ramp(left, right, 8, x, width);
    row[x * 4 + 2] = ramp(left, right, 16, x, width);
    row[x * 4 + 3] = 255;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file.get());
  png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (std::uint32_t y = 0; y < height; ++y) png_write_row(png, row.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fflush(file.get()) == 0;
}

bool writeTestClip(const std::string& path, int frames, std::uint32_t rate) {
  CAviCreate writer;
  writer.setShowErrors(false);
  BitmapInfoHeader format{};
  if (!writer.create(path, format, 16, 16, 0, rate)) return false;
  std::vector<std::uint8_t> bits(format.imageSize);
  for (int k = 0; k < frames; ++k) {
    for (std::size_t i = 0; i < bits.size(); ++i) {
      bits[i] = static_cast<std::uint8_t>((i * 7 + static_cast<std::size_t>(k) * 3) & 0xFF);
    }
    if (!writer.writeFrame(bits.data(), bits.size())) return false;
  }
  return writer.close();
}

bool setModificationTime(const std::string& path, std::int64_t seconds) {
  timespec times[2];
  times[0].tv_sec = static_cast<time_t>(seconds);
  times[0].tv_nsec = 0;
  times[1] = times[0];
  return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

ListBytes& ListBytes::u8(std::uint8_t v) {
  m_bytes.push_back(static_cast<char>(v));
  return *this;
}
ListBytes& ListBytes::u16(std::uint16_t v) { return u8(v & 0xFF).u8(v >> 8); }
ListBytes& ListBytes::u32(std::uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
ListBytes& ListBytes::i64(std::int64_t v) {
  const auto u = static_cast<std::uint64_t>(v);
  return u32(static_cast<std::uint32_t>(u)).u32(static_cast<std::uint32_t>(u >> 32));
}
ListBytes& ListBytes::text(const std::string& s) {
  if (s.size() < 255) {
    u8(static_cast<std::uint8_t>(s.size()));
  } else if (s.size() < 65534) {
    u8(0xFF).u16(static_cast<std::uint16_t>(s.size()));
  } else {
    u8(0xFF).u16(0xFFFF).u32(static_cast<std::uint32_t>(s.size()));
  }
  m_bytes += s;
  return *this;
}
ListBytes& ListBytes::texts(const std::vector<std::string>& set) {
  u32(static_cast<std::uint32_t>(set.size()));
  for (const std::string& s : set) text(s);
  return *this;
}
ListBytes& ListBytes::raw(const std::string& bytes) {
  m_bytes += bytes;
  return *this;
}

ImageSignature patternSignature(std::uint32_t seed) {
  ImageSignature sig;
  for (std::size_t i = 0; i < ImageSignature::kValueCount; ++i) {
    const std::uint32_t v = seed * 2654435761u + static_cast<std::uint32_t>(i) * 40503u;
    sig.values[i] = v & 0x00FFFFFFu;  // opaque pixels
  }
  sig.opaque = 1;
  sig.valid = 1;
  return sig;
}

}  // namespace tg::test
