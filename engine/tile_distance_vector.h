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
