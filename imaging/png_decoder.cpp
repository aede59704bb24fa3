// SPDX-License-Identifier: GPL-3.0-or-later
// PNG decoding through libpng: 8-bit RGBA rows with transparency T = 255 - alpha.
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <png.h>

#include "imaging/image_decoders.h"
#include "platform/safe_file.h"
#include "platform/text_format.h"
#include "platform/user_dialogs.h"

namespace tg::detail {

namespace {

constexpr std::size_t kSignatureBytes = 8;

void onPngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void onPngWarning(png_structp, png_const_charp) {}

// libpng's read and info structures, released together.
struct PngReader {
  png_structp png = nullptr;
  png_infop info = nullptr;
  PngReader() = default;
  PngReader(const PngReader&) = delete;
  PngReader& operator=(const PngReader&) = delete;
  ~PngReader() {
    if (png != nullptr) png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
  }
};

struct PngHeader {
  png_uint_32 width;
  png_uint_32 height;
  png_size_t rowBytes;
};

// Reads the header and requests the transforms that make every picture 8-bit R, G, B, T. Only
// trivially destructible locals: a libpng error jumps back to the setjmp below.
bool readHeader(png_structp png, png_infop info, std::FILE* file, bool transforms,
                PngHeader& header) {
  if (setjmp(png_jmpbuf(png)) != 0) return false;
  png_init_io(png, file);
  png_set_sig_bytes(png, static_cast<int>(kSignatureBytes));
  png_read_info(png, info);
  header.width = png_get_image_width(png, info);
  header.height = png_get_image_height(png, info);
  if (!transforms) return true;

  const png_byte colourType = png_get_color_type(png, info);
  png_set_strip_16(png);
  if (colourType == PNG_COLOR_TYPE_PALETTE) {
    png_set_palette_to_rgb(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS) != 0) {
      png_set_tRNS_to_alpha(png);
    } else {
      // Without a transparency chunk the palette expands to three samples; the filler makes it
      // four like every other opaque picture.
      png_set_filler(png, 0, PNG_FILLER_AFTER);
    }
  }
  if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA) {
    png_set_gray_to_rgb(png);
  }
  if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_RGB) {
    png_set_filler(png, 0, PNG_FILLER_AFTER);
  }
  png_set_invert_alpha(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  header.rowBytes = png_get_rowbytes(png, info);
  return true;
}

bool readRows(png_structp png, png_infop info, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png)) != 0) return false;
  (void)info;
  png_read_image(png, rows);
  return true;
}

// Opens the file, checks the signature and creates the reader. Returns the failure text, or ""
// when the reader is ready.
std::string openPng(const std::string& path, std::unique_ptr<std::FILE, FileCloser>& file,
                    PngReader& reader) {
  file.reset(openRegularFile(path));
  if (!file) return formatText("PNG: File %s could not be opened for reading", path);
  png_byte signature[kSignatureBytes] = {};
  if (std::fread(signature, 1, kSignatureBytes, file.get()) != kSignatureBytes ||
      png_sig_cmp(signature, 0, kSignatureBytes) != 0) {
    return formatText("PNG: File %s is not recognized as a PNG file", path);
  }
  reader.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, onPngError, onPngWarning);
  if (reader.png == nullptr) return "PNG: png_create_read_struct failed";
  reader.info = png_create_info_struct(reader.png);
  if (reader.info == nullptr) return "PNG: png_create_info_struct failed";
  return {};
}

}  // namespace

bool loadPngFile(Foto& target, const std::string& path, bool showMessages) {
  target.release();
  const auto fail = [&](const std::string& text) {
    target.release();
    // These diagnostics are shown as they stand, without translation.
    if (showMessages && !text.empty()) showMessage(text);
    return false;
  };

  std::unique_ptr<std::FILE, FileCloser> file;
  PngReader reader;
  std::string problem = openPng(path, file, reader);
  if (!problem.empty()) return fail(problem);

  PngHeader header{};
  if (!readHeader(reader.png, reader.info, file.get(), true, header)) {
    return fail("PNG: Error during init_io");
  }
  if (header.width == 0 || header.height == 0 ||
      header.rowBytes != static_cast<png_size_t>(header.width) * 4) {
    return fail("PNG: Unable to read this valid PNG file");
  }
  // `create` tells the user when the picture is too large for memory, whatever showMessages says.
  if (!target.create(header.width, header.height)) return fail("");
  std::vector<png_bytep> rows;
  try {
    rows.resize(header.height);
  } catch (const std::bad_alloc&) {
    return fail("PNG: Unable to allocate memory");
  }
  for (png_uint_32 y = 0; y < header.height; ++y) {
    rows[y] = reinterpret_cast<png_bytep>(target.row(y));
  }
  if (!readRows(reader.png, reader.info, rows.data())) return fail("PNG: Error during read_image");
  return true;
}

bool readPngSize(const std::string& path, std::uint32_t& width, std::uint32_t& height) {
  std::unique_ptr<std::FILE, FileCloser> file;
  PngReader reader;
  if (!openPng(path, file, reader).empty()) return false;
  PngHeader header{};
  if (!readHeader(reader.png, reader.info, file.get(), false, header)) return false;
  width = header.width;
  height = header.height;
  return true;
}

}  // namespace tg::detail
