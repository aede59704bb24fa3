// SPDX-License-Identifier: GPL-3.0-or-later
// The eight orientations of an image (the tile variants) and the operations built on them.
#include <algorithm>
#include <cstdint>
#include <memory>

#include "imaging/foto.h"

namespace tg {

namespace {

// Builds the variant into a new image; the variant is known to be 1-8 and the source non-empty.
std::unique_ptr<Foto> transformed(const Foto& source, int variant) {
  const std::uint32_t w = source.width;
  const std::uint32_t h = source.height;
  const bool swaps = variant >= kVariantRotated90;
  auto result = std::make_unique<Foto>();
  if (!result->create(swaps ? h : w, swaps ? w : h)) return nullptr;
  Foto& out = *result;
  for (std::uint32_t y = 0; y < h; ++y) {
    const Pixel* src = source.row(y);
    switch (variant) {
      case kVariantOriginal:
        std::copy_n(src, w, out.row(y));
        break;
      case kVariantMirror:
        std::reverse_copy(src, src + w, out.row(y));
        break;
      case kVariantFlip:
        std::copy_n(src, w, out.row(h - 1 - y));
        break;
      case kVariantRotated180:
        std::reverse_copy(src, src + w, out.row(h - 1 - y));
        break;
      case kVariantRotated90:  // (x, y) -> (h - 1 - y, x)
        for (std::uint32_t x = 0; x < w; ++x) out.at(h - 1 - y, x) = src[x];
        break;
      case kVariantRotated270:  // (x, y) -> (y, w - 1 - x)
        for (std::uint32_t x = 0; x < w; ++x) out.at(y, w - 1 - x) = src[x];
        break;
      case kVariantTransposed:  // (x, y) -> (y, x)
        for (std::uint32_t x = 0; x < w; ++x) out.at(y, x) = src[x];
        break;
      default:  // kVariantAntitransposed: (x, y) -> (h - 1 - y, w - 1 - x)
        for (std::uint32_t x = 0; x < w; ++x) out.at(h - 1 - y, w - 1 - x) = src[x];
        break;
    }
  }
  return result;
}

int variantForAngle(int degrees) {
  switch (degrees) {
    case 0:
      return kVariantOriginal;
    case 90:
      return kVariantRotated90;
    case 180:
    case -180:
      return kVariantRotated180;
    case 270:
    case -90:
      return kVariantRotated270;
    default:
      return 0;
  }
}

bool replaceBy(Foto& image, std::unique_ptr<Foto> result) {
  if (!result) return false;
  image.takeFrom(*result);
  return true;
}

}  // namespace

std::unique_ptr<Foto> applyVariant(const Foto& image, int variant) {
  if (image.empty() || variant < kVariantOriginal || variant > kVariantAntitransposed) {
    return nullptr;
  }
  return transformed(image, variant);
}

std::unique_ptr<Foto> mirror(const Foto& image) { return applyVariant(image, kVariantMirror); }

std::unique_ptr<Foto> flip(const Foto& image) { return applyVariant(image, kVariantFlip); }

std::unique_ptr<Foto> rotate(const Foto& image, int degrees) {
  const int variant = variantForAngle(degrees);
  return variant == 0 ? nullptr : applyVariant(image, variant);
}

bool applyVariantInPlace(Foto& image, int variant) {
  if (variant == kVariantOriginal) return true;
  if (variant < kVariantMirror || variant > kVariantAntitransposed) return false;
  return replaceBy(image, applyVariant(image, variant));
}

bool mirrorInPlace(Foto& image) { return replaceBy(image, mirror(image)); }

bool flipInPlace(Foto& image) { return replaceBy(image, flip(image)); }

bool rotateInPlace(Foto& image, int degrees) {
  const int variant = variantForAngle(degrees);
  if (variant == 0 || image.empty()) return false;
  if (variant == kVariantOriginal) return true;
  return replaceBy(image, applyVariant(image, variant));
}

}  // namespace tg
