// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/tile_distance_vector.h"

#include <immintrin.h>

#include "platform/cpu_features.h"

namespace tg::vector {
namespace {

// Only these functions are compiled for AVX2, and they are reached only after the processor
// was asked, so the rest of the program keeps running on any x86-64.
template <int Response, bool Linear>
__attribute__((target("avx2"))) std::uint64_t sumVectors(const VectorTables& t, const Pixel* cell,
                                                         const Pixel* tile, std::size_t vectors,
                                                         std::uint32_t weight,
                                                         const VectorShift& shift,
                                                         std::uint64_t sum, std::uint64_t bound,
                                                         std::size_t checkEvery) {
  const int sR = shift.r;
  const int sG = shift.g;
  const int sB = shift.b;
  const __m256i mask = _mm256_set1_epi32(0xFF);
  const __m256i zero = _mm256_setzero_si256();
  const __m256i shiftR = _mm256_set1_epi32(sR);
  const __m256i shiftG = _mm256_set1_epi32(sG);
  const __m256i shiftB = _mm256_set1_epi32(sB);
  const __m256i priorityR = _mm256_set1_epi32(t.priorityR);
  const __m256i priorityG = _mm256_set1_epi32(t.priorityG);
  const __m256i priorityB = _mm256_set1_epi32(t.priorityB);
  const __m256 divisor = _mm256_set1_ps(t.divisor);
  const __m256i gradedLast = _mm256_set1_epi32(static_cast<int>(t.gradedLast));
  const __m256i w = _mm256_set1_epi32(static_cast<int>(weight));
  const auto* tableR = reinterpret_cast<const int*>(t.channelR);
  const auto* tableG = reinterpret_cast<const int*>(t.channelG);
  const auto* tableB = reinterpret_cast<const int*>(t.channelB);
  const auto* graded = reinterpret_cast<const int*>(t.graded);

  std::size_t v = 0;
  while (v < vectors) {
    const std::size_t end = v + checkEvery < vectors ? v + checkEvery : vectors;
    __m256i acc = zero;
    for (; v < end; ++v) {
      const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cell + 8 * v));
      const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(tile + 8 * v));
      const __m256i cR = _mm256_and_si256(c, mask);
      const __m256i cG = _mm256_and_si256(_mm256_srli_epi32(c, 8), mask);
      const __m256i cB = _mm256_and_si256(_mm256_srli_epi32(c, 16), mask);
      // The tile's channels after the colour shift, limited to 0..255.
      const __m256i pR = _mm256_min_epi32(
          _mm256_max_epi32(_mm256_add_epi32(_mm256_and_si256(p, mask), shiftR), zero), mask);
      const __m256i pG = _mm256_min_epi32(
          _mm256_max_epi32(
              _mm256_add_epi32(_mm256_and_si256(_mm256_srli_epi32(p, 8), mask), shiftG), zero),
          mask);
      const __m256i pB = _mm256_min_epi32(
          _mm256_max_epi32(
              _mm256_add_epi32(_mm256_and_si256(_mm256_srli_epi32(p, 16), mask), shiftB), zero),
          mask);
      const __m256i dR = _mm256_abs_epi32(_mm256_sub_epi32(cR, pR));
      const __m256i dG = _mm256_abs_epi32(_mm256_sub_epi32(cG, pG));
      const __m256i dB = _mm256_abs_epi32(_mm256_sub_epi32(cB, pB));
      __m256i term;
      if constexpr (Linear) {
        term = _mm256_add_epi32(
            _mm256_add_epi32(_mm256_mullo_epi32(dR, priorityR), _mm256_mullo_epi32(dG, priorityG)),
            _mm256_mullo_epi32(dB, priorityB));
      } else {
        term = _mm256_add_epi32(_mm256_add_epi32(_mm256_i32gather_epi32(tableR, dR, 4),
                                                 _mm256_i32gather_epi32(tableG, dG, 4)),
                                _mm256_i32gather_epi32(tableB, dB, 4));
      }
      // Below 2^24 a float quotient truncates to the integer quotient exactly.
      const __m256i h = _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(term), divisor));
      __m256i response;
      if constexpr (Response == 1) {
        response = _mm256_mullo_epi32(h, h);
      } else if constexpr (Response == 2) {
        response = _mm256_i32gather_epi32(graded, _mm256_min_epu32(h, gradedLast), 4);
      } else {
        response = h;
      }
      acc = _mm256_add_epi32(acc, _mm256_mullo_epi32(response, w));
    }
    alignas(32) std::uint32_t lanes[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), acc);
    for (const std::uint32_t lane : lanes) sum += lane;
    if (sum > bound) return sum;
  }
  return sum;
}

