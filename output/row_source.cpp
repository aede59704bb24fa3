// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/row_source.h"

#include "platform/catalogue.h"
#include "platform/text_format.h"

namespace tg {

const Pixel* FotoRowSource::nextRow() {
  if (m_image.empty() || m_next >= m_image.height) return nullptr;
  return m_image.row(m_next++);
}

bool RowWriter::write(const std::string& path, std::uint32_t width, std::uint32_t height,
                      RowSource& rows) {
  if (width == 0 || height == 0) return false;
  m_path = path;
  m_width = width;
  m_height = height;
  m_rowIndex = 0;
  m_rows = &rows;
  const bool written = writeRows();
  m_rows = nullptr;
  return written;
}

const Pixel* RowWriter::nextRow() {
  if (m_rowIndex >= m_height) return nullptr;
  const Pixel* row = m_rows->nextRow();
  if (row != nullptr) ++m_rowIndex;
  return row;
}

void packRgb(const Pixel* __restrict source, std::uint8_t* __restrict target, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const Pixel p = source[i];
    target[3 * i] = static_cast<std::uint8_t>(p);
    target[3 * i + 1] = static_cast<std::uint8_t>(p >> 8);
    target[3 * i + 2] = static_cast<std::uint8_t>(p >> 16);
  }
}

void packBgr(const Pixel* __restrict source, std::uint8_t* __restrict target, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const Pixel p = source[i];
    target[3 * i] = static_cast<std::uint8_t>(p >> 16);
    target[3 * i + 1] = static_cast<std::uint8_t>(p >> 8);
    target[3 * i + 2] = static_cast<std::uint8_t>(p);
  }
}

std::string outOfMemoryText(std::uint64_t width, std::uint64_t height) {
  return formatText(tr("Out Of Memory while allocating an Image made of %ldx%ld Pixels"),
                    static_cast<long>(width), static_cast<long>(height));
}

std::string unableToSaveText(const std::string& path) {
  return formatText(tr("Unable to save file '%s'"), path);
}

}  // namespace tg
