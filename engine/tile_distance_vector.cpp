// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/tile_distance_vector.h"

#include <immintrin.h>

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

// The same sums when the channel costs are |difference| x a small priority: the differences are
// taken a byte at a time and the three channel costs of each element added by two multiply-adds,
// and the element weight, common to the whole call, multiplies each batch's sum once.
template <int Response, bool Divide>
__attribute__((target("avx2"))) std::uint64_t sumBytes(const VectorTables& t, const Pixel* cell,
                                                       const Pixel* tile, std::size_t vectors,
                                                       std::uint32_t weight,
                                                       const VectorShift& shift, std::uint64_t sum,
                                                       std::uint64_t bound,
                                                       std::size_t checkEvery) {
  const __m256i raise = _mm256_set1_epi32(static_cast<int>(shift.raise));
  const __m256i lower = _mm256_set1_epi32(static_cast<int>(shift.lower));
  // The priorities as signed bytes; the transparency byte costs nothing.
  const __m256i priorities =
      _mm256_set1_epi32(t.priorityR | (t.priorityG << 8) | (t.priorityB << 16));
  const __m256i ones = _mm256_set1_epi16(1);
  const __m256 divisor = _mm256_set1_ps(t.divisor);
  const __m256i gradedLast = _mm256_set1_epi32(static_cast<int>(t.gradedLast));
  const auto* graded = reinterpret_cast<const int*>(t.graded);

  std::size_t v = 0;
  while (v < vectors) {
    const std::size_t end = v + checkEvery < vectors ? v + checkEvery : vectors;
    __m256i acc = _mm256_setzero_si256();
    for (; v < end; ++v) {
      const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cell + 8 * v));
      __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(tile + 8 * v));
      p = _mm256_subs_epu8(_mm256_adds_epu8(p, raise), lower);
      const __m256i d = _mm256_or_si256(_mm256_subs_epu8(c, p), _mm256_subs_epu8(p, c));
      // Red and green, and blue, in 16 bits; then the three in 32.
      const __m256i term = _mm256_madd_epi16(_mm256_maddubs_epi16(d, priorities), ones);
      __m256i h = term;
      if constexpr (Divide) {
        // Below 2^24 a float quotient truncates to the integer quotient exactly.
        h = _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(term), divisor));
      }
      if constexpr (Response == 1) {
        acc = _mm256_add_epi32(acc, _mm256_mullo_epi32(h, h));
      } else if constexpr (Response == 2) {
        acc = _mm256_add_epi32(acc,
                               _mm256_i32gather_epi32(graded, _mm256_min_epu32(h, gradedLast), 4));
      } else {
        acc = _mm256_add_epi32(acc, h);
      }
    }
    alignas(32) std::uint32_t lanes[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), acc);
    std::uint64_t batch = 0;
    for (const std::uint32_t lane : lanes) batch += lane;
    sum += batch * weight;
    if (sum > bound) return sum;
  }
  return sum;
}

// The two block vectors of several variants with one set-up, as `sumBytes` adds them.
template <int Response, bool Divide>
__attribute__((target("avx2"))) void blocksBytes(const VectorTables& t, const Pixel* const* cells,
                                                 const Pixel* const* tiles, std::size_t count,
                                                 std::uint32_t weight, const VectorShift& shift,
                                                 std::uint64_t sum, std::uint64_t* out) {
  const __m256i raise = _mm256_set1_epi32(static_cast<int>(shift.raise));
  const __m256i lower = _mm256_set1_epi32(static_cast<int>(shift.lower));
  const __m256i priorities =
      _mm256_set1_epi32(t.priorityR | (t.priorityG << 8) | (t.priorityB << 16));
  const __m256i ones = _mm256_set1_epi16(1);
  const __m256 divisor = _mm256_set1_ps(t.divisor);
  const __m256i gradedLast = _mm256_set1_epi32(static_cast<int>(t.gradedLast));
  const auto* graded = reinterpret_cast<const int*>(t.graded);
  for (std::size_t i = 0; i < count; ++i) {
    __m256i acc = _mm256_setzero_si256();
    for (std::size_t v = 0; v < 2; ++v) {
      const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cells[i] + 8 * v));
      __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(tiles[i] + 8 * v));
      p = _mm256_subs_epu8(_mm256_adds_epu8(p, raise), lower);
      const __m256i d = _mm256_or_si256(_mm256_subs_epu8(c, p), _mm256_subs_epu8(p, c));
      const __m256i term = _mm256_madd_epi16(_mm256_maddubs_epi16(d, priorities), ones);
      __m256i h = term;
      if constexpr (Divide) {
        h = _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(term), divisor));
      }
      if constexpr (Response == 1) {
        acc = _mm256_add_epi32(acc, _mm256_mullo_epi32(h, h));
      } else if constexpr (Response == 2) {
        acc = _mm256_add_epi32(acc,
                               _mm256_i32gather_epi32(graded, _mm256_min_epu32(h, gradedLast), 4));
      } else {
        acc = _mm256_add_epi32(acc, h);
      }
    }
    // The eight lanes added in 64 bits, as `sumBytes` adds a batch.
    const __m256i wide = _mm256_add_epi64(_mm256_cvtepu32_epi64(_mm256_castsi256_si128(acc)),
                                          _mm256_cvtepu32_epi64(_mm256_extracti128_si256(acc, 1)));
    const __m128i half =
        _mm_add_epi64(_mm256_castsi256_si128(wide), _mm256_extracti128_si256(wide, 1));
    const auto batch = static_cast<std::uint64_t>(_mm_cvtsi128_si64(half)) +
                       static_cast<std::uint64_t>(_mm_extract_epi64(half, 1));
    out[i] = sum + batch * weight;
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

}  // namespace

bool avx2Available() {
  static const bool available = __builtin_cpu_supports("avx2") != 0;
  return available;
}

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

}  // namespace tg::vector