// The per-element costs of the byte form for 8 elements: the tile's channels shifted, the
// differences taken a byte at a time and the three channel costs of each element added by two
// multiply-adds, then the response. The constants are set up once per call.
template <int Response, bool Divide>
struct ByteCosts {
  __m256i raise;
  __m256i lower;
  __m256i priorities;
  __m256i ones;
  __m256 divisor;
  __m256i gradedLast;
  const int* graded;

  __attribute__((target("avx2"), always_inline))
  ByteCosts(const VectorTables& t, const VectorShift& shift)
      : raise(_mm256_set1_epi32(static_cast<int>(shift.raise))),
        lower(_mm256_set1_epi32(static_cast<int>(shift.lower))),
        // The priorities as signed bytes; the transparency byte costs nothing.
        priorities(_mm256_set1_epi32(t.priorityR | (t.priorityG << 8) | (t.priorityB << 16))),
        ones(_mm256_set1_epi16(1)),
        divisor(_mm256_set1_ps(t.divisor)),
        gradedLast(_mm256_set1_epi32(static_cast<int>(t.gradedLast))),
        graded(reinterpret_cast<const int*>(t.graded)) {}

  __attribute__((target("avx2"), always_inline)) __m256i of(const Pixel* cell,
                                                            const Pixel* tile) const {
    const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cell));
    __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(tile));
    p = _mm256_subs_epu8(_mm256_adds_epu8(p, raise), lower);
    const __m256i d = _mm256_or_si256(_mm256_subs_epu8(c, p), _mm256_subs_epu8(p, c));
    // Red and green, and blue, in 16 bits; then the three in 32.
    const __m256i term = _mm256_madd_epi16(_mm256_maddubs_epi16(d, priorities), ones);
    __m256i h = term;
    if constexpr (Divide) {
      // Below 2^24 a float quotient truncates to the integer quotient exactly.
      h = _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(term), divisor));
    }
    if constexpr (Response == 1) return _mm256_mullo_epi32(h, h);
    if constexpr (Response == 2) {
      return _mm256_i32gather_epi32(graded, _mm256_min_epu32(h, gradedLast), 4);
    }
    return h;
  }
};

// The eight 32-bit lanes of `acc` added in 64 bits.
__attribute__((target("avx2"), always_inline)) inline std::uint64_t laneSum(__m256i acc) {
  const __m256i wide = _mm256_add_epi64(_mm256_cvtepu32_epi64(_mm256_castsi256_si128(acc)),
                                        _mm256_cvtepu32_epi64(_mm256_extracti128_si256(acc, 1)));
  const __m128i half =
      _mm_add_epi64(_mm256_castsi256_si128(wide), _mm256_extracti128_si256(wide, 1));
  return static_cast<std::uint64_t>(
      _mm_cvtsi128_si64(_mm_add_epi64(half, _mm_unpackhi_epi64(half, half))));
}

// The same sums when the channel costs are |difference| x a small priority (`ByteCosts`); the
// element weight, common to the whole call, multiplies each batch's sum once.
template <int Response, bool Divide>
__attribute__((target("avx2"))) std::uint64_t sumBytes(const VectorTables& t, const Pixel* cell,
                                                       const Pixel* tile, std::size_t vectors,
                                                       std::uint32_t weight,
                                                       const VectorShift& shift, std::uint64_t sum,
                                                       std::uint64_t bound,
                                                       std::size_t checkEvery) {
  const ByteCosts<Response, Divide> costs(t, shift);
  // Sums stay below 2^32 and a lane holds up to 18 elements' responses: against a bound that
  // high, the whole call is one batch.
  if (bound >= 0xFFFFFFFFu && vectors <= 18) checkEvery = vectors;
  std::size_t v = 0;
  while (v < vectors) {
    const std::size_t end = v + checkEvery < vectors ? v + checkEvery : vectors;
    __m256i acc = _mm256_setzero_si256();
    for (; v < end; ++v) acc = _mm256_add_epi32(acc, costs.of(cell + 8 * v, tile + 8 * v));
    sum += laneSum(acc) * weight;
    if (sum > bound) return sum;
  }
  return sum;
}

