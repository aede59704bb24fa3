// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/foto.h"
#include "imaging/image_signature.h"

namespace tg {

/// The sums of red, green, blue and transparency over the boxes of a square of a picture cut
/// into `boxes` × `boxes` boxes of whole pixels, gathered a band of rows at a time while the
/// rows are still in the cache (the frame reader adds each band as it converts it).
///
/// For a square that a 12 × 12 signature thumbnail divides into whole pixels these sums give
/// the very signature `buildSignature` makes of the square by resampling, without reading the
/// converted frame a second time.
class SquareSums {
 public:
  /// A square of `boxes` × `box` pixels a side with its top left corner at (`x`, `y`).
  SquareSums(std::uint32_t x, std::uint32_t y, std::uint32_t box, std::uint32_t boxes);

  /// Adds rows `first` to `end` - 1 of `image` where they cross the square (the square's
  /// columns must lie inside the image).
  void addRows(const Foto& image, std::uint32_t first, std::uint32_t end);
  /// `addRows` for a picture whose pixels' fourth byte is padding: it is set to 0 (opaque) in
  /// the square's pixels of those rows as they are summed, which saves the caller a pass.
  void addRowsClearingPadding(Foto& image, std::uint32_t first, std::uint32_t end);
  /// `addRows` in plain code, for comparison.
  void addRowsPlain(const Foto& image, std::uint32_t first, std::uint32_t end);

  /// Whether every row of the square has been added exactly once.
  [[nodiscard]] bool complete() const { return m_rowsAdded == m_box * m_boxes; }
  /// The signature of the square as `buildSignature(square, true, target)` gives it; false
  /// (nothing to trust) unless `complete()` and every pixel was opaque.
  [[nodiscard]] bool signature(ImageSignature& target) const;

  /// The square of a `width` × `height` rectangle at (`left`, `top`) that square-mode
  /// `buildSignature` takes (centred), when a 12 × 12 thumbnail divides it into whole pixels;
  /// false when it does not (the caller resamples instead).
  [[nodiscard]] static bool signatureSquare(std::uint32_t left, std::uint32_t top,
                                            std::uint32_t width, std::uint32_t height,
                                            std::uint32_t& x, std::uint32_t& y, std::uint32_t& box);

  [[nodiscard]] std::uint32_t x() const { return m_x; }
  [[nodiscard]] std::uint32_t y() const { return m_y; }
  [[nodiscard]] std::uint32_t side() const { return m_box * m_boxes; }
  /// Sums of box (`bx`, `by`): red, green, blue, transparency.
  [[nodiscard]] const std::uint64_t* box(std::uint32_t bx, std::uint32_t by) const {
    return &m_sums[4 * (static_cast<std::size_t>(by) * m_boxes + bx)];
  }

 private:
  std::uint32_t m_x;
  std::uint32_t m_y;
  std::uint32_t m_box;
  std::uint32_t m_boxes;
  std::uint32_t m_rowsAdded = 0;
  std::vector<std::uint64_t> m_sums;
};

}  // namespace tg
