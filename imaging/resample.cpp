// SPDX-License-Identifier: GPL-3.0-or-later
// Area-weighted resampling of a rectangle to any output size, and the aspect-ratio crops.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "imaging/foto.h"
#include "imaging/resample_fragments.h"
#include "imaging/resample_tables.h"

namespace tg {

namespace {

using detail::Column;
using detail::ColumnSums;
using detail::coverFragments;
using detail::Fragment;
using detail::Tap;
using detail::WholeSums;

// Two doubles side by side. Each lane goes through exactly the IEEE multiplications and additions
// of the one-channel-at-a-time form, in the same order, so the sums come out bit for bit the same;
// the pair only halves the instruction count. Channels travel as (red, green) and (blue, opacity).
using Pair = double __attribute__((vector_size(16)));

// The weight of a sample of fragments `fx` and `fy`, summed in the order of its taps.
inline double sampleWeight(const Tap& fx, const Tap& fy) {
  const double w1 = fx.ownWeight * fy.ownWeight;
  const double w2 = fx.neighbourWeight * fy.ownWeight;
  const double w3 = fx.ownWeight * fy.neighbourWeight;
  const double w4 = fx.neighbourWeight * fy.neighbourWeight;
  return ((w1 + w2) + w3) + w4;
}

Tap packTap(const Fragment& f) {
  Tap tap{f.coverage, f.ownWeight, f.neighbourWeight,      0.0,
          f.own,      f.neighbour, f.neighbourWeight != 0, f.whole};
  const Tap whole{1.0, 1.0, 0.0, 0.0, 0, 0, false, true};
  // Only used when both are positive (checked per sample); the quotient is then finite.
  const double weight = sampleWeight(tap, whole);
  if (weight > 0) tap.wholeScale = (tap.coverage * whole.coverage) / weight;
  return tap;
}

// The pixel accumulator: (r, g), (b, o) and the weight.
struct Sums {
  Pair rg = {0, 0};
  Pair bo = {0, 0};
  double w = 0;
};

// Adds the tap of pixel `p` with `weight` (> 0 or an exact 0 left out by the caller): the colour
// times weight x opacity, and weight x opacity itself.
inline void addTap(Pair& rg, Pair& bo, Pixel p, double weight) {
#if defined(__SSE2__)
  // 255 - T is T ^ 255 for an 8-bit T: the word becomes (R, G, B, opacity), widened to four
  // 32-bit lanes and converted two at a time; every conversion is exact.
  const __m128i zero = _mm_setzero_si128();
  __m128i v = _mm_cvtsi32_si128(static_cast<int>(p ^ 0xFF000000u));
  v = _mm_unpacklo_epi16(_mm_unpacklo_epi8(v, zero), zero);
  const __m128d colourRG = _mm_cvtepi32_pd(v);
  const __m128d blueOpacity = _mm_cvtepi32_pd(_mm_shuffle_epi32(v, 0xEE));
  const __m128d wo = _mm_mul_pd(_mm_set1_pd(weight), _mm_unpackhi_pd(blueOpacity, blueOpacity));
  // Opacity as a channel of value 1: wo * 1 is wo exactly.
  const __m128d colourBO = _mm_move_sd(_mm_set1_pd(1.0), blueOpacity);
  rg += reinterpret_cast<const Pair&>(wo) * reinterpret_cast<const Pair&>(colourRG);
  bo += reinterpret_cast<const Pair&>(wo) * reinterpret_cast<const Pair&>(colourBO);
#else
  const double wo = weight * static_cast<double>(255u - pixelT(p));
  const Pair colourRG = {static_cast<double>(pixelRed(p)), static_cast<double>(pixelGreen(p))};
  // Opacity as a channel of value 1: wo * 1 is wo exactly.
  const Pair colourBO = {static_cast<double>(pixelBlue(p)), 1.0};
  rg += wo * colourRG;
  bo += wo * colourBO;
#endif
}

// A source pixel converted once for the taps of many samples: (R, G), (B, 1) and the opacity in
// both lanes, all exact.
struct Converted {
  Pair rg;
  Pair b1;
  Pair oo;
};

Converted convert(Pixel p) {
  const double o = static_cast<double>(255u - pixelT(p));
  return Converted{{static_cast<double>(pixelRed(p)), static_cast<double>(pixelGreen(p))},
                   {static_cast<double>(pixelBlue(p)), 1.0},
                   {o, o}};
}

// The tap of a converted pixel: the same products as from the pixel word itself.
inline void addTap(Pair& rg, Pair& bo, const Converted& c, double weight) {
  const Pair wo = Pair{weight, weight} * c.oo;
  rg += wo * c.rg;
  bo += wo * c.b1;
}

// A few source rows converted over the columns [first, first + span) that any tap reads. Only the
// rows of cut (not whole) row fragments come here: at most two a pixel, each with a neighbour.
class RowCache {
 public:
  static constexpr int kSlots = 4;

