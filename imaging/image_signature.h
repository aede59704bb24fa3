// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "imaging/foto.h"

namespace tg {

/// The compact description by which tiles and cells are compared: a 12 x 12 thumbnail with the
/// average colour of the whole thumbnail and of its sixteen 3 x 3 blocks. A plain value type
/// (no pointers), embedded by value in tile and cell records; any thread may build or read
/// distinct signatures.
struct ImageSignature {
  /// Number of pixel words.
  static constexpr std::size_t kValueCount = 161;
  /// Side of the thumbnail.
  static constexpr std::size_t kThumbnailSide = 12;
  /// Index of the overall average.
  static constexpr std::size_t kAverageIndex = 0;
  /// Index of the first block average; block (bx, by) is at kFirstBlock + bx + 4 x by.
  static constexpr std::size_t kFirstBlock = 1;
  /// Number of block averages (4 x 4 blocks of 3 x 3 thumbnail pixels).
  static constexpr std::size_t kBlockCount = 16;
  /// Index of the thumbnail's first pixel; column x, row y is at kFirstThumbnail + x + 12 y.
  static constexpr std::size_t kFirstThumbnail = 17;

  /// Element 0: average of the thumbnail; 1-16: the block averages; 17-160: the thumbnail,
  /// row-major, top row first.
  std::array<Pixel, kValueCount> values{};
  /// 1 when all 144 thumbnail pixels have T = 0.
  std::uint8_t opaque = 0;
  /// 1 when the thumbnail shows the picture turned a quarter counter-clockwise (only signatures
  /// read from lists of earlier versions; a built signature has 0).
  std::uint8_t rotated = 0;
  /// 1 once the signature has been built successfully.
  std::uint8_t valid = 0;

  /// Thumbnail pixel at column `x`, row `y` (both 0-11).
  [[nodiscard]] Pixel thumbnail(std::size_t x, std::size_t y) const {
    return values[kFirstThumbnail + x + kThumbnailSide * y];
  }
  /// Block average of block (`bx`, `by`) (both 0-3).
  [[nodiscard]] Pixel block(std::size_t bx, std::size_t by) const {
    return values[kFirstBlock + bx + 4 * by];
  }

  friend bool operator==(const ImageSignature&, const ImageSignature&) = default;
};

/// Builds `target` from `source`. Square mode (`squareCrop` true; tiles, video frames) uses the
/// centred square of the whole image and needs the rectangle all 0. Fit mode (cells) keeps the
/// whole rectangle (`rectW` x `rectH` at `rectX`, `rectY`; all four 0 = the whole image),
/// letter-boxed with transparent black into the 12 x 12 thumbnail. Returns false with
/// target.valid = 0 on an empty source, a non-zero rectangle in square mode, a square side below
/// one pixel, a non-positive rectangle or one showing nothing of the source in fit mode, or no
/// memory. No message. Any thread.
[[nodiscard]] bool buildSignature(const Foto& source, bool squareCrop, ImageSignature& target,
                                  double rectW = 0, double rectH = 0, double rectX = 0,
                                  double rectY = 0);
/// Fills elements 0-16 and the opaque flag from the thumbnail (elements 17-160).
void recomputeAverages(ImageSignature& signature);
/// Turns the thumbnail grey (the formula of `greyValue`, T kept) and recomputes the averages.
void signatureToGrey(ImageSignature& signature);
/// A new 12 x 12 image holding the thumbnail, turned a quarter clockwise when rotated = 1;
/// nothing when the image cannot be created.
[[nodiscard]] std::unique_ptr<Foto> signatureThumbnail(const ImageSignature& signature);

}  // namespace tg
