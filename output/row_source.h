// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "imaging/foto.h"

namespace tg {

/// Where a writer gets its picture from, one row at a time.
///
/// Contract: a writer calls `nextRow` at most once per row of the picture, top row first, and
/// never asks for more rows than the picture has. Each call returns `width` pixel words that stay
/// valid until the next call, or nullptr when the picture cannot be delivered (the job was
/// stopped, a band could not be rendered); a writer that gets nullptr abandons the file. Sources
/// are used from one thread at a time: the thread that runs the writer.
class RowSource {
 public:
  virtual ~RowSource() = default;
  /// The next row, or nullptr (see the class comment).
  [[nodiscard]] virtual const Pixel* nextRow() = 0;
  /// True when the job behind the source asks to stop; writers then stay silent about the
  /// failure where the format says so. Sources without a job never stop.
  [[nodiscard]] virtual bool stopRequested() const { return false; }
};

/// The rows of a whole image, top to bottom. The image must outlive the source.
class FotoRowSource final : public RowSource {
 public:
  explicit FotoRowSource(const Foto& image) : m_image(image) {}
  const Pixel* nextRow() override;

 private:
  const Foto& m_image;
  std::uint32_t m_next = 0;
};

/// The base of every file writer that takes its picture from a `RowSource`.
///
/// `write` is the checked entry: it refuses (false, silently) a picture of width or height 0,
/// binds the path, the size and the source, and calls the format's `writeRows` hook. Through the
/// protected `nextRow` the hook gets at most `height()` rows, in order; a hook therefore never
/// checks the size or the row order again. One writer object writes one file; it runs on one
/// thread.
class RowWriter {
 public:
  virtual ~RowWriter() = default;
  RowWriter() = default;
  RowWriter(const RowWriter&) = delete;
  RowWriter& operator=(const RowWriter&) = delete;

  /// Writes `width` x `height` pixels from `rows` to `path`. True when the whole file was
  /// written; the writers show their own messages.
  [[nodiscard]] bool write(const std::string& path, std::uint32_t width, std::uint32_t height,
                           RowSource& rows);

 protected:
  /// The format's own work: create the file, write it, close it. Called once per `write`.
  [[nodiscard]] virtual bool writeRows() = 0;

  /// The next row of the picture; nullptr after `height()` rows or when the source fails.
  [[nodiscard]] const Pixel* nextRow();
  /// Whether the source's job asks to stop.
  [[nodiscard]] bool stopRequested() const { return m_rows->stopRequested(); }
  /// Index of the next row `nextRow` delivers.
  [[nodiscard]] std::uint32_t rowIndex() const { return m_rowIndex; }
  [[nodiscard]] const std::string& path() const { return m_path; }
  [[nodiscard]] std::uint32_t width() const { return m_width; }
  [[nodiscard]] std::uint32_t height() const { return m_height; }

 private:
  std::string m_path;
  std::uint32_t m_width = 0;
  std::uint32_t m_height = 0;
  std::uint32_t m_rowIndex = 0;
  RowSource* m_rows = nullptr;
};

/// Packs `count` pixel words into bytes R, G, B.
void packRgb(const Pixel* __restrict source, std::uint8_t* __restrict target, std::size_t count);
/// Packs `count` pixel words into bytes B, G, R.
void packBgr(const Pixel* __restrict source, std::uint8_t* __restrict target, std::size_t count);

/// The out-of-memory text of image allocations filled with `width` and `height`.
[[nodiscard]] std::string outOfMemoryText(std::uint64_t width, std::uint64_t height);
/// The translated "Unable to save file '%s'" filled with `path`.
[[nodiscard]] std::string unableToSaveText(const std::string& path);

}  // namespace tg