  void prepare(std::uint32_t first, std::uint32_t span) {
    first_ = first;
    span_ = span;
    data_.resize(static_cast<std::size_t>(span) * kSlots);
    for (std::uint32_t& row : rows_) row = kNone;
  }
  std::uint32_t first() const { return first_; }

  // Makes `needed` (at most kSlots rows) available, converting those not held yet.
  void hold(const Foto& source, const std::uint32_t* needed, int count) {
    bool keep[kSlots] = {false, false, false, false};
    for (int n = 0; n < count; ++n) {
      for (int k = 0; k < kSlots; ++k) {
        if (rows_[k] == needed[n]) keep[k] = true;
      }
    }
    for (int n = 0; n < count; ++n) {
      if (find(needed[n]) != nullptr) continue;
      int slot = 0;
      while (keep[slot]) ++slot;
      keep[slot] = true;
      rows_[slot] = needed[n];
      const Pixel* in = source.row(needed[n]) + first_;
      Converted* out = data_.data() + static_cast<std::size_t>(slot) * span_;
      for (std::uint32_t x = 0; x < span_; ++x) out[x] = convert(in[x]);
    }
  }
  // The converted row `row` (indexed from first()), or null when not held.
  const Converted* find(std::uint32_t row) const {
    for (int k = 0; k < kSlots; ++k) {
      if (rows_[k] == row) return data_.data() + static_cast<std::size_t>(k) * span_;
    }
    return nullptr;
  }

