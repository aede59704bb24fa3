// SPDX-License-Identifier: GPL-3.0-or-later
// Compositing, colour operations and the conversions between masks and transparency.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>

#include "imaging/foto.h"

namespace tg {

namespace {

// Limits a channel value in -512..512 to 0..255.
constexpr std::array<std::uint8_t, 1025> kClamp = [] {
  std::array<std::uint8_t, 1025> table{};
  for (int i = 0; i < 1025; ++i) table[i] = static_cast<std::uint8_t>(std::clamp(i - 512, 0, 255));
  return table;
}();

inline Pixel blendPair(Pixel src, Pixel dst) {
  if (pixelT(src) == 255) return dst;
  if (pixelT(dst) == 255) return src;
  return makePixel((pixelRed(src) + pixelRed(dst)) / 2, (pixelGreen(src) + pixelGreen(dst)) / 2,
                   (pixelBlue(src) + pixelBlue(dst)) / 2, pixelT(src));
}

}  // namespace

bool paste(const Foto& source, Foto& target, std::int64_t x, std::int64_t y, unsigned mode) {
  if (source.empty() || target.empty()) return false;
  const std::int64_t srcW = source.width;
  const std::int64_t srcH = source.height;
  const std::int64_t dstW = target.width;
  const std::int64_t dstH = target.height;
  if (x + srcW <= 0 || x >= dstW || y + srcH <= 0 || y >= dstH) return false;

  const std::int64_t sx = std::max<std::int64_t>(0, -x);
  const std::int64_t sy = std::max<std::int64_t>(0, -y);
  const std::int64_t tx = std::max<std::int64_t>(0, x);
  const std::int64_t ty = std::max<std::int64_t>(0, y);
  const auto cols = static_cast<std::size_t>(std::min(srcW - sx, dstW - tx));
  const std::int64_t rows = std::min(srcH - sy, dstH - ty);

  for (std::int64_t r = 0; r < rows; ++r) {
    const Pixel* __restrict src = source.row(static_cast<std::uint32_t>(sy + r)) + sx;
    Pixel* __restrict dst = target.row(static_cast<std::uint32_t>(ty + r)) + tx;
    if ((mode & kPasteCopy) != 0) {
      std::memcpy(dst, src, cols * sizeof(Pixel));
    } else if ((mode & kPasteKeyed) != 0) {
      for (std::size_t i = 0; i < cols; ++i) {
        if (pixelT(src[i]) < 250) dst[i] = src[i];
      }
    } else {
      for (std::size_t i = 0; i < cols; ++i) dst[i] = blendPair(src[i], dst[i]);
    }
  }
  return true;
}

std::unique_ptr<Foto> placeIn12x12(const Foto& image, std::int64_t x, std::int64_t y) {
  if (image.empty() || x < 0 || y < 0 || x + image.width > 12 || y + image.height > 12) {
    return nullptr;
  }
  auto canvas = std::make_unique<Foto>();
  if (!canvas->create(12, 12)) return nullptr;
  canvas->fill(kTransparentBlack);
  if (!paste(image, *canvas, x, y, kPasteBlend)) return nullptr;
  return canvas;
}

std::uint32_t greyValue(Pixel pixel) {
  const std::uint32_t l = 30u * pixelRed(pixel) + 59u * pixelGreen(pixel) + 11u * pixelBlue(pixel);
  return l / 100u + (l % 100u >= 50u ? 1u : 0u);
}

bool toGrey(Foto& image) {
  if (image.empty()) return false;
  Pixel* p = image.pixels;
  const std::size_t count = image.pixelCount();
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t g = greyValue(p[i]);
    p[i] = makePixel(g, g, g, pixelT(p[i]));
  }
  return true;
}

bool shiftLevels(Foto& image, int dR, int dG, int dB) {
  if (image.empty()) return false;
  if (dR == 0 && dG == 0 && dB == 0) return true;
  // Beyond +-255 every channel saturates anyway, so the offsets can be limited without changing
  // any result; that keeps every sum inside the table.
  const int offR = std::clamp(dR, -255, 255) + 512;
  const int offG = std::clamp(dG, -255, 255) + 512;
  const int offB = std::clamp(dB, -255, 255) + 512;
  Pixel* p = image.pixels;
  const std::size_t count = image.pixelCount();
  for (std::size_t i = 0; i < count; ++i) {
    const Pixel v = p[i];
    p[i] = makePixel(kClamp[pixelRed(v) + offR], kClamp[pixelGreen(v) + offG],
                     kClamp[pixelBlue(v) + offB], pixelT(v));
  }
  return true;
}

