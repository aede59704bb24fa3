// SPDX-License-Identifier: GPL-3.0-or-later
// The vector form of the tile distance's inner loop, used by `CellComparison` on processors that
// have AVX2. Internal to the engine folder.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/foto.h"

namespace tg::vector {

/// One comparison set-up in the form the vector loop reads.
struct VectorTables {
  const std::uint32_t* channelR = nullptr;  ///< cost by |difference| 0..255
  const std::uint32_t* channelG = nullptr;
  const std::uint32_t* channelB = nullptr;
  /// The channel costs are |difference| x an integer priority (no table look-ups needed).
  bool linear = false;
  std::int32_t priorityR = 0;
  std::int32_t priorityG = 0;
  std::int32_t priorityB = 0;
  /// The priorities also fit the byte form: each at most 127, red and green together at most
  /// 128 (their costs share a 16-bit sum), and 18 elements' responses fit a 32-bit lane.
  bool bytes = false;
  float divisor = 1;
  const std::uint32_t* graded = nullptr;  ///< the graded response table
  std::uint32_t gradedLast = 0;           ///< its last index
  int response = 0;                       ///< 1, 2 or 3
};

/// The colour shift of one comparison in the forms the vector loops read: per channel, and as
/// the bytes a saturating add and subtract apply (which limits each channel to 0..255).
struct VectorShift {
  int r = 0;
  int g = 0;
  int b = 0;
  std::uint32_t raise = 0;
  std::uint32_t lower = 0;
};
[[nodiscard]] VectorShift makeVectorShift(int r, int g, int b);

/// Channel sums of 16 squares of a thumbnail, in the order of the blocks (square x + 4 y covers
/// pixels 3x..3x+2 of rows 3y..3y+2 of the picture it belongs to), red, green, blue.
struct SquareSums {
  alignas(32) std::int16_t sum[3][16];
};

/// A tile thumbnail's squares: their channel sums, and each square's lowest and highest level of
/// each channel, which say how far a colour shift can be cut off at 0 or 255 within the square.
struct TileSquares {
  SquareSums sums;
  alignas(32) std::int16_t low[3][16];
  alignas(32) std::int16_t high[3][16];
};

/// What the lower bound of a thumbnail's sum reads: `floor[h]` for h = 0..`last`, a convex
/// function nowhere above the response of h, and how a square's cost sum T gives a quotient no
/// larger than the mean of the square's quotients: floor((T - `offset`) / `divisor`), cut off at
/// 0 and `last`.
struct SquareBound {
  const std::int32_t* floor = nullptr;
  std::int32_t last = 0;
  float offset = 0;
  float divisor = 9;
};

/// For each of the `count` variants (at most 8): in `rows[i][r]` a lower bound of the sum of the
/// responses (not yet weighed) of the tile thumbnail's pixel rows 3r..3r+2 against the cell
/// pixels that meet them in variant i, whose sums by tile square are `cells[i]`; the tile shifted
/// by `shift`. Exact in integers, so never above the true sums, for channel costs of the byte form
/// (`tables.bytes`). Only on processors with AVX2.
void squareBoundsAvx2(const VectorTables& tables, const SquareBound& bound, const TileSquares& tile,
                      const SquareSums* const* cells, std::size_t count, const VectorShift& shift,
                      std::uint32_t (*rows)[4]);

/// The thumbnail's sum as `sumVectorsAvx2` adds it over all 18 vectors, checking the bound at
/// the ends of the row groups 0-3, 4-8, 9-12 and 13-17 (vectors), each time with `rest[m]` added:
/// a lower bound of what the rows after group m will add (`rest[3]` is 0). Returns as soon as
/// the sum and the rest exceed `bound` (with a value above it). Byte form only
/// (`tables.bytes`); only on processors with AVX2.
[[nodiscard]] std::uint64_t sumPixelRowsAvx2(const VectorTables& tables, const Pixel* cell,
                                             const Pixel* tile, std::uint32_t weight,
                                             const VectorShift& shift, std::uint64_t sum,
                                             std::uint64_t bound, const std::uint64_t* rest);

/// The overall averages of up to 16 cells, by channel, for checking one tile's average against
/// all of them at once, and what the check needs of the comparison: the colour shift's reach
/// (0 = no shift) and the average's element weight.
struct AverageLanes {
  alignas(32) std::int32_t red[16];
  alignas(32) std::int32_t green[16];
  alignas(32) std::int32_t blue[16];
  std::int32_t shiftReach = 0;
  std::uint32_t weight = 0;
};

/// A mask of the lanes i < `count` (at most 16) whose overall average element, as a comparison
/// with the tile of average `tileAverage` adds it (colour shift, channel costs, response and
/// weight, in 32 bits), costs more than `limits[i]`. `limits` holds 8 values, 16 when `count` is
/// above 8 (lanes past `count` are read and ignored). Linear channel costs (`tables.linear`) and
/// opaque cells only. Only on processors with AVX2.
[[nodiscard]] std::uint32_t averagesOverAvx2(const VectorTables& tables, const AverageLanes& lanes,
                                             Pixel tileAverage, const std::uint32_t* limits,
                                             std::size_t count);

/// The detail of a signature's 16 blocks: each block's channels less the overall average's, plus
/// 128 and cut off at 0..255, as bytes red, green, blue, 0 in the order of the blocks.
struct BlockDetail {
  alignas(32) std::uint8_t bytes[64];
};
/// For i = 0 .. `count` - 1: in `out[i]` the smallest, over the `layouts` (at most 8) of one
/// cell's detail, of the sum of the absolute differences of the bytes of `tiles[indices[i]]` and
/// the layout. Portable.
void detailDistancesPortable(const BlockDetail* tiles, const std::uint32_t* indices,
                             std::size_t count, const BlockDetail* layouts, std::size_t layoutCount,
                             std::uint16_t* out);
/// The same 32 bytes at a time; only on processors with AVX2.
void detailDistancesAvx2(const BlockDetail* tiles, const std::uint32_t* indices, std::size_t count,
                         const BlockDetail* layouts, std::size_t layoutCount, std::uint16_t* out);
/// Whether this processor runs the AVX2 loop (asked once). Any thread.
[[nodiscard]] bool avx2Available();

/// Adds to `sum` the costs of the 8 x `vectors` elements at `cell` and `tile` (the cell's
/// elements laid out in the tile's order), the tile's channels shifted by `shift`, each
/// cost weighed by `weight`. Checks the sum against `bound` after every `checkEvery` vectors and
/// returns as soon as it is exceeded. The caller guarantees what keeps the loop exact: every
/// cell element opaque, every channel cost sum below 2^24 and every sum of costs below 2^32.
/// Only on processors with AVX2.
[[nodiscard]] std::uint64_t sumVectorsAvx2(const VectorTables& tables, const Pixel* cell,
                                           const Pixel* tile, std::size_t vectors,
                                           std::uint32_t weight, const VectorShift& shift,
                                           std::uint64_t sum, std::uint64_t bound,
                                           std::size_t checkEvery);

/// For i < `count` (at most 8): `out[i]` = `sum` plus the costs of the 16 elements at
/// `cells[i]` and `tiles[i]` (two vectors), as `sumVectorsAvx2` adds them, without a bound.
/// The same conditions; only on processors with AVX2.
void sumBlocksAvx2(const VectorTables& tables, const Pixel* const* cells, const Pixel* const* tiles,
                   std::size_t count, std::uint32_t weight, const VectorShift& shift,
                   std::uint64_t sum, std::uint64_t* out);

}  // namespace tg::vector
