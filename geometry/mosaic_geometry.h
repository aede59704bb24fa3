// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace tg {

struct MosaicSettings;

/// The size and tiling of one mosaic, computed from the settings and the main image's size.
/// A plain value recomputed from scratch by every `computeMosaicGeometry`.
struct MosaicGeometry {
  std::uint32_t imageWidth = 0;   ///< main image width in pixels (0 when none)
  std::uint32_t imageHeight = 0;  ///< main image height in pixels (0 when none)
  std::uint32_t tileWidth = 0;    ///< tile width in pixels
  std::uint32_t tileHeight = 0;   ///< tile height in pixels (tiles are square)
  std::uint32_t columns = 0;      ///< tiles across
  std::uint32_t rows = 0;         ///< tiles down
  /// Cells that take part after the main image analysis; 0 while planning.
  std::uint32_t builtCellCount = 0;
  /// columns x rows; after `buildCellGrid` the number of cells built.
  std::uint32_t tileCount = 0;
  std::uint32_t multiSize2 = 0;    ///< copy of `MultiSize2` (percent of half tiles)
  std::uint32_t multiSize4 = 0;    ///< copy of `MultiSize4` (percent of quarter tiles)
  std::uint32_t mosaicHeight = 0;  ///< final mosaic height in pixels
  std::uint32_t mosaicWidth = 0;   ///< final mosaic width in pixels
  std::uint32_t boxHeight = 0;     ///< the mosaic size of the settings in pixels, before fitting
  std::uint32_t boxWidth = 0;
  std::uint32_t border = 0;          ///< gap between neighbouring cells in pixels
  std::uint64_t pixelCount = 0;      ///< mosaicWidth x mosaicHeight
  std::uint64_t tilePixelCount = 0;  ///< tileWidth x tileHeight
  double ppi = 0;                    ///< resolution in pixels per inch
  double pixelsPerCm = 0;            ///< ppi / 2.54
  /// 1-8 when the mosaic size is a code rather than a size (1 = the cells come from a mask
  /// file), else 0.
  std::uint32_t sizeCode = 0;
  /// The tile size was derived from a tile count or a count of tiles per row.
  bool tileSizeFromCount = false;
  /// The first problem found (a catalogue text, translated); empty when the geometry is usable.
  std::string message;

  /// True when the cells come from a mask file instead of a pattern.
  [[nodiscard]] bool isMaskFileMode() const { return sizeCode == 1; }
};

/// Computes the geometry of a mosaic of the main image `imageWidth` x `imageHeight` (0 x 0 when
/// there is none) under `settings` into `geometry`. Values out of range or with a unit the
/// parameter does not admit are ignored. Returns true when the geometry is usable (its message is
/// empty); otherwise the message says why: "Please add an Image using the + button" without a
/// main image, "Please specify all the parameters" when a size could not be worked out. Mosaics
/// of any size up to 2^32 - 1 pixels a side are computed in 64-bit arithmetic. Shows nothing.
/// Any thread.
[[nodiscard]] bool computeMosaicGeometry(const MosaicSettings& settings, std::uint32_t imageWidth,
                                         std::uint32_t imageHeight, MosaicGeometry& geometry);

/// Shrinks the box `width` x `height` to the largest rectangle with the aspect of
/// `imageWidth` x `imageHeight` inside it (floor, each side at least 1). Returns false, changing
/// nothing, when any of the four is 0.
[[nodiscard]] bool fitToAspect(std::uint32_t& width, std::uint32_t& height,
                               std::uint32_t imageWidth, std::uint32_t imageHeight);

/// How the cells of a mosaic divide into whole tiles and tiles split in halves or quarters.
struct TileCountBreakdown {
  std::uint64_t full = 0;      ///< cells left whole
  std::uint64_t halves = 0;    ///< cells split in two
  std::uint64_t quarters = 0;  ///< cells split in four
  /// The number of tiles the mosaic ends with: full + 2 x halves + 4 x quarters.
  [[nodiscard]] std::uint64_t effective() const { return full + 2 * halves + 4 * quarters; }
};

/// The cells of the planned grid: `geometry.tileCount`, or columns x rows where that count
/// stopped at its 32-bit limit (a grid of over 4 billion cells, which is only ever planned).
[[nodiscard]] std::uint64_t plannedCellCount(const MosaicGeometry& geometry);

/// The breakdown of `plannedCellCount(geometry)` by `multiSize2` and `multiSize4`, or of
/// `builtCellCount` once the grid has been analysed.
[[nodiscard]] TileCountBreakdown tileCountBreakdown(const MosaicGeometry& geometry);

}  // namespace tg
