// SPDX-License-Identifier: GPL-3.0-or-later
#include "geometry/pattern_layout.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>

namespace tg {

namespace {

constexpr std::array<PatternRows, 10> kPatterns = {{
    {1, 0, 1},   // 1 "Square"
    {1, 0, 2},   // 2 "Square (2 rows)"
    {1, 0, 3},   // 3 "Square (3 rows)"
    {1, 0, 5},   // 4 "Square (5 rows)"
    {0, 1, 1},   // 5-8: portrait rows, not offered
    {0, 1, 2},   //
    {0, 1, 3},   //
    {0, 1, 5},   //
    {1, 0, 7},   // 9 "Square (7 rows)"
    {1, 0, 10},  // 10 "Square (10 rows)"
}};

std::uint64_t ceilDiv(std::uint64_t a, std::uint64_t b) { return (a + b - 1) / b; }

std::uint32_t saturateU32(std::uint64_t value) {
  return static_cast<std::uint32_t>(
      std::min<std::uint64_t>(value, std::numeric_limits<std::uint32_t>::max()));
}

/// How the leftover width of one kind of row is spread: `extra` pixels per cell while the
/// `budget` lasts.
struct RowSpread {
  std::int64_t extra = 0;
  std::int64_t budget = 0;
};

RowSpread spreadWidth(std::uint64_t width, std::uint64_t cellWidth, std::uint64_t border) {
  const std::uint64_t step = cellWidth + border;
  const std::uint64_t k = std::max<std::uint64_t>(1, width / step);
  const std::uint64_t budget = width % step;
  return RowSpread{static_cast<std::int64_t>(ceilDiv(budget, k)),
                   static_cast<std::int64_t>(budget)};
}

}  // namespace

std::optional<PatternRows> patternRows(long pattern) {
  if (pattern < 1 || pattern > static_cast<long>(kPatterns.size())) return std::nullopt;
  return kPatterns[static_cast<std::size_t>(pattern - 1)];
}

bool layoutPattern(long pattern, const MosaicGeometry& g, long tileAdapt, const CellSink& sink,
                   PatternLayout& layout) {
  layout = PatternLayout{};
  const std::optional<PatternRows> shape = patternRows(pattern);
  if (!shape) return false;
  const std::uint64_t cycle = std::uint64_t{shape->landscape} + shape->portrait;
  const std::uint64_t divisor = shape->shiftDivisor;
  const std::uint64_t W = g.mosaicWidth;
  const std::uint64_t H = g.mosaicHeight;
  const std::uint64_t tw = g.tileWidth;
  const std::uint64_t th = g.tileHeight;
  const std::uint64_t b = g.border;
  if (cycle == 0 || divisor == 0 || tw == 0 || th == 0 || W == 0 || H == 0 || g.columns == 0 ||
      g.rows == 0) {
    return false;
  }
  const auto isLandscape = [&](std::uint64_t row) { return row % cycle < shape->landscape; };
  const auto baseHeight = [&](std::uint64_t row) { return isLandscape(row) ? th : tw; };

  // 1. "Adapt Tile" spreads the leftover height over the rows that fit and the leftover width
  // over the cells of each row.
  std::uint64_t extraHeight = 0;
  std::uint64_t extraPerRow = 0;
  RowSpread landscape;
  RowSpread portrait;
  if (tileAdapt == kAdaptTile) {
    std::uint64_t y = 0;
    std::uint64_t n = 0;
    do {
      const std::uint64_t h = baseHeight(n);
      if (y + h > H) break;
      y += h + b;
      ++n;
    } while (y < H);
    if (H > y) {
      extraHeight = H - y;
      extraPerRow = ceilDiv(extraHeight, std::max<std::uint64_t>(n, 1));
    }
    landscape = spreadWidth(W, tw, b);
    portrait = spreadWidth(W, th, b);
  }
  layout.largestCellWidth = saturateU32(
      tw + static_cast<std::uint64_t>(shape->landscape > 0 ? landscape.extra : portrait.extra));
  layout.largestCellHeight = saturateU32(th + extraPerRow);

  // 2. Rows from the top, cells from the left.
  std::uint64_t remainingExtra = extraHeight;
  std::uint64_t y = 0;
  for (std::uint64_t t = 0; y < H; ++t) {
    const bool landscapeRow = isLandscape(t);
    const std::uint64_t cw = landscapeRow ? tw : th;
    std::uint64_t rowHeight = landscapeRow ? th : tw;
    if (remainingExtra > 0) {
      const std::uint64_t extra = std::min(extraPerRow, remainingExtra);
      rowHeight += extra;
      remainingExtra -= extra;
    }
    const RowSpread spread = landscapeRow ? landscape : portrait;
    const auto e = static_cast<std::uint64_t>(spread.extra);
    std::int64_t budget = spread.budget;
    const std::uint64_t step = cw + e + b;
    const std::uint64_t x0 = (step * t / divisor) % step;

    // 3. Every rectangle is clipped to the mosaic; empty ones create nothing.
    std::uint32_t cellsInRow = 0;
    const auto emit = [&](std::uint64_t left, std::uint64_t right) {
      const std::uint64_t clippedRight = std::min(right, W);
      const std::uint64_t bottom = std::min(y + rowHeight, H);
      if (left >= clippedRight || y >= bottom) return true;
      const CellRect rect{static_cast<std::int64_t>(left), static_cast<std::int64_t>(y),
                          static_cast<std::int64_t>(clippedRight - left),
                          static_cast<std::int64_t>(bottom - y), !landscapeRow};
      ++layout.cellCount;
      ++(landscapeRow ? layout.landscapeCells : layout.portraitCells);
      ++cellsInRow;
      return sink(rect);
    };

    // A shifted row starts with a partial cell, unless the shift is small enough to leave the
    // start of the row empty.
    if (x0 > b + 5) {
      if (!emit(0, x0 - b)) return false;
      budget -= static_cast<std::int64_t>(e);
    }
    for (std::uint64_t x = x0; x < W;) {
      std::uint64_t extra = 0;
      if (budget > 0) {
        extra = std::min<std::uint64_t>(e, static_cast<std::uint64_t>(budget));
        budget -= static_cast<std::int64_t>(extra);
      }
      if (!emit(x, x + cw + extra)) return false;
      x += cw + extra + b;
    }
    if (t == 0) layout.firstRowCells = cellsInRow;
    ++layout.rowCount;
    y += rowHeight + b;
  }
  return true;
}

}  // namespace tg