// `sumBytes` over the 18 thumbnail vectors in four groups of rows, each group's end checked
// with a lower bound of the rows still to come added to the sum.
template <int Response, bool Divide>
__attribute__((target("avx2"))) std::uint64_t sumByteRows(const VectorTables& t, const Pixel* cell,
                                                          const Pixel* tile, std::uint32_t weight,
                                                          const VectorShift& shift,
                                                          std::uint64_t sum, std::uint64_t bound,
                                                          const std::uint64_t* rest) {
  // Pixel row groups: vector 4 ends in square row 0 and 9 ends square row 1 exactly; vector 13
  // ends inside square row 2. Whatever follows a group's end fully is in `rest`.
  static constexpr std::size_t kEnds[4] = {4, 9, 13, 18};
  const ByteCosts<Response, Divide> costs(t, shift);
  std::size_t v = 0;
  for (std::size_t m = 0; m < 4; ++m) {
    __m256i acc = _mm256_setzero_si256();
    for (; v < kEnds[m]; ++v) acc = _mm256_add_epi32(acc, costs.of(cell + 8 * v, tile + 8 * v));
    sum += laneSum(acc) * weight;
    if (sum + rest[m] > bound) return sum + rest[m];
  }
  return sum;
}

// The lower bound of a square's mean quotient for its cost sum: floor((T - offset) / divisor)
// within 0..last. The float quotient is correctly rounded and quotients stay small, so it is
// never within rounding below an integer: truncation gives the integer quotient.
__attribute__((target("avx2"), always_inline)) inline __m256i boundQuotient(
    __m256i term, __m256 offset, __m256 divisor, __m256i zero, __m256i last) {
  const __m256 x = _mm256_div_ps(_mm256_sub_ps(_mm256_cvtepi32_ps(term), offset), divisor);
  return _mm256_min_epi32(_mm256_max_epi32(_mm256_cvttps_epi32(x), zero), last);
}