 private:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
  std::uint32_t first_ = 0;
  std::uint32_t span_ = 0;
  std::uint32_t rows_[kSlots] = {kNone, kNone, kNone, kNone};
  std::vector<Converted> data_;
};

// One fragment's bilinear sample, rescaled to carry the fragment's area as weight. Weights that
// are exact zeros are skipped: their taps would add +0 to non-negative sums, which changes nothing.
// `ownRow` and `neighbourRow` are pixel words or converted pixels, indexed from `first`.
template <typename Source>
inline void addFragment(Sums& pixel, const Source* __restrict ownRow,
                        const Source* __restrict neighbourRow, std::uint32_t first, const Tap& fx,
                        const Tap& fy) {
  const double w1 = fx.ownWeight * fy.ownWeight;
  const double w2 = fx.neighbourWeight * fy.ownWeight;
  const double w3 = fx.ownWeight * fy.neighbourWeight;
  const double w4 = fx.neighbourWeight * fy.neighbourWeight;
  const double target = fx.coverage * fy.coverage;
  // The same sum, in the same order, as the tap-by-tap accumulation.
  const double weight = ((w1 + w2) + w3) + w4;
  if (target <= 0 || weight <= 0) return;
  Pair rg = {0, 0};
  Pair bo = {0, 0};
  const std::uint32_t own = fx.own - first;
  const std::uint32_t neighbour = fx.neighbour - first;
  addTap(rg, bo, ownRow[own], w1);
  if (fx.hasNeighbour) addTap(rg, bo, ownRow[neighbour], w2);
  if (fy.hasNeighbour) {
    addTap(rg, bo, neighbourRow[own], w3);
    if (fx.hasNeighbour) addTap(rg, bo, neighbourRow[neighbour], w4);
  }
  const double scale = fx.whole ? fy.wholeScale : fy.whole ? fx.wholeScale : target / weight;
  pixel.rg += rg * scale;
  pixel.bo += bo * scale;
  pixel.w += target;
}

// Sums of fractional weights carry rounding noise: a region of one colour can come out a hair
// below its value, and truncation would then turn 40 into 39. Values within this tolerance below
// an integer count as that integer.
constexpr double kTruncationTolerance = 1e-7;

Pixel averagePixel(const Sums& acc) {
  const double o = acc.bo[1];
  if (acc.w == 0 || o <= 0) return kTransparentBlack;
  const auto channel = [](double v) {
    return static_cast<std::uint32_t>(std::clamp(v + kTruncationTolerance, 0.0, 255.0));
  };
  // The four quotients two at a time: (r, g) / o and (b / o, o / w).
  const Pair colourRG = acc.rg / Pair{o, o};
  const Pair colourBO = acc.bo / Pair{o, acc.w};
  return makePixel(channel(colourRG[0]), channel(colourRG[1]), channel(colourBO[0]),
                   channel(255.0 - colourBO[1]));
}

// The run of whole fragments of `taps` (coverage 1, sampled at the pixel's own centre), when they
// are contiguous in the source: [begin, end) of source columns; begin == end when there is none.
void findWholeRun(const std::vector<Fragment>& taps, std::uint32_t& begin, std::uint32_t& end,
                  std::size_t& first, std::size_t& last) {
  begin = end = 0;
  first = taps.size();
  last = 0;
  for (std::size_t k = 0; k < taps.size(); ++k) {
    if (!taps[k].whole) continue;
    first = std::min(first, k);
    last = k;
  }
  bool contiguous = first < taps.size();
  for (std::size_t k = first; contiguous && k <= last; ++k) {
    contiguous = taps[k].whole && taps[k].own == taps[first].own + (k - first);
  }
  if (!contiguous) {
    first = taps.size();
    last = 0;
    return;
  }
  begin = taps[first].own;
  end = taps[last].own + 1;
}

// The area average of one output pixel: `rows` are its row fragments, `column` its column spans
// in `all` and `partial`. The pixels whole on both axes come from `sums` when given (its rows are
// exactly the whole fragments of `rows`), else they are summed here.
Pixel boxAverage(const Foto& source, const Column& column, const Tap* __restrict all,
                 const Tap* __restrict partial, const std::vector<Tap>& rows,
                 const ColumnSums* sums, const RowCache& cache) {
  Sums pixel;
  // Fragments whole on both axes are the source pixels themselves with weight 1: their sums are
  // integers, kept exactly and added once at the end.
  WholeSums whole;
  const std::uint32_t wholeWidth = column.wholeEnd - column.wholeBegin;
  for (const Tap& fy : rows) {
    const Pixel* ownRow = source.row(fy.own);
    const Pixel* neighbourRow = source.row(fy.neighbour);
    if (!fy.whole) {
      const Converted* ownConverted = cache.find(fy.own);
      const Converted* neighbourConverted = cache.find(fy.neighbour);
      if (ownConverted != nullptr && neighbourConverted != nullptr) {
        for (std::uint32_t k = column.allBegin; k < column.allEnd; ++k)
          addFragment(pixel, ownConverted, neighbourConverted, cache.first(), all[k], fy);
      } else {
        for (std::uint32_t k = column.allBegin; k < column.allEnd; ++k)
          addFragment(pixel, ownRow, neighbourRow, 0, all[k], fy);
      }
      continue;
    }
    for (std::uint32_t k = column.partialBegin; k < column.partialEnd; ++k)
      addFragment(pixel, ownRow, neighbourRow, 0, partial[k], fy);
    if (sums != nullptr) continue;
    whole.addRun(ownRow + column.wholeBegin, wholeWidth);
  }
  if (sums != nullptr) whole.addColumns(*sums, column);
  pixel.rg += Pair{static_cast<double>(whole.r), static_cast<double>(whole.g)};
  pixel.bo += Pair{static_cast<double>(whole.b), static_cast<double>(whole.o)};
  pixel.w += static_cast<double>(whole.count);
  return averagePixel(pixel);
}

}  // namespace

std::unique_ptr<Foto> resample(const Foto& source, std::uint32_t outW, std::uint32_t outH,
                               double rectW, double rectH, double rectX, double rectY) {
  if (source.empty() || outW == 0 || outH == 0) return nullptr;
  if (!(rectW > 0) || !(rectH > 0) || !(rectX >= 0) || !(rectY >= 0)) return nullptr;
  auto result = std::make_unique<Foto>();
  if (!result->create(outW, outH)) return nullptr;

  const double srcW = source.width;
  const double srcH = source.height;
  const double stepX = rectW / outW;
  const double stepY = rectH / outH;

  // The column fragments depend on the output column only: work them out once, into two flat
  // tables (every fragment, and those outside the whole run) that the columns index.
  std::vector<Column> columns(outW);
  std::vector<Tap> all;
  std::vector<Tap> partial;
  std::vector<Fragment> fragments;
  // The source columns of all whole runs.
  std::uint32_t runFirst = source.width;
  std::uint32_t runEnd = 0;
  for (std::uint32_t i = 0; i < outW; ++i) {
    Column& column = columns[i];
    const double x0 = rectX + rectW * i / outW;
    if (srcW <= x0) {
      column.outside = true;
      continue;
    }
    const double x1 = std::min(x0 + stepX, srcW);
    fragments.clear();
    if (x1 > x0) coverFragments(x0, x1, source.width, fragments);
    std::size_t first = 0;
    std::size_t last = 0;
    findWholeRun(fragments, column.wholeBegin, column.wholeEnd, first, last);
    column.allBegin = static_cast<std::uint32_t>(all.size());
    column.partialBegin = static_cast<std::uint32_t>(partial.size());
    for (std::size_t k = 0; k < fragments.size(); ++k) {
      all.push_back(packTap(fragments[k]));
      if (k < first || k > last) partial.push_back(packTap(fragments[k]));
    }
    column.allEnd = static_cast<std::uint32_t>(all.size());
    column.partialEnd = static_cast<std::uint32_t>(partial.size());
    if (column.allEnd == column.allBegin) column.outside = true;
    if (!column.outside && column.wholeEnd > column.wholeBegin) {
      runFirst = std::min(runFirst, column.wholeBegin);
      runEnd = std::max(runEnd, column.wholeEnd);
    }
  }

  std::vector<Tap> rows;
  ColumnSums columnSums;
  // The source columns any tap reads, for the converted rows.
  std::uint32_t tapFirst = source.width;
  std::uint32_t tapEnd = 0;
  for (const Tap& tap : all) {
    tapFirst = std::min({tapFirst, tap.own, tap.neighbour});
    tapEnd = std::max({tapEnd, tap.own + 1, tap.neighbour + 1});
  }
  // The converted rows of the portable form, set up when a row first needs them (with the AVX2
  // rows, never).
  RowCache cache;
  bool cachePrepared = false;
  std::unique_ptr<detail::QuadRowAverager> quad;
  if (tapFirst < tapEnd && detail::QuadRowAverager::available()) {
    quad =
        std::make_unique<detail::QuadRowAverager>(source, columns, all, partial, tapFirst, tapEnd);
  }
  for (std::uint32_t j = 0; j < outH; ++j) {
    Pixel* out = result->row(j);
    const double y0 = rectY + rectH * j / outH;
    if (srcH <= y0) {
      std::fill_n(out, outW, kTransparentBlack);
      continue;
    }
    const double y1 = std::min(srcH, y0 + stepY);
    fragments.clear();
    if (y1 > y0) coverFragments(y0, y1, source.height, fragments);
    if (fragments.empty()) {
      std::fill_n(out, outW, kTransparentBlack);
      continue;
    }
    rows.clear();
    std::uint32_t wholeRows = 0;
    for (const Fragment& f : fragments) {
      rows.push_back(packTap(f));
      if (f.whole) ++wholeRows;
    }
    // The pixels whole on both axes summed per source column first, in one pass over each whole
    // row, when the sums fit; each output pixel then adds the columns of its run.
    const ColumnSums* sums = nullptr;
    if (runFirst < runEnd && wholeRows > 0 && wholeRows <= ColumnSums::kMaxRows) {
      columnSums.reset(runFirst, runEnd);
      for (const Tap& fy : rows) {
        if (fy.whole) columnSums.addRow(source.row(fy.own));
      }
      sums = &columnSums;
    }
    if (quad && quad->averageRow(rows, sums, out)) continue;
    // The rows of the cut row fragments (the first and the last at most), converted once for all
    // the output pixels of the row.
    std::uint32_t needed[RowCache::kSlots];
    int neededCount = 0;
    for (const Tap& fy : rows) {
      if (fy.whole) continue;
      for (const std::uint32_t r : {fy.own, fy.neighbour}) {
        if (std::find(needed, needed + neededCount, r) != needed + neededCount) continue;
        if (neededCount < RowCache::kSlots) needed[neededCount++] = r;
      }
    }
    if (tapFirst < tapEnd) {
      if (!cachePrepared) cache.prepare(tapFirst, tapEnd - tapFirst);
      cachePrepared = true;
      cache.hold(source, needed, neededCount);
    }
    for (std::uint32_t i = 0; i < outW; ++i) {
      const Column& column = columns[i];
      out[i] = column.outside
                   ? kTransparentBlack
                   : boxAverage(source, column, all.data(), partial.data(), rows, sums, cache);
    }
  }
  return result;
}

bool resampleInPlace(Foto& image, std::uint32_t outW, std::uint32_t outH, double rectW,
                     double rectH, double rectX, double rectY) {
  if (!image.empty() && outW == image.width && outH == image.height && rectW == image.width &&
      rectH == image.height && rectX == 0 && rectY == 0) {
    return true;
  }
  auto result = resample(image, outW, outH, rectW, rectH, rectX, rectY);
  if (!result) return false;
  image.takeFrom(*result);
  return true;
}

bool fitWithin(Foto& image, std::uint32_t maxW, std::uint32_t maxH) {
  if (image.empty()) return false;
  std::uint32_t w = maxW;
  std::uint32_t h = maxH;
  if (!cropToAspect(w, h, image.width, image.height)) return false;
  return resampleInPlace(image, w, h, image.width, image.height, 0, 0);
}

bool cropToAspect(std::uint32_t& w, std::uint32_t& h, std::uint32_t aspectW,
                  std::uint32_t aspectH) {
  if (w == 0 || h == 0 || aspectW == 0 || aspectH == 0) return false;
  std::uint64_t newH = static_cast<std::uint64_t>(w) * aspectH / aspectW;
  newH = std::max<std::uint64_t>(newH, 1);
  std::uint64_t newW = w;
  if (h < newH) {
    newW = std::max<std::uint64_t>(static_cast<std::uint64_t>(h) * aspectW / aspectH, 1);
    newH = h;
  }
  // Neither side can grow: newW <= w and newH <= h, so both fit in 32 bits.
  w = static_cast<std::uint32_t>(newW);
  h = static_cast<std::uint32_t>(newH);
  return true;
}

bool cropToAspectRounded(std::uint32_t& w, std::uint32_t& h, double aspectW, double aspectH) {
  if (w == 0 || h == 0 || !(aspectW > 0) || !(aspectH > 0)) return false;
  const double boxW = w;
  const double boxH = h;
  double newH = std::trunc(aspectH * boxW / aspectW + 0.5);
  newH = std::max(newH, 1.0);
  double newW = boxW;
  if (boxH < newH) {
    newW = std::trunc(aspectW * boxH / aspectH + 0.5);
    if (newW == 0) newW = 1;
    newH = boxH;
  }
  // Rounding can exceed the box by at most half a pixel before truncation; keep inside it.
  w = static_cast<std::uint32_t>(std::min(newW, boxW));
  h = static_cast<std::uint32_t>(std::min(newH, boxH));
  return true;
}

void squareCrop(std::uint32_t& w, std::uint32_t& h) {
  const std::uint32_t side = std::min(w, h);
  w = side;
  h = side;
}

}  // namespace tg
