// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/bmp_writer.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "output/output_file.h"
#include "platform/catalogue.h"
#include "platform/user_dialogs.h"

namespace tg {

namespace {

constexpr std::uint32_t kBmpHeaderBytes = 54;

std::uint64_t bmpStride(std::uint32_t width) { return (std::uint64_t{width} * 3 + 3) & ~3ull; }

void putLe(std::string& bytes, std::size_t at, std::uint64_t value, int size) {
  for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::unique_ptr<std::uint8_t[]> allocateRow(std::uint64_t stride) {
  std::unique_ptr<std::uint8_t[]> row(new (std::nothrow) std::uint8_t[stride]);
  if (row) std::memset(row.get(), 0, stride);
  return row;
}

}  // namespace

std::string bmpHeaders(std::uint32_t width, std::uint32_t height) {
  const std::uint64_t imageSize = bmpStride(width) * height;
  std::string bytes(kBmpHeaderBytes, '\0');
  bytes[0] = 'B';
  bytes[1] = 'M';
  putLe(bytes, 2, kBmpHeaderBytes + imageSize, 4);
  putLe(bytes, 10, kBmpHeaderBytes, 4);
  putLe(bytes, 14, 40, 4);
  putLe(bytes, 18, width, 4);
  putLe(bytes, 22, height, 4);
  putLe(bytes, 26, 1, 2);
  putLe(bytes, 28, 24, 2);
  putLe(bytes, 34, imageSize, 4);
  return bytes;
}

bool BmpWriter::writeRows() {
  if (std::uint64_t{width()} * height() > kBmpMaxPixels) {
    showMessage(unableToSaveText(tr("Image is too big")));
    return false;
  }
  const std::uint64_t stride = bmpStride(width());
  std::unique_ptr<std::uint8_t[]> buffer = allocateRow(stride);
  if (!buffer) {
    showMessage(outOfMemoryText(width(), 1) + "!");
    return false;
  }
  OutputFile file;
  bool ok = file.create(path());
  bool rowMissing = false;
  if (ok) {
    const std::string headers = bmpHeaders(width(), height());
    ok = file.write(headers.data(), headers.size()) &&
         file.reserve(kBmpHeaderBytes + stride * height());
    for (std::uint32_t y = 0; ok && y < height(); ++y) {
      const Pixel* row = nextRow();
      if (row == nullptr) {
        rowMissing = true;
        ok = false;
        break;
      }
      packBgr(row, buffer.get(), width());
      ok = file.writeAt(kBmpHeaderBytes + (std::uint64_t{height()} - 1 - y) * stride, buffer.get(),
                        stride);
    }
    ok = ok && file.commit();
  }
  // A missing row was already explained by the renderer (out of memory) or asked for (stop).
  if (!ok && !rowMissing) showMessage(unableToSaveText(path()));
  return ok;
}

bool writeBmpRows(const std::string& path, std::uint32_t width, std::uint32_t height,
                  RowSource& rows) {
  BmpWriter writer;
  return writer.write(path, width, height, rows);
}

bool writeBmpImage(const Foto& image, const std::string& path) {
  if (image.empty() || image.width == 0 || image.height == 0) return false;
  const std::uint64_t stride = bmpStride(image.width);
  std::unique_ptr<std::uint8_t[]> buffer = allocateRow(stride);
  if (!buffer) {
    showMessage(outOfMemoryText(image.width, 1) + "!");
    return false;
  }
  OutputFile file;
  bool ok = file.create(path);
  if (ok) {
    const std::string headers = bmpHeaders(image.width, image.height);
    ok = file.write(headers.data(), headers.size());
    for (std::uint32_t y = image.height; ok && y-- > 0;) {
      packBgr(image.row(y), buffer.get(), image.width);
      ok = file.write(buffer.get(), stride);
    }
    ok = ok && file.commit();
  }
  if (!ok) showMessage(unableToSaveText(path));
  return ok;
}

}  // namespace tg