__attribute__((target("avx2"))) void squareBounds(const VectorTables& t, const SquareBound& b,
                                                  const TileSquares& tile,
                                                  const SquareSums* const* cells, std::size_t count,
                                                  const VectorShift& shift,
                                                  std::uint32_t (*rows)[4]) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i nine = _mm256_set1_epi16(9);
  const __m256i top = _mm256_set1_epi16(255);
  // The tile's square sums after the shift lie within [lo, hi]: the shift adds 9 s to a
  // square's sum unless levels are cut off at 255 (s > 0) or 0 (s < 0), which costs at most
  // 9 x how far the square's highest (lowest) level is pushed past the end.
  const int s[3] = {shift.r, shift.g, shift.b};
  __m256i lo[3];
  __m256i hi[3];
  for (int ch = 0; ch < 3; ++ch) {
    const __m256i sv = _mm256_set1_epi16(static_cast<std::int16_t>(s[ch]));
    const __m256i base =
        _mm256_add_epi16(_mm256_load_si256(reinterpret_cast<const __m256i*>(tile.sums.sum[ch])),
                         _mm256_set1_epi16(static_cast<std::int16_t>(9 * s[ch])));
    const __m256i over = _mm256_max_epi16(
        _mm256_sub_epi16(
            _mm256_add_epi16(_mm256_load_si256(reinterpret_cast<const __m256i*>(tile.high[ch])),
                             sv),
            top),
        zero);
    const __m256i under = _mm256_max_epi16(
        _mm256_sub_epi16(
            zero, _mm256_add_epi16(
                      _mm256_load_si256(reinterpret_cast<const __m256i*>(tile.low[ch])), sv)),
        zero);
    lo[ch] = _mm256_sub_epi16(base, _mm256_mullo_epi16(over, nine));
    hi[ch] = _mm256_add_epi16(base, _mm256_mullo_epi16(under, nine));
  }
  const __m256i priorityRG = _mm256_set1_epi32(t.priorityR | (t.priorityG << 16));
  const __m256i priorityB = _mm256_set1_epi32(t.priorityB);
  const __m256 offset = _mm256_set1_ps(b.offset);
  const __m256 divisor = _mm256_set1_ps(b.divisor);
  const __m256i last = _mm256_set1_epi32(b.last);
  for (std::size_t i = 0; i < count; ++i) {
    __m256i d[3];
    for (int ch = 0; ch < 3; ++ch) {
      const __m256i c = _mm256_load_si256(reinterpret_cast<const __m256i*>(cells[i]->sum[ch]));
      d[ch] = _mm256_max_epi16(
          _mm256_max_epi16(_mm256_sub_epi16(lo[ch], c), _mm256_sub_epi16(c, hi[ch])), zero);
    }
    // The cost sums in 32 bits; the unpacks leave squares 0-3 and 8-11 in `first`, 4-7 and
    // 12-15 in `second`.
    const __m256i first =
        _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(d[0], d[1]), priorityRG),
                         _mm256_madd_epi16(_mm256_unpacklo_epi16(d[2], zero), priorityB));
    const __m256i second =
        _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(d[0], d[1]), priorityRG),
                         _mm256_madd_epi16(_mm256_unpackhi_epi16(d[2], zero), priorityB));
    const __m256i g0 =
        _mm256_i32gather_epi32(b.floor, boundQuotient(first, offset, divisor, zero, last), 4);
    const __m256i g1 =
        _mm256_i32gather_epi32(b.floor, boundQuotient(second, offset, divisor, zero, last), 4);
    // Row r of squares: r = 0 in the low half of g0, 1 in the low half of g1, 2 and 3 in the
    // high halves.
    const __m256i pairs = _mm256_hadd_epi32(g0, g1);
    const __m256i sums = _mm256_hadd_epi32(pairs, pairs);
    const __m128i low = _mm256_castsi256_si128(sums);
    const __m128i high = _mm256_extracti128_si256(sums, 1);
    rows[i][0] = static_cast<std::uint32_t>(_mm_cvtsi128_si32(low));
    rows[i][1] = static_cast<std::uint32_t>(_mm_extract_epi32(low, 1));
    rows[i][2] = static_cast<std::uint32_t>(_mm_cvtsi128_si32(high));
    rows[i][3] = static_cast<std::uint32_t>(_mm_extract_epi32(high, 1));
  }
}

// Truncating division of small integers (|x| < 2^16) by `d`: the float quotient is never within
// rounding of an integer it does not equal, so it truncates to the integer quotient.
__attribute__((target("avx2"), always_inline)) inline __m256i divideSmall(__m256i x, __m256 d) {
  return _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(x), d));
}

__attribute__((target("avx2"), always_inline)) inline __m256i clampLanes(__m256i x, __m256i low,
                                                                         __m256i high) {
  return _mm256_min_epi32(_mm256_max_epi32(x, low), high);
}

