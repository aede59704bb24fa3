// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/ppm_writer.h"

#include <cstdint>
#include <memory>
#include <new>
#include <string>

#include "output/output_file.h"
#include "output/program_version.h"
#include "platform/text_format.h"
#include "platform/user_dialogs.h"

namespace tg {

namespace {
constexpr std::size_t kPpmHeaderLength = 100;
}  // namespace

std::string ppmHeader(std::uint32_t width, std::uint32_t height) {
  const ProgramVersion version = programVersion();
  const std::string first =
      "P6\n# Created by Tesselograph" +
      formatText(std::string(" Version %ld.%ld.%ld"), static_cast<long>(version.major),
                 static_cast<long>(version.minor), static_cast<long>(version.build));
  const std::string last = formatText(std::string("\n%ld %ld\n255\n"), static_cast<long>(width),
                                      static_cast<long>(height));
  std::size_t padding = 1;
  if (first.size() + last.size() + 1 < kPpmHeaderLength) {
    padding = kPpmHeaderLength - first.size() - last.size();
  }
  return first + std::string(padding, ' ') + last;
}

bool PpmWriter::writeRows() {
  const std::size_t rowBytes = std::size_t{width()} * 3;
  std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[rowBytes]);
  if (!buffer) {
    showMessage(outOfMemoryText(width(), 1) + "!");
    return false;
  }

  OutputFile file;
  bool ok = file.create(path());
  if (ok) {
    const std::string header = m_withHeader ? ppmHeader(width(), height()) : std::string();
    const std::uint64_t total = header.size() + std::uint64_t{rowBytes} * height();
    // The whole file's space is reserved before any rendering, so a full disk is found now.
    ok = file.reserve(total) && file.write(header.data(), header.size());
    for (std::uint32_t y = 0; ok && y < height(); ++y) {
      if (stopRequested()) {
        ok = false;
        break;
      }
      const Pixel* row = nextRow();
      if (row == nullptr) {
        ok = false;
        break;
      }
      packRgb(row, buffer.get(), width());
      ok = file.write(buffer.get(), rowBytes);
    }
    ok = ok && file.commit();
  }
  if (!ok && !stopRequested()) showMessage(unableToSaveText(path()));
  return ok;
}

bool writePpmRows(const std::string& path, std::uint32_t width, std::uint32_t height,
                  bool withHeader, RowSource& rows) {
  PpmWriter writer(withHeader);
  return writer.write(path, width, height, rows);
}

}  // namespace tg
