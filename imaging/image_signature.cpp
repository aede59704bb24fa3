// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/image_signature.h"

#include <cmath>
#include <cstdint>
#include <memory>

namespace tg {

namespace {

constexpr std::uint32_t kSide = ImageSignature::kThumbnailSide;

// Cells whose thumbnail has no pixel below this T show essentially nothing of the source.
constexpr std::uint32_t kVisibleT = 250;

}  // namespace

void recomputeAverages(ImageSignature& signature) {
  signature.opaque = 1;
  PixelAverage whole;
  for (std::size_t i = 0; i < kSide * kSide; ++i) {
    const Pixel p = signature.values[ImageSignature::kFirstThumbnail + i];
    if (pixelT(p) != 0) signature.opaque = 0;
    whole.add(p);
  }
  signature.values[ImageSignature::kAverageIndex] = whole.average();
  for (std::size_t by = 0; by < 4; ++by) {
    for (std::size_t bx = 0; bx < 4; ++bx) {
      PixelAverage block;
      for (std::size_t y = 3 * by; y < 3 * by + 3; ++y) {
        for (std::size_t x = 3 * bx; x < 3 * bx + 3; ++x) block.add(signature.thumbnail(x, y));
      }
      signature.values[ImageSignature::kFirstBlock + bx + 4 * by] = block.average();
    }
  }
}

bool buildSignature(const Foto& source, bool squareCrop, ImageSignature& target, double rectW,
                    double rectH, double rectX, double rectY) {
  target.valid = 0;
  if (source.empty()) return false;
  if (squareCrop && (rectW != 0 || rectH != 0 || rectX != 0 || rectY != 0)) return false;
  if (rectW == 0) rectW = source.width;
  if (rectH == 0) rectH = source.height;
  target.rotated = 0;

  std::unique_ptr<Foto> thumbnail;
  if (squareCrop) {
    // A tile contributes its centred square; the origin may fall on half a pixel.
    std::uint32_t w = static_cast<std::uint32_t>(std::trunc(rectW));
    std::uint32_t h = static_cast<std::uint32_t>(std::trunc(rectH));
    if (w == 0 || h == 0) return false;
    tg::squareCrop(w, h);
    const double side = w;
    const double x = rectX + (rectW - side) * 0.5;
    const double y = rectY + (rectH - side) * 0.5;
    thumbnail = resample(source, kSide, kSide, side, side, x, y);
    if (!thumbnail) return false;
  } else {
    // A cell keeps its whole rectangle, letter-boxed into the thumbnail.
    std::uint32_t w = kSide;
    std::uint32_t h = kSide;
    if (!cropToAspectRounded(w, h, rectW, rectH)) return false;
    auto fitted = resample(source, w, h, rectW, rectH, rectX, rectY);
    if (!fitted) return false;
    thumbnail = placeIn12x12(*fitted, (kSide - w) >> 1, (kSide - h) >> 1);
    if (!thumbnail) return false;
    bool visible = false;
    for (std::size_t i = 0; i < kSide * kSide && !visible; ++i) {
      visible = pixelT(thumbnail->pixels[i]) < kVisibleT;
    }
    if (!visible) return false;
  }

  for (std::size_t i = 0; i < kSide * kSide; ++i) {
    target.values[ImageSignature::kFirstThumbnail + i] = thumbnail->pixels[i];
  }
  recomputeAverages(target);
  target.valid = 1;
  return true;
}

void signatureToGrey(ImageSignature& signature) {
  for (std::size_t i = 0; i < kSide * kSide; ++i) {
    Pixel& p = signature.values[ImageSignature::kFirstThumbnail + i];
    const std::uint32_t g = greyValue(p);
    p = makePixel(g, g, g, pixelT(p));
  }
  recomputeAverages(signature);
}

std::unique_ptr<Foto> signatureThumbnail(const ImageSignature& signature) {
  auto image = std::make_unique<Foto>();
  if (!image->create(kSide, kSide)) return nullptr;
  for (std::size_t i = 0; i < kSide * kSide; ++i) {
    image->pixels[i] = signature.values[ImageSignature::kFirstThumbnail + i];
  }
  if (signature.rotated == 1 && !rotateInPlace(*image, 90)) return nullptr;
  return image;
}

}  // namespace tg
