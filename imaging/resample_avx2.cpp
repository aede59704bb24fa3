// SPDX-License-Identifier: GPL-3.0-or-later
// The AVX2 form of `resample`'s output rows: (R, G, B, opacity) of a pixel in one vector of four
// doubles. Only the functions marked for AVX2 use it, and they run only when the processor has it.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include <immintrin.h>

#include "imaging/foto.h"
#include "imaging/resample_tables.h"
#include "platform/cpu_features.h"

#define TG_AVX2 __attribute__((target("avx2")))
#define TG_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

namespace tg::detail {

namespace {

std::atomic<bool> g_enabled{true};

// A source pixel converted once for the taps of many samples: (R, G, B, 1) and its opacity
// 255 - T in all four lanes, all exact.
struct alignas(32) QuadPixel {
  double colour[4];
  double opacity[4];
};

// Sums of fractional weights carry rounding noise: a region of one colour can come out a hair
// below its value, and truncation would then turn 40 into 39. Values within this tolerance below
// an integer count as that integer. (The same tolerance as the portable form.)
constexpr double kTruncationTolerance = 1e-7;

TG_AVX2_INLINE __m256d rgbo(Pixel p) {
  // 255 - T is T ^ 255 for an 8-bit T: the word becomes (R, G, B, opacity).
  const __m128i bytes = _mm_cvtsi32_si128(static_cast<int>(p ^ 0xFF000000u));
  return _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(bytes));
}

TG_AVX2_INLINE __m256d colourOf(__m256d v) {
  // Opacity as a channel of value 1: w x o x 1 is w x o exactly.
  return _mm256_blend_pd(v, _mm256_set1_pd(1.0), 0x8);
}

TG_AVX2_INLINE __m256d opacityOf(__m256d v) { return _mm256_permute4x64_pd(v, 0xFF); }

// The tap of a converted pixel: (weight x opacity) x colour, lane by lane.
TG_AVX2_INLINE __m256d tap(const QuadPixel& p, double weight) {
  const __m256d wo = _mm256_mul_pd(_mm256_set1_pd(weight), _mm256_load_pd(p.opacity));
  return _mm256_mul_pd(wo, _mm256_load_pd(p.colour));
}

// The same tap of an opaque pixel, its weight x 255 worked out beforehand.
TG_AVX2_INLINE __m256d opaqueTap(const QuadPixel& p, double weightTimes255) {
  return _mm256_mul_pd(_mm256_set1_pd(weightTimes255), _mm256_load_pd(p.colour));
}

TG_AVX2_INLINE __m256d tap(Pixel p, double weight) {
  const __m256d v = rgbo(p);
  return _mm256_mul_pd(_mm256_mul_pd(_mm256_set1_pd(weight), opacityOf(v)), colourOf(v));
}

}  // namespace

// The weights of every fragment of a cut row paired with every column fragment: the four tap
// weights (times 255, the weight times the opacity, when both source rows are opaque), the
// rescaling and the area (both 0 where the portable form skips the fragment).
struct CutRowWeights {
  double *w1, *w2, *w3, *w4, *scale, *target;
};

struct QuadRowAverager::Tables {
  static constexpr int kSlots = 4;
  const Foto& source;
  const std::vector<Column>& columns;
  // The column taps of `all` as arrays (padded to whole vectors with zero weights): weights,
  // coverage, and the source columns relative to `first`.
  std::vector<double> ownWeight, neighbourWeight, coverage;
  std::vector<std::uint32_t> own, neighbour;
  // The taps of `partial` paired with a whole row: weights, rescaling and area.
  std::vector<double> partialOwnWeight, partialNeighbourWeight, partialScale, partialTarget;
  std::vector<std::uint32_t> partialOwn, partialNeighbour;
  CutRowWeights cut[kSlots];
  // Converted source rows over the columns [first, first + span).
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
  std::uint32_t first = 0;
  std::uint32_t span = 0;
  std::uint32_t held[kSlots] = {kNone, kNone, kNone, kNone};
  bool opaque[kSlots] = {false, false, false, false};  // every pixel of the held row has T = 0
  std::unique_ptr<QuadPixel[]> converted;  // kSlots rows of `span`, written before they are read
  std::unique_ptr<double[]> weightStore;   // the arrays of `cut`, likewise

  Tables(const Foto& s, const std::vector<Column>& c) : source(s), columns(c) {}

  const QuadPixel* find(std::uint32_t row) const {
    for (int k = 0; k < kSlots; ++k) {
      if (held[k] == row) return converted.get() + static_cast<std::size_t>(k) * span;
    }
    return nullptr;
  }
  bool isOpaque(std::uint32_t row) const {
    for (int k = 0; k < kSlots; ++k) {
      if (held[k] == row) return opaque[k];
    }
    return false;
  }

