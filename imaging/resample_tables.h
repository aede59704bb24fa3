// SPDX-License-Identifier: GPL-3.0-or-later
// The tables both fast forms of `resample` (portable and AVX2) work from: packed fragments, the
// fragment spans of output columns and the integer column sums of whole pixels.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "imaging/foto.h"

namespace tg::detail {

/// One fragment of an axis, packed for the inner loop. `hasNeighbour` is false when the neighbour
/// weight is exactly 0: its taps then have weight 0 and add exact zeros, so they can be left out.
/// `wholeScale` is the sample rescaling of this fragment paired with a whole fragment of the other
/// axis: every whole fragment holds the same three values (coverage 1, weights 1 and 0), so the
/// quotient is the same for all of them and is worked out once instead of once per pixel.
struct Tap {
  double coverage;
  double ownWeight;
  double neighbourWeight;
  double wholeScale;
  std::uint32_t own;
  std::uint32_t neighbour;
  bool hasNeighbour;
  bool whole;
};

/// An output column: its fragments, and the part outside its run of whole fragments, as spans of
/// the shared tap tables; the run itself as a range of source columns.
struct Column {
  std::uint32_t allBegin = 0;
  std::uint32_t allEnd = 0;
  std::uint32_t partialBegin = 0;
  std::uint32_t partialEnd = 0;
  std::uint32_t wholeBegin = 0;
  std::uint32_t wholeEnd = 0;
  bool outside = false;
};

/// The integer sums of the pixels whole on both axes, per source column, over the whole row
/// fragments of one output row: opacity x red, green and blue, and opacity, four words a column.
/// 32 bits hold up to 65,536 rows of 255 x 255.
struct ColumnSums {
  static constexpr std::uint32_t kMaxRows = 65536;
  std::uint32_t begin = 0;          // the first source column held
  std::vector<std::uint32_t> sums;  // r, g, b, o per column
  std::uint32_t rows = 0;           // the whole rows summed

  void reset(std::uint32_t first, std::uint32_t end) {
    begin = first;
    sums.assign(static_cast<std::size_t>(end - first) * 4, 0);
    rows = 0;
  }

  /// Adds source row `row` over the held columns in one contiguous pass.
  void addRow(const Pixel* __restrict row) {
    const Pixel* __restrict in = row + begin;
    std::uint32_t* __restrict out = sums.data();
    const std::size_t n = sums.size() / 4;
    std::size_t k = 0;
#if defined(__SSE2__)
    // Four pixels at a time in 16-bit lanes: each product is at most 255 x 255 and fits.
    const __m128i zero = _mm_setzero_si128();
    const __m128i full = _mm_set1_epi16(255);
    const __m128i keepColour = _mm_set_epi16(0, -1, -1, -1, 0, -1, -1, -1);
    const __m128i one = _mm_set_epi16(1, 0, 0, 0, 1, 0, 0, 0);
    const auto addTwo = [&](__m128i pair, std::uint32_t* at) {
      // (R, G, B, T) of two pixels; the opacity 255 - T in all four lanes of each.
      const __m128i t = _mm_shufflehi_epi16(_mm_shufflelo_epi16(pair, 0xFF), 0xFF);
      const __m128i opacity = _mm_sub_epi16(full, t);
      const __m128i factors = _mm_or_si128(_mm_and_si128(pair, keepColour), one);
      const __m128i products = _mm_mullo_epi16(opacity, factors);
      __m128i* first = reinterpret_cast<__m128i*>(at);
      __m128i* second = reinterpret_cast<__m128i*>(at + 4);
      _mm_storeu_si128(first,
                       _mm_add_epi32(_mm_loadu_si128(first), _mm_unpacklo_epi16(products, zero)));
      _mm_storeu_si128(second,
                       _mm_add_epi32(_mm_loadu_si128(second), _mm_unpackhi_epi16(products, zero)));
    };
    for (; k + 4 <= n; k += 4) {
      const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + k));
      addTwo(_mm_unpacklo_epi8(pixels, zero), out + 4 * k);
      addTwo(_mm_unpackhi_epi8(pixels, zero), out + 4 * k + 8);
    }
#endif
    for (; k < n; ++k) {
      const Pixel p = in[k];
      const std::uint32_t opacity = 255u - pixelT(p);
      out[4 * k] += opacity * pixelRed(p);
      out[4 * k + 1] += opacity * pixelGreen(p);
      out[4 * k + 2] += opacity * pixelBlue(p);
      out[4 * k + 3] += opacity;
    }
    ++rows;
  }
};

