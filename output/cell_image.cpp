// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/cell_image.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/comparison_settings.h"
#include "engine/tile_distance.h"
#include "platform/cpu_features.h"

namespace tg {

namespace {

struct CropPlan {
  int variant = 0;
  std::uint32_t cropW = 0;
  std::uint32_t cropH = 0;
  std::uint32_t offsetX = 0;
  std::uint32_t offsetY = 0;
  std::uint32_t scaledW = 0;
  std::uint32_t scaledH = 0;
};

bool planCrop(const Foto& tile, const ImageSignature& cellSignature,
              const ImageSignature& tileSignature, std::uint32_t width, std::uint32_t height,
              const ComparisonSettings& settings, CropPlan& plan) {
  if (tile.empty() || width == 0 || height == 0) return false;
  (void)bestVariant(settings, kNoMatch, cellSignature, tileSignature, &plan.variant);
  if (plan.variant < 1 || plan.variant > 8) return false;
  // The quarter turns swap the sides, so the crop takes the turned aspect.
  const bool quarterTurn = plan.variant >= kVariantRotated90;
  plan.scaledW = quarterTurn ? height : width;
  plan.scaledH = quarterTurn ? width : height;
  plan.cropW = tile.width;
  plan.cropH = tile.height;
  if (!cropToAspect(plan.cropW, plan.cropH, plan.scaledW, plan.scaledH)) return false;
  plan.offsetX = (tile.width - plan.cropW) >> 1;
  plan.offsetY = (tile.height - plan.cropH) >> 1;
  return true;
}

bool finishCell(Foto& image, const CropPlan& plan, const ImageSignature& cellSignature,
                const ImageSignature& tileSignature, CellRenderInfo* record,
                const ComparisonSettings& settings) {
  if (!applyVariantInPlace(image, plan.variant)) return false;
  ColourOffsets offsets;
  if (settings.shiftLimit > 0) {
    offsets = colourShift(settings, tileSignature, cellSignature);
    if (!shiftLevels(image, offsets.r, offsets.g, offsets.b)) return false;
  }
  if (settings.blendStrength > 0)
    blendTowardsThumbnail(image, cellSignature, settings.blendStrength);
  if (record != nullptr) {
    record->offsetRed = static_cast<std::int8_t>(offsets.r);
    record->offsetGreen = static_cast<std::int8_t>(offsets.g);
    record->offsetBlue = static_cast<std::int8_t>(offsets.b);
    record->variant = plan.variant;
    record->cellRotated = cellSignature.rotated;
    record->tileRotated = tileSignature.rotated;
  }
  return true;
}

}  // namespace

std::unique_ptr<Foto> prepareCellImage(const Foto& tile, const ImageSignature& cellSignature,
                                       const ImageSignature& tileSignature, CellRenderInfo* record,
                                       std::uint32_t width, std::uint32_t height,
                                       const ComparisonSettings& settings) {
  CropPlan plan;
  if (!planCrop(tile, cellSignature, tileSignature, width, height, settings, plan)) return nullptr;
  std::unique_ptr<Foto> image = resample(tile, plan.scaledW, plan.scaledH, plan.cropW, plan.cropH,
                                         plan.offsetX, plan.offsetY);
  if (!image) return nullptr;
  if (!finishCell(*image, plan, cellSignature, tileSignature, record, settings)) return nullptr;
  return image;
}

bool prepareCellImageInPlace(Foto& image, const ImageSignature& cellSignature,
                             const ImageSignature& tileSignature, CellRenderInfo* record,
                             std::uint32_t width, std::uint32_t height,
                             const ComparisonSettings& settings) {
  CropPlan plan;
  if (!planCrop(image, cellSignature, tileSignature, width, height, settings, plan)) return false;
  if (!resampleInPlace(image, plan.scaledW, plan.scaledH, plan.cropW, plan.cropH, plan.offsetX,
                       plan.offsetY)) {
    return false;
  }
  return finishCell(image, plan, cellSignature, tileSignature, record, settings);
}

namespace {

using Quad = double __attribute__((vector_size(32)));

// Where the blend samples the thumbnail: the crop of the 12 x 12 grid and the step per pixel.
struct BlendGrid {
  std::uint32_t thumbX = 0;
  std::uint32_t thumbY = 0;
  std::uint32_t cw = 0;
  std::uint32_t ch = 0;
  double scaleX = 0;
  double scaleY = 0;
  long strength = 0;
};

struct BlendColumn {
  std::uint32_t ix;
  double fx;
  double gx;  // 1 - fx
};

// The blend of every pixel with the thumbnail's (R, G, B, opacity) sums in one vector of four
// doubles: each lane takes the multiplications and additions of the plain form, in its order, so
// the sums are the same bit for bit. Built for AVX2 and for the baseline (`blendRows` picks one
// at run time; no ifunc, whose resolver runs before a sanitizer's runtime is set up).
__attribute__((always_inline)) inline void blendRowsBody(Foto& image, const Quad (*taps)[12],
                                                         const BlendColumn* columns,
                                                         const BlendGrid& grid) {
  for (std::uint32_t y = 0; y < image.height; ++y) {
    const double v = y * grid.scaleY;
    const auto iy = static_cast<std::uint32_t>(v);
    const double fy = iy == grid.ch - 1 ? 0.0 : v - iy;
    const double gy = 1 - fy;
    const Quad* above = taps[grid.thumbY + iy] + grid.thumbX;
    const Quad* below = fy > 0 ? taps[grid.thumbY + iy + 1] + grid.thumbX : above;
    Pixel* row = image.row(y);
    for (std::uint32_t x = 0; x < image.width; ++x) {
      const BlendColumn& c = columns[x];
      Quad sum = (c.gx * gy) * above[c.ix];
      if (c.fx > 0) sum += (c.fx * gy) * above[c.ix + 1];
      if (fy > 0) sum += (c.gx * fy) * below[c.ix];
      if (c.fx > 0 && fy > 0) sum += (c.fx * fy) * below[c.ix + 1];
      // 255 + trunc(S_A - 255) rounds S_A up for S_A <= 255 (the cast truncates).
      const long opacity = 255 + static_cast<long>(sum[3] - 255.0);
      const long w = (opacity * grid.strength) / 255;
      if (w <= 0) continue;
      const Pixel target = makePixel(static_cast<std::uint32_t>(sum[0] / 255),
                                     static_cast<std::uint32_t>(sum[1] / 255),
                                     static_cast<std::uint32_t>(sum[2] / 255));
      row[x] = blendPixel(row[x], target, static_cast<unsigned>(w));
    }
  }
}

__attribute__((target("avx2"))) void blendRowsAvx2(Foto& image, const Quad (*taps)[12],
                                                   const BlendColumn* columns,
                                                   const BlendGrid& grid) {
  blendRowsBody(image, taps, columns, grid);
}

void blendRowsBaseline(Foto& image, const Quad (*taps)[12], const BlendColumn* columns,
                       const BlendGrid& grid) {
  blendRowsBody(image, taps, columns, grid);
}

void blendRows(Foto& image, const Quad (*taps)[12], const BlendColumn* columns,
               const BlendGrid& grid) {
  if (cpuHasAvx2()) {
    blendRowsAvx2(image, taps, columns, grid);
  } else {
    blendRowsBaseline(image, taps, columns, grid);
  }
}

}  // namespace

void blendTowardsThumbnail(Foto& image, const ImageSignature& cellSignature,
                           std::uint32_t strength) {
  const std::uint32_t k = std::min(strength, 255u);
  if (image.empty() || k == 0) return;
  std::unique_ptr<Foto> thumbnail = signatureThumbnail(cellSignature);
  if (!thumbnail) return;
  BlendGrid grid;
  grid.cw = 12;
  grid.ch = 12;
  if (!cropToAspect(grid.cw, grid.ch, image.width, image.height)) return;
  if (image.width < grid.cw || image.height < grid.ch) return;
  grid.thumbX = (12 - grid.cw) >> 1;
  grid.thumbY = (12 - grid.ch) >> 1;
  grid.scaleY = static_cast<double>(grid.ch) / image.height;
  grid.scaleX = static_cast<double>(grid.cw) / image.width;
  grid.strength = static_cast<long>(k);

  // The thumbnail as opacity-weighted channels, and each column's taps, worked out once.
  alignas(32) Quad taps[12][12];
  for (std::uint32_t ty = 0; ty < 12; ++ty) {
    for (std::uint32_t tx = 0; tx < 12; ++tx) {
      const Pixel p = thumbnail->at(tx, ty);
      const double opacity = 255.0 - pixelT(p);
      taps[ty][tx] =
          Quad{opacity * pixelRed(p), opacity * pixelGreen(p), opacity * pixelBlue(p), opacity};
    }
  }
  std::vector<BlendColumn> columns(image.width);
  for (std::uint32_t x = 0; x < image.width; ++x) {
    const double u = x * grid.scaleX;
    const auto ix = static_cast<std::uint32_t>(u);
    const double fx = ix == grid.cw - 1 ? 0.0 : u - ix;
    columns[x] = {ix, fx, 1 - fx};
  }
  blendRows(image, taps, columns.data(), grid);
}

void blendTowardsThumbnailReference(Foto& image, const ImageSignature& cellSignature,
                                    std::uint32_t strength) {
  const std::uint32_t k = std::min(strength, 255u);
  if (image.empty() || k == 0) return;
  std::unique_ptr<Foto> thumbnail = signatureThumbnail(cellSignature);
  if (!thumbnail) return;
  std::uint32_t cw = 12;
  std::uint32_t ch = 12;
  if (!cropToAspect(cw, ch, image.width, image.height)) return;
  if (image.width < cw || image.height < ch) return;
  const std::uint32_t thumbX = (12 - cw) >> 1;
  const std::uint32_t thumbY = (12 - ch) >> 1;
  const double scaleY = static_cast<double>(ch) / image.height;
  const double scaleX = static_cast<double>(cw) / image.width;

  // The thumbnail as opacity-weighted channels, and each column's taps, worked out once.
  struct Weighted {
    double r, g, b, a;
  };
  Weighted taps[12][12];
  for (std::uint32_t ty = 0; ty < 12; ++ty) {
    for (std::uint32_t tx = 0; tx < 12; ++tx) {
      const Pixel p = thumbnail->at(tx, ty);
      const double opacity = 255.0 - pixelT(p);
      taps[ty][tx] = {opacity * pixelRed(p), opacity * pixelGreen(p), opacity * pixelBlue(p),
                      opacity};
    }
  }
  struct Column {
    std::uint32_t ix;
    double fx;
  };
  std::vector<Column> columns(image.width);
  for (std::uint32_t x = 0; x < image.width; ++x) {
    const double u = x * scaleX;
    const auto ix = static_cast<std::uint32_t>(u);
    columns[x] = {ix, ix == cw - 1 ? 0.0 : u - ix};
  }

  for (std::uint32_t y = 0; y < image.height; ++y) {
    const double v = y * scaleY;
    const auto iy = static_cast<std::uint32_t>(v);
    const double fy = iy == ch - 1 ? 0.0 : v - iy;
    const Weighted* above = taps[thumbY + iy] + thumbX;
    const Weighted* below = fy > 0 ? taps[thumbY + iy + 1] + thumbX : above;
    Pixel* row = image.row(y);
    for (std::uint32_t x = 0; x < image.width; ++x) {
      const auto [ix, fx] = columns[x];
      double sumR = 0;
      double sumG = 0;
      double sumB = 0;
      double sumA = 0;
      auto tap = [&](const Weighted& t, double weight) {
        sumR += weight * t.r;
        sumG += weight * t.g;
        sumB += weight * t.b;
        sumA += weight * t.a;
      };
      tap(above[ix], (1 - fx) * (1 - fy));
      if (fx > 0) tap(above[ix + 1], fx * (1 - fy));
      if (fy > 0) tap(below[ix], (1 - fx) * fy);
      if (fx > 0 && fy > 0) tap(below[ix + 1], fx * fy);
      // 255 + trunc(S_A - 255) rounds S_A up for S_A <= 255.
      const long opacity = 255 + static_cast<long>(std::trunc(sumA - 255.0));
      const long w = (opacity * static_cast<long>(k)) / 255;
      if (w <= 0) continue;
      const Pixel target =
          makePixel(static_cast<std::uint32_t>(sumR / 255), static_cast<std::uint32_t>(sumG / 255),
                    static_cast<std::uint32_t>(sumB / 255));
      row[x] = blendPixel(row[x], target, static_cast<unsigned>(w));
    }
  }
}

}  // namespace tg