  TG_AVX2 void hold(const std::uint32_t* needed, int count);
  TG_AVX2 void weighCutRow(const Tap& fy, bool opaque, CutRowWeights& weights) const;
  TG_AVX2 Pixel average(const Column& column, const std::vector<Tap>& rows, const ColumnSums* sums,
                        const QuadPixel* const* ownRows, const QuadPixel* const* neighbourRows,
                        const bool* opaqueRows) const;
};

bool QuadRowAverager::available() {
  return cpuHasAvx2() && g_enabled.load(std::memory_order_relaxed);
}

bool QuadRowAverager::setEnabled(bool enabled) { return g_enabled.exchange(enabled); }

QuadRowAverager::QuadRowAverager(const Foto& source, const std::vector<Column>& columns,
                                 const std::vector<Tap>& all, const std::vector<Tap>& partial,
                                 std::uint32_t tapFirst, std::uint32_t tapEnd)
    : m_tables(std::make_unique<Tables>(source, columns)) {
  Tables& t = *m_tables;
  t.first = tapFirst;
  t.span = tapEnd - tapFirst;
  // Uninitialised on purpose: rows are converted before they are read, and `weighCutRow` fills
  // every entry of a cut row's arrays (the padding included) before the row is summed.
  t.converted.reset(new QuadPixel[static_cast<std::size_t>(t.span) * Tables::kSlots]);
  const std::size_t padded = (all.size() + 3) & ~std::size_t{3};
  t.ownWeight.assign(padded, 0.0);
  t.neighbourWeight.assign(padded, 0.0);
  t.coverage.assign(padded, 0.0);
  t.weightStore.reset(new double[padded * 6 * Tables::kSlots]);
  double* store = t.weightStore.get();
  for (CutRowWeights& weights : t.cut) {
    for (double** v :
         {&weights.w1, &weights.w2, &weights.w3, &weights.w4, &weights.scale, &weights.target}) {
      *v = store;
      store += padded;
    }
  }
  t.own.assign(all.size(), 0);
  t.neighbour.assign(all.size(), 0);
  for (std::size_t k = 0; k < all.size(); ++k) {
    t.ownWeight[k] = all[k].ownWeight;
    t.neighbourWeight[k] = all[k].neighbourWeight;
    t.coverage[k] = all[k].coverage;
    t.own[k] = all[k].own - tapFirst;
    t.neighbour[k] = all[k].neighbour - tapFirst;
  }
  for (const Tap& fx : partial) {
    // Paired with a whole row (weights 1 and 0, coverage 1) the taps weigh the column weights
    // themselves, and the rescaling is the tap's `wholeScale`.
    const double weight = ((fx.ownWeight * 1.0 + fx.neighbourWeight * 1.0) + fx.ownWeight * 0.0) +
                          fx.neighbourWeight * 0.0;
    const double target = fx.coverage * 1.0;
    const bool skipped = target <= 0 || weight <= 0;
    t.partialOwnWeight.push_back(fx.ownWeight);
    t.partialNeighbourWeight.push_back(fx.neighbourWeight);
    t.partialScale.push_back(skipped ? 0.0 : fx.wholeScale);
    t.partialTarget.push_back(skipped ? 0.0 : target);
    t.partialOwn.push_back(fx.own);
    t.partialNeighbour.push_back(fx.neighbour);
  }
}

QuadRowAverager::~QuadRowAverager() = default;

void QuadRowAverager::Tables::hold(const std::uint32_t* needed, int count) {
  bool keep[kSlots] = {false, false, false, false};
  for (int n = 0; n < count; ++n) {
    for (int k = 0; k < kSlots; ++k) {
      if (held[k] == needed[n]) keep[k] = true;
    }
  }
  for (int n = 0; n < count; ++n) {
    if (find(needed[n]) != nullptr) continue;
    int slot = 0;
    while (keep[slot]) ++slot;
    keep[slot] = true;
    held[slot] = needed[n];
    const Pixel* in = source.row(needed[n]) + first;
    QuadPixel* out = converted.get() + static_cast<std::size_t>(slot) * span;
    std::uint32_t transparency = 0;
    for (std::uint32_t x = 0; x < span; ++x) transparency |= in[x] & 0xFF000000u;
    opaque[slot] = transparency == 0;
    for (std::uint32_t x = 0; x < span; ++x) {
      const __m256d v = rgbo(in[x]);
      _mm256_store_pd(out[x].colour, colourOf(v));
      _mm256_store_pd(out[x].opacity, opacityOf(v));
    }
  }
}