/// The output rows of one `resample` call computed four channels at a time in 256-bit vectors,
/// on processors with AVX2. Every lane goes through exactly the multiplications, divisions and
/// additions of the portable form, in the same order, so the pixels are the same bit for bit; taps
/// the portable form leaves out (weight exactly 0) add exact zeros here. The fragment weights of
/// the cut source rows are worked out for all columns of an output row at once, four at a time.
/// One object serves one call on one thread; the source and the tables must outlive it.
class QuadRowAverager {
 public:
  /// Whether the processor has AVX2 and the vector form is switched on.
  [[nodiscard]] static bool available();
  /// Switches the vector form on or off for this process (tests compare both forms); returns the
  /// previous setting.
  static bool setEnabled(bool enabled);

  /// `all` and `partial` are the tap tables the `columns` index; [tapFirst, tapEnd) are the
  /// source columns any tap reads (tapFirst < tapEnd).
  QuadRowAverager(const Foto& source, const std::vector<Column>& columns,
                  const std::vector<Tap>& all, const std::vector<Tap>& partial,
                  std::uint32_t tapFirst, std::uint32_t tapEnd);
  ~QuadRowAverager();
  QuadRowAverager(const QuadRowAverager&) = delete;
  QuadRowAverager& operator=(const QuadRowAverager&) = delete;

  /// Writes the output row whose row fragments are `rows` into `out` (one pixel per column);
  /// `sums` holds the column sums of its whole rows, or is null. False, writing nothing, when the
  /// row needs more converted source rows than are held; the caller then computes it.
  [[nodiscard]] bool averageRow(const std::vector<Tap>& rows, const ColumnSums* sums, Pixel* out);

 private:
  struct Tables;
  std::unique_ptr<Tables> m_tables;
};

/// The integer sums of an output pixel's source pixels that are whole on both axes: opacity x
/// red, green and blue, and opacity, and how many pixels they are. Kept exactly and added to the
/// pixel once at the end.
struct WholeSums {
  std::uint64_t r = 0;
  std::uint64_t g = 0;
  std::uint64_t b = 0;
  std::uint64_t o = 0;
  std::uint64_t count = 0;

  /// Adds the `width` pixels of `run`, each weighed by its opacity.
  void addRun(const Pixel* __restrict run, std::uint32_t width) {
    // Summed in locals, which stay in registers whether or not this is inlined.
    std::uint64_t sumR = 0, sumG = 0, sumB = 0, sumO = 0;
    for (std::uint32_t k = 0; k < width; ++k) {
      const Pixel p = run[k];
      const std::uint32_t opacity = 255u - pixelT(p);
      sumR += opacity * pixelRed(p);
      sumG += opacity * pixelGreen(p);
      sumB += opacity * pixelBlue(p);
      sumO += opacity;
    }
    r += sumR;
    g += sumG;
    b += sumB;
    o += sumO;
    count += width;
  }

  /// Takes the column's whole run from `sums`, which holds every whole row of the pixel.
  void addColumns(const ColumnSums& sums, const Column& column) {
    if (sums.rows == 0) return;
    const std::uint32_t width = column.wholeEnd - column.wholeBegin;
    const std::uint32_t* __restrict run = sums.sums.data() + 4 * (column.wholeBegin - sums.begin);
    std::uint64_t sumR = 0, sumG = 0, sumB = 0, sumO = 0;
    for (std::uint32_t k = 0; k < width; ++k) {
      sumR += run[4 * k];
      sumG += run[4 * k + 1];
      sumB += run[4 * k + 2];
      sumO += run[4 * k + 3];
    }
    r += sumR;
    g += sumG;
    b += sumB;
    o += sumO;
    count = static_cast<std::uint64_t>(sums.rows) * width;
  }
};

}  // namespace tg::detail
