// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/photoshop_writer.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "output/output_file.h"
#include "platform/text_format.h"
#include "platform/user_dialogs.h"

namespace tg {

namespace {

constexpr std::size_t kBufferSize = 2048;
constexpr const char* kCaption = "Mosaic created with Tesselograph";

// The file, a 2048-byte buffer in front of it, and the error flag that makes every later
// operation a no-op once something failed.
class PlaneFile {
 public:
  bool create(const std::string& path) { return m_file.create(path); }
  // Renames the finished file into place; a failed file is removed and the old one kept.
  bool commit() {
    flush();
    if (m_failed) {
      m_file.discard();
      return false;
    }
    return m_file.commit();
  }
  void fail(const char* text) {
    if (!m_failed) m_errorText = text != nullptr ? text : "";
    m_failed = true;
  }
  [[nodiscard]] bool failed() const { return m_failed; }
  [[nodiscard]] const std::string& errorText() const { return m_errorText; }

  void put(const void* data, std::size_t size) {
    if (m_failed) return;
    if (size >= kBufferSize) {
      flush();
      if (!m_failed && !m_file.write(data, size)) fail(nullptr);
      return;
    }
    if (m_fill + size > kBufferSize) flush();
    if (m_failed) return;
    std::memcpy(m_buffer + m_fill, data, size);
    m_fill += size;
  }
  void putBe(std::uint64_t value, int size) {
    std::uint8_t bytes[8];
    for (int i = 0; i < size; ++i)
      bytes[i] = static_cast<std::uint8_t>(value >> (8 * (size - 1 - i)));
    put(bytes, static_cast<std::size_t>(size));
  }
  void putText(const char* text) { put(text, std::strlen(text)); }
  void flush() {
    if (m_failed || m_fill == 0) return;
    if (!m_file.write(m_buffer, m_fill)) fail(nullptr);
    m_fill = 0;
  }
  // The current position, after the buffer was written; -1 when it cannot be read.
  std::int64_t position() {
    flush();
    return m_failed ? -1 : m_file.position();
  }
  bool seek(std::uint64_t offset) {
    flush();
    return !m_failed && m_file.seek(offset);
  }
  bool reserve(std::uint64_t length) { return !m_failed && m_file.reserve(length); }

 private:
  OutputFile m_file;
  std::uint8_t m_buffer[kBufferSize];
  std::size_t m_fill = 0;
  bool m_failed = false;
  std::string m_errorText;
};

}  // namespace

bool PhotoshopWriter::writeRows() {
  const std::uint32_t w = width();
  const std::uint32_t h = height();
  std::unique_ptr<std::uint8_t[]> probe(new (std::nothrow) std::uint8_t[std::size_t{w} * 3]);
  if (!probe) {
    showMessage(outOfMemoryText(w, 1) + "!");
    return false;
  }
  probe.reset();

  auto file = std::make_unique<PlaneFile>();
  bool created = file->create(path());
  std::unique_ptr<std::uint8_t[]> channelRow;
  std::int64_t dataStart = -1;
  if (created) {
    const std::uint32_t limit = m_large ? kPsbMaxSide : kPsdMaxSide;
    if (w > limit || h > limit) {
      const bool onlyRaw = m_large || w >= kPsbMaxSide || h >= kPsbMaxSide;
      file->fail(formatText(std::string("Unable to save the mosaic into the %s file format "
                                        "because the maximum width/height is %d pixels. %s"),
                            std::string(m_large ? "Photoshop PSB" : "Photoshop PSD"),
                            static_cast<int>(limit),
                            std::string(onlyRaw ? "Use RAW/PPM file format for a width/height "
                                                  "over 300,000 pixels"
                                                : "Use the Photoshop PSB file format for a "
                                                  "width/height up to 300,000 pixels"))
                     .c_str());
    } else {
      const std::size_t captionLength = std::strlen(kCaption);
      const std::size_t captionSize = (captionLength + 1 + 1) & ~std::size_t{1};
      const std::uint64_t resolution = std::uint64_t{m_resolution} * 65536u;
      file->putText("8BPS");
      file->putBe(m_large ? 2 : 1, 2);
      file->putBe(0, 4);
      file->putBe(0, 2);
      file->putBe(3, 2);
      file->putBe(h, 4);
      file->putBe(w, 4);
      file->putBe(8, 2);
      file->putBe(3, 2);
      file->putBe(0, 4);
      file->putBe(40 + captionSize, 4);
      file->putText("8BIM");
      file->putBe(1008, 2);
      file->putBe(0, 2);
      file->putBe(captionSize, 4);
      std::uint8_t caption[256] = {};
      caption[0] = static_cast<std::uint8_t>(captionLength);
      std::memcpy(caption + 1, kCaption, captionLength);
      file->put(caption, captionSize);
      file->putText("8BIM");
      file->putBe(1005, 2);
      file->putBe(0, 2);
      file->putBe(16, 4);
      for (int axis = 0; axis < 2; ++axis) {
        file->putBe(resolution & 0xFFFFFFFFu, 4);
        file->putBe(1, 2);
        file->putBe(1, 2);
      }
      file->putBe(0, m_large ? 8 : 4);
      file->putBe(0, 2);

      channelRow.reset(new (std::nothrow) std::uint8_t[w]);
      if (!channelRow) file->fail("Out of memory in Photoshop File Save");
      if (!file->failed()) {
        dataStart = file->position();
        if (dataStart < 0) {
          file->fail("Unable to move to file Position");
        } else if (!file->reserve(static_cast<std::uint64_t>(dataStart) +
                                  std::uint64_t{w} * h * 3)) {
          file->fail("Unable to resize File");
          dataStart = -1;
        }
      }
    }
    for (std::uint32_t y = 0; y < h && !file->failed(); ++y) {
      if (stopRequested()) {
        file->fail(nullptr);
        break;
      }
      const Pixel* row = nextRow();
      if (row == nullptr) {
        file->fail(nullptr);
        break;
      }
      for (std::uint32_t k = 0; k < 3 && !file->failed(); ++k) {
        for (std::uint32_t x = 0; x < w; ++x) {
          channelRow[x] = static_cast<std::uint8_t>(row[x] >> (8 * k));
        }
        if (dataStart < 0) {
          file->fail("Invalid File Position in Write Row");
          break;
        }
        const std::uint64_t target =
            static_cast<std::uint64_t>(dataStart) + (std::uint64_t{k} * h + y) * std::uint64_t{w};
        if (!file->seek(target)) {
          file->fail("Unable to move to file Position");
          break;
        }
        file->put(channelRow.get(), w);
        file->flush();
      }
    }
    created = file->commit();
  }
  if (!created && !stopRequested()) {
    const std::string& text = file->errorText();
    showMessage(text.empty() ? unableToSaveText(path()) : text);
  }
  return created;
}

bool writePhotoshopRows(RowSource& rows, const std::string& path, std::uint32_t width,
                        std::uint32_t height, bool large, unsigned resolution) {
  PhotoshopWriter writer(large, resolution);
  return writer.write(path, width, height, rows);
}

bool writePhotoshopImage(const Foto& image, const std::string& path, unsigned resolution) {
  FotoRowSource rows(image);
  PhotoshopWriter writer(false, resolution);
  return writer.write(path, image.width, image.height, rows);
}

}  // namespace tg