void QuadRowAverager::Tables::weighCutRow(const Tap& fy, bool opaque,
                                          CutRowWeights& weights) const {
  const __m256d ay = _mm256_set1_pd(fy.ownWeight);
  const __m256d by = _mm256_set1_pd(fy.neighbourWeight);
  const __m256d cy = _mm256_set1_pd(fy.coverage);
  const __m256d zero = _mm256_setzero_pd();
  for (std::size_t k = 0; k < ownWeight.size(); k += 4) {
    const __m256d ax = _mm256_loadu_pd(ownWeight.data() + k);
    const __m256d bx = _mm256_loadu_pd(neighbourWeight.data() + k);
    const __m256d w1 = _mm256_mul_pd(ax, ay);
    const __m256d w2 = _mm256_mul_pd(bx, ay);
    const __m256d w3 = _mm256_mul_pd(ax, by);
    const __m256d w4 = _mm256_mul_pd(bx, by);
    const __m256d target = _mm256_mul_pd(_mm256_loadu_pd(coverage.data() + k), cy);
    const __m256d weight = _mm256_add_pd(_mm256_add_pd(_mm256_add_pd(w1, w2), w3), w4);
    // The portable form skips a fragment when target <= 0 or weight <= 0 (never for NaN).
    const __m256d kept = _mm256_and_pd(_mm256_cmp_pd(target, zero, _CMP_NLE_UQ),
                                       _mm256_cmp_pd(weight, zero, _CMP_NLE_UQ));
    if (opaque) {
      const __m256d full = _mm256_set1_pd(255.0);
      _mm256_storeu_pd(weights.w1 + k, _mm256_mul_pd(w1, full));
      _mm256_storeu_pd(weights.w2 + k, _mm256_mul_pd(w2, full));
      _mm256_storeu_pd(weights.w3 + k, _mm256_mul_pd(w3, full));
      _mm256_storeu_pd(weights.w4 + k, _mm256_mul_pd(w4, full));
    } else {
      _mm256_storeu_pd(weights.w1 + k, w1);
      _mm256_storeu_pd(weights.w2 + k, w2);
      _mm256_storeu_pd(weights.w3 + k, w3);
      _mm256_storeu_pd(weights.w4 + k, w4);
    }
    // The quotient is the one the portable form divides out or takes from `wholeScale`: a whole
    // column fragment has weights 1 and 0 and coverage 1, which give the same products and sums.
    _mm256_storeu_pd(weights.scale + k, _mm256_and_pd(kept, _mm256_div_pd(target, weight)));
    _mm256_storeu_pd(weights.target + k, _mm256_and_pd(kept, target));
  }
}