__attribute__((target("avx2"))) std::uint32_t averagesOver(const VectorTables& t,
                                                           const AverageLanes& lanes,
                                                           Pixel tileAverage,
                                                           const std::uint32_t* limits,
                                                           std::size_t count) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i top = _mm256_set1_epi32(255);
  const __m256i reach = _mm256_set1_epi32(lanes.shiftReach);
  const __m256i lowest = _mm256_set1_epi32(-lanes.shiftReach);
  const __m256 hundred = _mm256_set1_ps(100);
  const __m256 three = _mm256_set1_ps(3);
  const __m256 divisor = _mm256_set1_ps(t.divisor);
  const __m256i tile[3] = {_mm256_set1_epi32(static_cast<int>(tileAverage & 0xFFu)),
                           _mm256_set1_epi32(static_cast<int>((tileAverage >> 8) & 0xFFu)),
                           _mm256_set1_epi32(static_cast<int>((tileAverage >> 16) & 0xFFu))};
  const __m256i priority[3] = {_mm256_set1_epi32(t.priorityR), _mm256_set1_epi32(t.priorityG),
                               _mm256_set1_epi32(t.priorityB)};
  const __m256i gradedLast = _mm256_set1_epi32(static_cast<int>(t.gradedLast));
  const __m256i weight = _mm256_set1_epi32(static_cast<int>(lanes.weight));
  const __m256i sign = _mm256_set1_epi32(static_cast<int>(0x80000000u));
  const std::int32_t* channels[3] = {lanes.red, lanes.green, lanes.blue};
  std::uint32_t mask = 0;
  for (std::size_t half = 0; half * 8 < count; ++half) {
    __m256i cell[3];
    __m256i d[3];
    for (int ch = 0; ch < 3; ++ch) {
      cell[ch] = _mm256_load_si256(reinterpret_cast<const __m256i*>(channels[ch] + 8 * half));
      d[ch] = _mm256_sub_epi32(cell[ch], tile[ch]);
    }
    // The colour shift: a share of the luminance difference, then a third of what is left of
    // each channel, each cut off at the reach.
    const __m256i luminance =
        _mm256_add_epi32(_mm256_add_epi32(_mm256_mullo_epi32(d[0], _mm256_set1_epi32(30)),
                                          _mm256_mullo_epi32(d[1], _mm256_set1_epi32(59))),
                         _mm256_mullo_epi32(d[2], _mm256_set1_epi32(11)));
    const __m256i g = divideSmall(
        _mm256_slli_epi32(clampLanes(divideSmall(luminance, hundred), lowest, reach), 1), three);
    __m256i term = zero;
    for (int ch = 0; ch < 3; ++ch) {
      const __m256i shift = _mm256_add_epi32(
          g, divideSmall(clampLanes(_mm256_sub_epi32(d[ch], g), lowest, reach), three));
      const __m256i shifted = clampLanes(_mm256_add_epi32(tile[ch], shift), zero, top);
      term = _mm256_add_epi32(
          term,
          _mm256_mullo_epi32(_mm256_abs_epi32(_mm256_sub_epi32(cell[ch], shifted)), priority[ch]));
    }
    const __m256i h = t.divisor != 1 ? divideSmall(term, divisor) : term;
    __m256i response = h;
    if (t.response == 1) {
      response = _mm256_mullo_epi32(h, h);
    } else if (t.response == 2) {
      response = _mm256_i32gather_epi32(reinterpret_cast<const int*>(t.graded),
                                        _mm256_min_epu32(h, gradedLast), 4);
    }
    const __m256i cost = _mm256_mullo_epi32(response, weight);
    const __m256i limit = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(limits + 8 * half));
    // Unsigned cost > limit, as a signed comparison with both sign bits flipped.
    const __m256i over =
        _mm256_cmpgt_epi32(_mm256_xor_si256(cost, sign), _mm256_xor_si256(limit, sign));
    mask |= static_cast<std::uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(over))) << (8 * half);
  }
  return count >= 16 ? mask : mask & ((1u << count) - 1);
}

// The two block vectors of several variants with one set-up, as `sumBytes` adds them.
template <int Response, bool Divide>
__attribute__((target("avx2"))) void blocksBytes(const VectorTables& t, const Pixel* const* cells,
                                                 const Pixel* const* tiles, std::size_t count,
                                                 std::uint32_t weight, const VectorShift& shift,
                                                 std::uint64_t sum, std::uint64_t* out) {
  const ByteCosts<Response, Divide> costs(t, shift);
  for (std::size_t i = 0; i < count; ++i) {
    const __m256i acc =
        _mm256_add_epi32(costs.of(cells[i], tiles[i]), costs.of(cells[i] + 8, tiles[i] + 8));
    out[i] = sum + laneSum(acc) * weight;
  }
}

