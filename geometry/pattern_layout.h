// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "geometry/mosaic_geometry.h"

namespace tg {

/// Adapt modes (`TileAdapt`).
inline constexpr long kAdaptCropTile = 0;  ///< cells keep the tile size; edge cells are cut
inline constexpr long kAdaptTile = 1;      ///< leftover pixels are spread over the cells
inline constexpr long kAdaptMosaic = 2;    ///< the mosaic shrinks to whole tiles

/// One cycle of rows of a pattern: `landscape` rows of landscape cells, then `portrait` rows of
/// cells turned by 90 degrees; row t is shifted by t / `shiftDivisor` of a cell step.
struct PatternRows {
  std::uint32_t landscape = 0;
  std::uint32_t portrait = 0;
  std::uint32_t shiftDivisor = 0;
};

/// The rows of pattern code 1-10, or nothing for any other code.
[[nodiscard]] std::optional<PatternRows> patternRows(long pattern);

/// One cell rectangle of a pattern, already clipped to the mosaic and never empty.
struct CellRect {
  std::int64_t left = 0;
  std::int64_t top = 0;
  std::int64_t width = 0;
  std::int64_t height = 0;
  bool portrait = false;  ///< the cell lies in a portrait row
};

/// What a layout produced: the figures the information text and the window report.
struct PatternLayout {
  /// The largest cell: tile width plus the extra per cell, tile height plus the extra per row
  /// (no extras outside "Adapt Tile").
  std::uint32_t largestCellWidth = 0;
  std::uint32_t largestCellHeight = 0;
  std::uint32_t firstRowCells = 0;  ///< cells of the first row (the preview's columns)
  std::uint32_t rowCount = 0;       ///< rows laid out
  std::uint64_t cellCount = 0;      ///< every cell laid out
  std::uint64_t landscapeCells = 0;
  std::uint64_t portraitCells = 0;
};

/// The most cells a preview lays out (the window's outlines, the command line's figures): a
/// grid with more cells is described by the geometry's figures, since laying out 1-pixel tiles
/// of a huge mosaic one by one would take hours.
inline constexpr std::uint64_t kMaxPreviewCells = 1000000;

/// Called for every cell in creation order (rows from the top, each from the left, a row's
/// partial first cell first). Returning false ends the layout.
using CellSink = std::function<bool(const CellRect&)>;

/// Lays out the cells of `pattern` over `geometry` (tile size, border, mosaic size, columns and
/// rows) for `tileAdapt`, handing each cell to `sink`, and fills `layout`. The mosaic may be of
/// any size; the arithmetic is 64-bit. Returns false when nothing can be laid out (unknown
/// pattern, a tile or mosaic side of 0, no columns or rows) or when the sink ended the layout;
/// `layout` then describes what was laid out so far. Creates nothing itself, so the window uses
/// it to draw the preview outlines. Any thread.
[[nodiscard]] bool layoutPattern(long pattern, const MosaicGeometry& geometry, long tileAdapt,
                                 const CellSink& sink, PatternLayout& layout);

}  // namespace tg