Pixel QuadRowAverager::Tables::average(const Column& column, const std::vector<Tap>& rows,
                                       const ColumnSums* sums, const QuadPixel* const* ownRows,
                                       const QuadPixel* const* neighbourRows,
                                       const bool* opaqueRows) const {
  __m256d pixel = _mm256_setzero_pd();
  double pixelWeight = 0;
  // Fragments whole on both axes are the source pixels themselves with weight 1: their sums are
  // integers, kept exactly and added once at the end.
  WholeSums whole;
  const std::uint32_t wholeWidth = column.wholeEnd - column.wholeBegin;
  std::size_t cutIndex = 0;
  for (const Tap& fy : rows) {
    if (!fy.whole) {
      const QuadPixel* a = ownRows[cutIndex];
      const QuadPixel* b = neighbourRows[cutIndex];
      const CutRowWeights& w = cut[cutIndex];
      const bool opaqueRow = opaqueRows[cutIndex];
      ++cutIndex;
      if (opaqueRow) {
        // Both rows opaque: every opacity is 255, and the table holds weight x 255.
        for (std::uint32_t k = column.allBegin; k < column.allEnd; ++k) {
          const std::uint32_t o = own[k];
          const std::uint32_t n = neighbour[k];
          __m256d sample = opaqueTap(a[o], w.w1[k]);
          sample = _mm256_add_pd(sample, opaqueTap(a[n], w.w2[k]));
          sample = _mm256_add_pd(sample, opaqueTap(b[o], w.w3[k]));
          sample = _mm256_add_pd(sample, opaqueTap(b[n], w.w4[k]));
          pixel = _mm256_add_pd(pixel, _mm256_mul_pd(sample, _mm256_set1_pd(w.scale[k])));
          pixelWeight += w.target[k];
        }
        continue;
      }
      for (std::uint32_t k = column.allBegin; k < column.allEnd; ++k) {
        const std::uint32_t o = own[k];
        const std::uint32_t n = neighbour[k];
        __m256d sample = tap(a[o], w.w1[k]);
        sample = _mm256_add_pd(sample, tap(a[n], w.w2[k]));
        sample = _mm256_add_pd(sample, tap(b[o], w.w3[k]));
        sample = _mm256_add_pd(sample, tap(b[n], w.w4[k]));
        pixel = _mm256_add_pd(pixel, _mm256_mul_pd(sample, _mm256_set1_pd(w.scale[k])));
        pixelWeight += w.target[k];
      }
      continue;
    }
    // A whole row has weights 1 and 0: only the own row's two taps weigh anything.
    const Pixel* ownRow = source.row(fy.own);
    for (std::uint32_t k = column.partialBegin; k < column.partialEnd; ++k) {
      __m256d sample = tap(ownRow[partialOwn[k]], partialOwnWeight[k]);
      sample = _mm256_add_pd(sample, tap(ownRow[partialNeighbour[k]], partialNeighbourWeight[k]));
      pixel = _mm256_add_pd(pixel, _mm256_mul_pd(sample, _mm256_set1_pd(partialScale[k])));
      pixelWeight += partialTarget[k];
    }
    if (sums != nullptr) continue;
    whole.addRun(ownRow + column.wholeBegin, wholeWidth);
  }
  if (sums != nullptr) whole.addColumns(*sums, column);
  pixel = _mm256_add_pd(pixel,
                        _mm256_set_pd(static_cast<double>(whole.o), static_cast<double>(whole.b),
                                      static_cast<double>(whole.g), static_cast<double>(whole.r)));
  pixelWeight += static_cast<double>(whole.count);

  alignas(32) double lanes[4];
  _mm256_store_pd(lanes, pixel);
  const double o = lanes[3];
  if (pixelWeight == 0 || o <= 0) return kTransparentBlack;
  // The four quotients at once, (r, g, b) / o and o / w, then T = 255 - o / w; every lane moved
  // up by the tolerance, clamped to 0..255 and truncated, as the portable form does one by one.
  __m256d channels = _mm256_div_pd(pixel, _mm256_set_pd(pixelWeight, o, o, o));
  channels = _mm256_blend_pd(channels, _mm256_sub_pd(_mm256_set1_pd(255.0), channels), 0x8);
  channels = _mm256_add_pd(channels, _mm256_set1_pd(kTruncationTolerance));
  channels = _mm256_min_pd(_mm256_max_pd(channels, _mm256_setzero_pd()), _mm256_set1_pd(255.0));
  const __m128i words = _mm256_cvttpd_epi32(channels);
  const __m128i bytes = _mm_packus_epi16(_mm_packus_epi32(words, words), _mm_setzero_si128());
  return static_cast<Pixel>(_mm_cvtsi128_si32(bytes));
}

TG_AVX2 bool QuadRowAverager::averageRow(const std::vector<Tap>& rows, const ColumnSums* sums,
                                         Pixel* out) {
  Tables& t = *m_tables;
  // The cut rows (at most the first and the last fragment): their source rows converted and
  // their weights against every column fragment worked out once for the whole output row. Cut
  // fragments lie on distinct source rows, so there are no more of them than rows held.
  std::uint32_t needed[Tables::kSlots];
  int neededCount = 0;
  for (const Tap& fy : rows) {
    if (fy.whole) continue;
    for (const std::uint32_t r : {fy.own, fy.neighbour}) {
      bool known = false;
      for (int n = 0; n < neededCount; ++n) known = known || needed[n] == r;
      if (known) continue;
      if (neededCount == Tables::kSlots) return false;
      needed[neededCount++] = r;
    }
  }
  t.hold(needed, neededCount);
  const QuadPixel* ownRows[Tables::kSlots];
  const QuadPixel* neighbourRows[Tables::kSlots];
  bool opaqueRows[Tables::kSlots];
  int cutRows = 0;
  for (const Tap& fy : rows) {
    if (fy.whole) continue;
    ownRows[cutRows] = t.find(fy.own);
    neighbourRows[cutRows] = t.find(fy.neighbour);
    opaqueRows[cutRows] = t.isOpaque(fy.own) && t.isOpaque(fy.neighbour);
    t.weighCutRow(fy, opaqueRows[cutRows], t.cut[cutRows]);
    ++cutRows;
  }
  for (std::size_t i = 0; i < t.columns.size(); ++i) {
    const Column& column = t.columns[i];
    out[i] = column.outside ? kTransparentBlack
                            : t.average(column, rows, sums, ownRows, neighbourRows, opaqueRows);
  }
  return true;
}

}  // namespace tg::detail
