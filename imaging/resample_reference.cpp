// SPDX-License-Identifier: GPL-3.0-or-later
// The straightforward form of the area resampling, one fragment and one tap at a time in doubles.
// `resample` must give the same pixels bit for bit; tests and benchmarks compare the two.
#include "imaging/resample_reference.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/resample_fragments.h"

namespace tg {

namespace {

using detail::coverFragments;
using detail::Fragment;

struct Accumulator {
  double r = 0;
  double g = 0;
  double b = 0;
  double o = 0;
  double w = 0;

  void addTap(Pixel p, double weight) {
    if (!(weight >= 0)) return;
    const double wo = weight * static_cast<double>(255u - pixelT(p));
    r += wo * pixelRed(p);
    g += wo * pixelGreen(p);
    b += wo * pixelBlue(p);
    o += wo;
    w += weight;
  }
};

// Sums of fractional weights carry rounding noise: a region of one colour can come out a hair
// below its value, and truncation would then turn 40 into 39. Values within this tolerance below
// an integer count as that integer.
constexpr double kTruncationTolerance = 1e-7;

Pixel averagePixel(const Accumulator& acc) {
  if (acc.w == 0 || acc.o <= 0) return kTransparentBlack;
  const auto channel = [](double v) {
    return static_cast<std::uint32_t>(std::clamp(v + kTruncationTolerance, 0.0, 255.0));
  };
  return makePixel(channel(acc.r / acc.o), channel(acc.g / acc.o), channel(acc.b / acc.o),
                   channel(255.0 - acc.o / acc.w));
}

// The fragments of one axis of an output pixel, with the run of whole fragments (coverage 1,
// sampled at the pixel's own centre) found once: those contribute the source pixel itself.
struct Cover {
  std::vector<Fragment> all;
  std::vector<Fragment> partial;  // the fragments outside the whole run
  std::uint32_t wholeBegin = 0;   // source index of the first whole fragment
  std::uint32_t wholeEnd = 0;     // one past the last (wholeBegin == wholeEnd: none)
};

void splitCover(Cover& cover) {
  cover.partial.clear();
  cover.wholeBegin = cover.wholeEnd = 0;
  std::size_t first = cover.all.size();
  std::size_t last = 0;
  for (std::size_t k = 0; k < cover.all.size(); ++k) {
    if (!cover.all[k].whole) continue;
    first = std::min(first, k);
    last = k;
  }
  bool contiguous = first < cover.all.size();
  for (std::size_t k = first; contiguous && k <= last; ++k) {
    contiguous = cover.all[k].whole && cover.all[k].own == cover.all[first].own + (k - first);
  }
  for (std::size_t k = 0; k < cover.all.size(); ++k) {
    if (!contiguous || k < first || k > last) cover.partial.push_back(cover.all[k]);
  }
  if (contiguous) {
    cover.wholeBegin = cover.all[first].own;
    cover.wholeEnd = cover.all[last].own + 1;
  }
}

// Adds one fragment's bilinear sample, rescaled to carry exactly the fragment's area as weight.
inline void addFragment(Accumulator& pixel, const Pixel* ownRow, const Pixel* neighbourRow,
                        const Fragment& fx, const Fragment& fy) {
  Accumulator sample;
  sample.addTap(ownRow[fx.own], fx.ownWeight * fy.ownWeight);
  sample.addTap(ownRow[fx.neighbour], fx.neighbourWeight * fy.ownWeight);
  sample.addTap(neighbourRow[fx.own], fx.ownWeight * fy.neighbourWeight);
  sample.addTap(neighbourRow[fx.neighbour], fx.neighbourWeight * fy.neighbourWeight);
  const double target = fx.coverage * fy.coverage;
  if (target <= 0 || sample.w <= 0) return;
  const double scale = target / sample.w;
  pixel.r += sample.r * scale;
  pixel.g += sample.g * scale;
  pixel.b += sample.b * scale;
  pixel.o += sample.o * scale;
  pixel.w += target;
}

// The area average of the source box whose fragments are `columns` x `rows`.
Pixel boxAverage(const Foto& source, const Cover& columns, const Cover& rows) {
  Accumulator pixel;
  // Fragments whole on both axes are the source pixels themselves with weight 1: their sums are
  // integers, kept exactly and added once at the end.
  std::uint64_t sumR = 0, sumG = 0, sumB = 0, sumO = 0, count = 0;
  const std::uint32_t wholeWidth = columns.wholeEnd - columns.wholeBegin;
  for (const Fragment& fy : rows.all) {
    const Pixel* ownRow = source.row(fy.own);
    const Pixel* neighbourRow = source.row(fy.neighbour);
    if (!fy.whole) {
      for (const Fragment& fx : columns.all) addFragment(pixel, ownRow, neighbourRow, fx, fy);
      continue;
    }
    for (const Fragment& fx : columns.partial) addFragment(pixel, ownRow, neighbourRow, fx, fy);
    const Pixel* __restrict run = ownRow + columns.wholeBegin;
    for (std::uint32_t k = 0; k < wholeWidth; ++k) {
      const Pixel p = run[k];
      const std::uint32_t o = 255u - pixelT(p);
      sumR += o * pixelRed(p);
      sumG += o * pixelGreen(p);
      sumB += o * pixelBlue(p);
      sumO += o;
    }
    count += wholeWidth;
  }
  pixel.r += static_cast<double>(sumR);
  pixel.g += static_cast<double>(sumG);
  pixel.b += static_cast<double>(sumB);
  pixel.o += static_cast<double>(sumO);
  pixel.w += static_cast<double>(count);
  return averagePixel(pixel);
}

}  // namespace

std::unique_ptr<Foto> resampleReference(const Foto& source, std::uint32_t outW, std::uint32_t outH,
                                        double rectW, double rectH, double rectX, double rectY) {
  if (source.empty() || outW == 0 || outH == 0) return nullptr;
  if (!(rectW > 0) || !(rectH > 0) || !(rectX >= 0) || !(rectY >= 0)) return nullptr;
  auto result = std::make_unique<Foto>();
  if (!result->create(outW, outH)) return nullptr;

  const double srcW = source.width;
  const double srcH = source.height;
  const double stepX = rectW / outW;
  const double stepY = rectH / outH;

  // The column fragments depend on the output column only: work them out once.
  std::vector<Cover> columns(outW);
  std::vector<bool> columnOutside(outW, false);
  for (std::uint32_t i = 0; i < outW; ++i) {
    const double x0 = rectX + rectW * i / outW;
    if (srcW <= x0) {
      columnOutside[i] = true;
      continue;
    }
    const double x1 = std::min(x0 + stepX, srcW);
    if (x1 > x0) coverFragments(x0, x1, source.width, columns[i].all);
    splitCover(columns[i]);
  }

  Cover rows;
  for (std::uint32_t j = 0; j < outH; ++j) {
    Pixel* out = result->row(j);
    const double y0 = rectY + rectH * j / outH;
    if (srcH <= y0) {
      std::fill_n(out, outW, kTransparentBlack);
      continue;
    }
    const double y1 = std::min(srcH, y0 + stepY);
    rows.all.clear();
    if (y1 > y0) coverFragments(y0, y1, source.height, rows.all);
    for (std::uint32_t i = 0; i < outW; ++i) {
      if (columnOutside[i] || rows.all.empty() || columns[i].all.empty()) {
        out[i] = kTransparentBlack;
      } else {
        out[i] = boxAverage(source, columns[i], rows);
      }
    }
  }
  return result;
}

}  // namespace tg