template <int Response>
void blocksWith(const VectorTables& t, const Pixel* const* cells, const Pixel* const* tiles,
                std::size_t count, std::uint32_t weight, const VectorShift& shift,
                std::uint64_t sum, std::uint64_t* out) {
  if (t.bytes) {
    if (t.divisor != 1) {
      blocksBytes<Response, true>(t, cells, tiles, count, weight, shift, sum, out);
    } else {
      blocksBytes<Response, false>(t, cells, tiles, count, weight, shift, sum, out);
    }
    return;
  }
  constexpr std::uint64_t kNoBound = ~std::uint64_t{0};
  for (std::size_t i = 0; i < count; ++i) {
    out[i] = t.linear ? sumVectors<Response, true>(t, cells[i], tiles[i], 2, weight, shift, sum,
                                                   kNoBound, 2)
                      : sumVectors<Response, false>(t, cells[i], tiles[i], 2, weight, shift, sum,
                                                    kNoBound, 2);
  }
}

template <int Response>
std::uint64_t sumWith(const VectorTables& t, const Pixel* cell, const Pixel* tile,
                      std::size_t vectors, std::uint32_t weight, const VectorShift& shift,
                      std::uint64_t sum, std::uint64_t bound, std::size_t checkEvery) {
  if (t.bytes) {
    return t.divisor != 1 ? sumBytes<Response, true>(t, cell, tile, vectors, weight, shift, sum,
                                                     bound, checkEvery)
                          : sumBytes<Response, false>(t, cell, tile, vectors, weight, shift, sum,
                                                      bound, checkEvery);
  }
  if (t.linear) {
    return sumVectors<Response, true>(t, cell, tile, vectors, weight, shift, sum, bound,
                                      checkEvery);
  }
  return sumVectors<Response, false>(t, cell, tile, vectors, weight, shift, sum, bound, checkEvery);
}

__attribute__((target("avx2"))) void detailsOver(const BlockDetail* tiles,
                                                 const std::uint32_t* indices, std::size_t count,
                                                 const BlockDetail* layouts,
                                                 std::size_t layoutCount, std::uint16_t* out) {
  __m256i low[8];
  __m256i high[8];
  for (std::size_t v = 0; v < layoutCount; ++v) {
    low[v] = _mm256_load_si256(reinterpret_cast<const __m256i*>(layouts[v].bytes));
    high[v] = _mm256_load_si256(reinterpret_cast<const __m256i*>(layouts[v].bytes + 32));
  }
  for (std::size_t i = 0; i < count; ++i) {
    const __m256i a = _mm256_load_si256(reinterpret_cast<const __m256i*>(tiles[indices[i]].bytes));
    const __m256i b =
        _mm256_load_si256(reinterpret_cast<const __m256i*>(tiles[indices[i]].bytes + 32));
    // Four partial sums per layout; the smallest total over the layouts.
    __m128i best = _mm_set1_epi32(0xFFFF);
    for (std::size_t v = 0; v < layoutCount; ++v) {
      const __m256i sums =
          _mm256_add_epi64(_mm256_sad_epu8(a, low[v]), _mm256_sad_epu8(b, high[v]));
      __m128i pair = _mm_add_epi64(_mm256_castsi256_si128(sums), _mm256_extracti128_si256(sums, 1));
      pair = _mm_add_epi64(pair, _mm_unpackhi_epi64(pair, pair));
      best = _mm_min_epu32(best, pair);
    }
    out[i] = static_cast<std::uint16_t>(_mm_cvtsi128_si32(best));
  }
}

}  // namespace

bool avx2Available() { return cpuHasAvx2(); }

VectorShift makeVectorShift(int r, int g, int b) {
  const auto up = [](int s) { return static_cast<std::uint32_t>(s > 0 ? (s > 255 ? 255 : s) : 0); };
  const auto down = [](int s) {
    return static_cast<std::uint32_t>(s < 0 ? (s < -255 ? 255 : -s) : 0);
  };
  VectorShift shift;
  shift.r = r;
  shift.g = g;
  shift.b = b;
  shift.raise = up(r) | (up(g) << 8) | (up(b) << 16);
  shift.lower = down(r) | (down(g) << 8) | (down(b) << 16);
  return shift;
}