std::uint32_t colourDistance(Pixel a, Pixel b) {
  const int dr = static_cast<int>(pixelRed(a)) - static_cast<int>(pixelRed(b));
  const int dg = static_cast<int>(pixelGreen(a)) - static_cast<int>(pixelGreen(b));
  const int db = static_cast<int>(pixelBlue(a)) - static_cast<int>(pixelBlue(b));
  return static_cast<std::uint32_t>(dr * dr + dg * dg + db * db);
}

Pixel PixelAverage::average() const {
  const std::uint64_t w = m_sumW == 0 ? 1 : m_sumW;
  const std::uint64_t n = m_count == 0 ? 1 : m_count;
  if (m_count == 0) return kTransparentBlack;
  return makePixel(static_cast<std::uint32_t>(m_sumR / w), static_cast<std::uint32_t>(m_sumG / w),
                   static_cast<std::uint32_t>(m_sumB / w), static_cast<std::uint32_t>(m_sumT / n));
}

bool applyMask(Foto& image, const FotoMask& mask) {
  if (image.empty()) return false;
  if (mask.width < 0 || mask.height < 0 || static_cast<std::uint32_t>(mask.width) != image.width ||
      static_cast<std::uint32_t>(mask.height) != image.height) {
    return false;
  }
  const std::size_t count = image.pixelCount();
  Pixel* p = image.pixels;
  for (std::size_t i = 0; i < count; ++i) {
    const bool member =
        mask.area != 0 && (!mask.hasBitmap() || mask.bit(static_cast<std::uint32_t>(i)));
    p[i] = (p[i] & 0x00FFFFFFu) | (member ? 0u : 0xFF000000u);
  }
  return true;
}

std::unique_ptr<Foto> toFoto(const FotoMask& mask, Pixel colour) {
  if (mask.area == 0 || mask.width <= 0 || mask.height <= 0) return nullptr;
  auto image = std::make_unique<Foto>();
  if (!image->create(static_cast<std::uint32_t>(mask.width),
                     static_cast<std::uint32_t>(mask.height))) {
    return nullptr;
  }
  if (!mask.hasBitmap()) {
    image->fill(colour);
    return image;
  }
  const std::size_t count = image->pixelCount();
  for (std::size_t i = 0; i < count; ++i) {
    image->pixels[i] = mask.bit(static_cast<std::uint32_t>(i)) ? colour : kTransparentBlack;
  }
  return image;
}

bool includePoint(FotoMask& mask, std::int32_t y, std::int32_t x) {
  if (mask.area == 0) return false;
  const std::int64_t left = std::min<std::int64_t>(mask.left, x);
  const std::int64_t top = std::min<std::int64_t>(mask.top, y);
  const std::int64_t right = std::max<std::int64_t>(std::int64_t{mask.left} + mask.width, x + 1LL);
  const std::int64_t bottom = std::max<std::int64_t>(std::int64_t{mask.top} + mask.height, y + 1LL);
  mask.dropBitmap();
  mask.setBox(static_cast<std::int32_t>(top), static_cast<std::int32_t>(left),
              static_cast<std::int32_t>(right - left), static_cast<std::int32_t>(bottom - top));
  return true;
}

bool extractRect(FotoMask& target, const FotoMask& source, std::uint32_t gap, std::uint32_t w,
                 std::uint32_t h, std::uint32_t firstBit) {
  const std::uint64_t stride = std::uint64_t{w} + gap;
  const std::uint64_t needed = std::uint64_t{h} * stride + firstBit;
  const std::uint64_t count = std::uint64_t{w} * h;
  // The source must hold every bit read: the last row needs only w of its w + gap bits.
  if (!source.hasBitmap() || w == 0 || h == 0 || needed < gap || needed - gap > source.bitCount ||
      count > UINT32_MAX || !target.allocateBitmap(static_cast<std::uint32_t>(count))) {
    target.dropBitmap();
    return false;
  }
  for (std::uint32_t y = 0; y < h; ++y) {
    const std::uint64_t rowStart = firstBit + y * stride;
    for (std::uint32_t x = 0; x < w; ++x) {
      target.setBit(x + y * w, source.bit(static_cast<std::uint32_t>(rowStart + x)));
    }
  }
  return true;
}

}  // namespace tg
