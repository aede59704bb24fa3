// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "imaging/foto.h"
#include "output/row_source.h"

namespace tg::test {

/// Rows from a function of (x, y); optionally runs dry after `failAfter` rows or raises its stop
/// flag then, to act like a stopped job.
class PatternRows final : public RowSource {
 public:
  PatternRows(std::uint32_t width, std::function<Pixel(std::uint32_t, std::uint32_t)> colour)
      : m_row(width), m_colour(std::move(colour)) {}
  /// After `rows` rows every further row is missing; with `stop` the stop flag rises too.
  void failAfter(std::uint32_t rows, bool stop) {
    m_limit = rows;
    m_stopAtLimit = stop;
  }
  const Pixel* nextRow() override {
    if (m_next >= m_limit) {
      if (m_stopAtLimit) m_stopped = true;
      return nullptr;
    }
    for (std::uint32_t x = 0; x < m_row.size(); ++x) m_row[x] = m_colour(x, m_next);
    ++m_next;
    return m_row.data();
  }
  bool stopRequested() const override { return m_stopped; }
  [[nodiscard]] std::uint32_t delivered() const { return m_next; }

 private:
  std::vector<Pixel> m_row;
  std::function<Pixel(std::uint32_t, std::uint32_t)> m_colour;
  std::uint32_t m_next = 0;
  std::uint32_t m_limit = UINT32_MAX;
  bool m_stopAtLimit = false;
  bool m_stopped = false;
};

/// A colour that differs in every channel from pixel to pixel and carries a non-zero T, so that
/// a writer that drops, swaps or keeps a channel it should not is caught.
inline Pixel testColour(std::uint32_t x, std::uint32_t y) {
  return makePixel(x * 7 + y, x + y * 13, (x * y) ^ 0x5A, 200);
}

/// Big-endian and little-endian reads of `bytes` at `at`.
inline std::uint64_t readBe(const std::string& bytes, std::size_t at, int size) {
  std::uint64_t v = 0;
  for (int i = 0; i < size; ++i) v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
  return v;
}
inline std::uint64_t readLe(const std::string& bytes, std::size_t at, int size) {
  std::uint64_t v = 0;
  for (int i = size; i-- > 0;) v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
  return v;
}

}  // namespace tg::test