std::uint64_t sumVectorsAvx2(const VectorTables& tables, const Pixel* cell, const Pixel* tile,
                             std::size_t vectors, std::uint32_t weight, const VectorShift& shift,
                             std::uint64_t sum, std::uint64_t bound, std::size_t checkEvery) {
  if (checkEvery == 0) checkEvery = 1;
  switch (tables.response) {
    case 1:
      return sumWith<1>(tables, cell, tile, vectors, weight, shift, sum, bound, checkEvery);
    case 2:
      return sumWith<2>(tables, cell, tile, vectors, weight, shift, sum, bound, checkEvery);
    default:
      return sumWith<3>(tables, cell, tile, vectors, weight, shift, sum, bound, checkEvery);
  }
}

std::uint32_t averagesOverAvx2(const VectorTables& tables, const AverageLanes& lanes,
                               Pixel tileAverage, const std::uint32_t* limits, std::size_t count) {
  return averagesOver(tables, lanes, tileAverage, limits, count);
}

void squareBoundsAvx2(const VectorTables& tables, const SquareBound& bound, const TileSquares& tile,
                      const SquareSums* const* cells, std::size_t count, const VectorShift& shift,
                      std::uint32_t (*rows)[4]) {
  squareBounds(tables, bound, tile, cells, count, shift, rows);
}

std::uint64_t sumPixelRowsAvx2(const VectorTables& tables, const Pixel* cell, const Pixel* tile,
                               std::uint32_t weight, const VectorShift& shift, std::uint64_t sum,
                               std::uint64_t bound, const std::uint64_t* rest) {
  const bool divide = tables.divisor != 1;
  switch (tables.response) {
    case 1:
      return divide ? sumByteRows<1, true>(tables, cell, tile, weight, shift, sum, bound, rest)
                    : sumByteRows<1, false>(tables, cell, tile, weight, shift, sum, bound, rest);
    case 2:
      return divide ? sumByteRows<2, true>(tables, cell, tile, weight, shift, sum, bound, rest)
                    : sumByteRows<2, false>(tables, cell, tile, weight, shift, sum, bound, rest);
    default:
      return divide ? sumByteRows<3, true>(tables, cell, tile, weight, shift, sum, bound, rest)
                    : sumByteRows<3, false>(tables, cell, tile, weight, shift, sum, bound, rest);
  }
}

void sumBlocksAvx2(const VectorTables& tables, const Pixel* const* cells, const Pixel* const* tiles,
                   std::size_t count, std::uint32_t weight, const VectorShift& shift,
                   std::uint64_t sum, std::uint64_t* out) {
  switch (tables.response) {
    case 1:
      return blocksWith<1>(tables, cells, tiles, count, weight, shift, sum, out);
    case 2:
      return blocksWith<2>(tables, cells, tiles, count, weight, shift, sum, out);
    default:
      return blocksWith<3>(tables, cells, tiles, count, weight, shift, sum, out);
  }
}

void detailDistancesPortable(const BlockDetail* tiles, const std::uint32_t* indices,
                             std::size_t count, const BlockDetail* layouts, std::size_t layoutCount,
                             std::uint16_t* out) {
  for (std::size_t i = 0; i < count; ++i) {
    std::uint32_t best = 0xFFFF;
    for (std::size_t v = 0; v < layoutCount; ++v) {
      std::uint32_t sum = 0;
      for (std::size_t b = 0; b < 64; ++b) {
        const int d = int{tiles[indices[i]].bytes[b]} - int{layouts[v].bytes[b]};
        sum += static_cast<std::uint32_t>(d < 0 ? -d : d);
      }
      best = sum < best ? sum : best;
    }
    out[i] = static_cast<std::uint16_t>(best);
  }
}

void detailDistancesAvx2(const BlockDetail* tiles, const std::uint32_t* indices, std::size_t count,
                         const BlockDetail* layouts, std::size_t layoutCount, std::uint16_t* out) {
  detailsOver(tiles, indices, count, layouts, layoutCount, out);
}

}  // namespace tg::vector
