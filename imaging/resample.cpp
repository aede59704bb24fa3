// SPDX-License-Identifier: GPL-3.0-or-later
// Area-weighted resampling of a rectangle to any output size, and the aspect-ratio crops.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/foto.h"
#include "imaging/resample_fragments.h"

namespace tg {

namespace {

using detail::coverFragments;
using detail::Fragment;

// Two doubles side by side. Each lane goes through exactly the IEEE multiplications and additions
// of the one-channel-at-a-time form, in the same order, so the sums come out bit for bit the same;
// the pair only halves the instruction count. Channels travel as (red, green) and (blue, opacity).
using Pair = double __attribute__((vector_size(16)));

// One fragment of an axis, packed for the inner loop. `hasNeighbour` is false when the neighbour
// weight is exactly 0: its taps then have weight 0 and add exact zeros, so they can be left out.
struct Tap {
  double coverage;
  double ownWeight;
  double neighbourWeight;
  std::uint32_t own;
  std::uint32_t neighbour;
  bool hasNeighbour;
  bool whole;
};

Tap packTap(const Fragment& f) {
  return Tap{f.coverage, f.ownWeight, f.neighbourWeight, f.own, f.neighbour, f.neighbourWeight != 0,
             f.whole};
}

// An output column: its fragments, and the part outside its run of whole fragments, as spans of
// the shared tap tables; the run itself as a range of source columns.
struct Column {
  std::uint32_t allBegin = 0;
  std::uint32_t allEnd = 0;
  std::uint32_t partialBegin = 0;
  std::uint32_t partialEnd = 0;
  std::uint32_t wholeBegin = 0;
  std::uint32_t wholeEnd = 0;
  bool outside = false;
};

// The pixel accumulator: (r, g), (b, o) and the weight.
struct Sums {
  Pair rg = {0, 0};
  Pair bo = {0, 0};
  double w = 0;
};

// Adds the tap of pixel `p` with `weight` (> 0 or an exact 0 left out by the caller).
inline void addTap(Pair& rg, Pair& bo, Pixel p, double weight) {
  const double wo = weight * static_cast<double>(255u - pixelT(p));
  const Pair colourRG = {static_cast<double>(pixelRed(p)), static_cast<double>(pixelGreen(p))};
  // Opacity as a channel of value 1: wo * 1 is wo exactly.
  const Pair colourBO = {static_cast<double>(pixelBlue(p)), 1.0};
  rg += wo * colourRG;
  bo += wo * colourBO;
}

// One fragment's bilinear sample, rescaled to carry the fragment's area as weight. Weights that
// are exact zeros are skipped: their taps would add +0 to non-negative sums, which changes nothing.
inline void addFragment(Sums& pixel, const Pixel* __restrict ownRow,
                        const Pixel* __restrict neighbourRow, const Tap& fx, const Tap& fy) {
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
  addTap(rg, bo, ownRow[fx.own], w1);
  if (fx.hasNeighbour) addTap(rg, bo, ownRow[fx.neighbour], w2);
  if (fy.hasNeighbour) {
    addTap(rg, bo, neighbourRow[fx.own], w3);
    if (fx.hasNeighbour) addTap(rg, bo, neighbourRow[fx.neighbour], w4);
  }
  const double scale = target / weight;
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
  return makePixel(channel(acc.rg[0] / o), channel(acc.rg[1] / o), channel(acc.bo[0] / o),
                   channel(255.0 - o / acc.w));
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
// in `all` and `partial`.
Pixel boxAverage(const Foto& source, const Column& column, const Tap* __restrict all,
                 const Tap* __restrict partial, const std::vector<Tap>& rows) {
  Sums pixel;
  // Fragments whole on both axes are the source pixels themselves with weight 1: their sums are
  // integers, kept exactly and added once at the end.
  std::uint64_t sumR = 0, sumG = 0, sumB = 0, sumO = 0, count = 0;
  const std::uint32_t wholeWidth = column.wholeEnd - column.wholeBegin;
  for (const Tap& fy : rows) {
    const Pixel* ownRow = source.row(fy.own);
    const Pixel* neighbourRow = source.row(fy.neighbour);
    if (!fy.whole) {
      for (std::uint32_t k = column.allBegin; k < column.allEnd; ++k)
        addFragment(pixel, ownRow, neighbourRow, all[k], fy);
      continue;
    }
    for (std::uint32_t k = column.partialBegin; k < column.partialEnd; ++k)
      addFragment(pixel, ownRow, neighbourRow, partial[k], fy);
    const Pixel* __restrict run = ownRow + column.wholeBegin;
    std::uint64_t r = 0, g = 0, b = 0, o = 0;
    for (std::uint32_t k = 0; k < wholeWidth; ++k) {
      const Pixel p = run[k];
      const std::uint32_t opacity = 255u - pixelT(p);
      r += opacity * pixelRed(p);
      g += opacity * pixelGreen(p);
      b += opacity * pixelBlue(p);
      o += opacity;
    }
    sumR += r;
    sumG += g;
    sumB += b;
    sumO += o;
    count += wholeWidth;
  }
  pixel.rg += Pair{static_cast<double>(sumR), static_cast<double>(sumG)};
  pixel.bo += Pair{static_cast<double>(sumB), static_cast<double>(sumO)};
  pixel.w += static_cast<double>(count);
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
  }

  std::vector<Tap> rows;
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
    for (const Fragment& f : fragments) rows.push_back(packTap(f));
    for (std::uint32_t i = 0; i < outW; ++i) {
      const Column& column = columns[i];
      out[i] = column.outside ? kTransparentBlack
                              : boxAverage(source, column, all.data(), partial.data(), rows);
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
