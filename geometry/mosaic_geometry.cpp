// SPDX-License-Identifier: GPL-3.0-or-later
#include "geometry/mosaic_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <utility>

#include "geometry/units/quantity.h"
#include "job/mosaic_settings.h"
#include "platform/catalogue.h"

namespace tg {

namespace {

constexpr std::uint64_t kMaxU32 = std::numeric_limits<std::uint32_t>::max();

/// The value truncated toward zero, saturated to the unsigned 32-bit range (NaN and negative
/// values give 0), so a huge typed size cannot wrap round to a small one.
std::uint32_t truncToU32(double value) {
  if (!(value > 0)) return 0;
  if (value >= static_cast<double>(kMaxU32)) return static_cast<std::uint32_t>(kMaxU32);
  return static_cast<std::uint32_t>(value);
}

/// The value truncated toward zero, saturated to the signed 64-bit range (NaN gives 0).
std::int64_t truncToI64(double value) {
  if (std::isnan(value)) return 0;
  constexpr double kLimit = 9.2e18;  // just below 2^63, exactly representable
  if (value >= kLimit) return static_cast<std::int64_t>(kLimit);
  if (value <= -kLimit) return -static_cast<std::int64_t>(kLimit);
  return static_cast<std::int64_t>(value);
}

std::uint32_t saturateU32(std::uint64_t value) {
  return static_cast<std::uint32_t>(std::min(value, kMaxU32));
}

/// A box side in pixels; the settings' side is converted with the tile side of its axis.
std::int64_t boxSide(const SizeValue& size, double side, std::uint32_t tileSide,
                     std::uint32_t resolution) {
  const std::optional<double> pixels =
      convertUnits(size.unit, UnitId::Pixel, tileSide, resolution, side);
  return pixels ? truncToI64(*pixels) : 0;
}

/// A converted box side as the unsigned 32-bit box field; a negative side is no size.
std::uint32_t boxField(std::int64_t side) {
  return side <= 0 ? 0 : saturateU32(static_cast<std::uint64_t>(side));
}

bool isVideoFormat(long format) {
  return format == kFormatAviUncompressed || format == kFormatAviCompressed ||
         format == kFormatVideoJpeg;
}

std::uint64_t ceilDiv(std::uint64_t a, std::uint64_t b) { return (a + b - 1) / b; }

}  // namespace

bool fitToAspect(std::uint32_t& width, std::uint32_t& height, std::uint32_t imageWidth,
                 std::uint32_t imageHeight) {
  if (width == 0 || height == 0 || imageWidth == 0 || imageHeight == 0) return false;
  // 32 x 32 bits always fit in 64; the results are never larger than the box sides.
  const std::uint64_t h =
      std::max<std::uint64_t>(1, std::uint64_t{width} * imageHeight / imageWidth);
  if (h > height) {
    width = static_cast<std::uint32_t>(
        std::max<std::uint64_t>(1, std::uint64_t{height} * imageWidth / imageHeight));
  } else {
    height = static_cast<std::uint32_t>(h);
  }
  return true;
}

bool computeMosaicGeometry(const MosaicSettings& settings, std::uint32_t imageWidth,
                           std::uint32_t imageHeight, MosaicGeometry& g) {
  g = MosaicGeometry{};

  // 1. The main image and the split percentages.
  g.imageWidth = imageWidth;
  g.imageHeight = imageHeight;
  g.multiSize2 = static_cast<std::uint32_t>(std::max(0L, settings.multiSize2.value));
  g.multiSize4 = static_cast<std::uint32_t>(std::max(0L, settings.multiSize4.value));

  // 2. Resolution in PPI.
  const Quantity& resolution = settings.resolution.value;
  if (resolutionConstraint().admits(resolution)) {
    if (const auto ppi = convertUnits(resolution.unit, UnitId::Ppi, 0, 0, resolution.value)) {
      g.ppi = *ppi;
    }
  }
  g.pixelsPerCm = g.ppi / 2.54;
  const std::uint32_t r = truncToU32(g.ppi);

  // 3. Tile size given as a length or a pixel count. Tile counts do not convert here.
  const Quantity& tile = settings.tileSize.value;
  const bool tileValid = tileSizeConstraint().admits(tile);
  if (tileValid) {
    if (const auto pixels = convertUnits(tile.unit, UnitId::Pixel, 0, r, tile.value)) {
      g.tileWidth = truncToU32(*pixels);
      g.tileHeight = g.tileWidth * 12u / 12u;
    }
  }

  // 4. The box of the settings in pixels.
  const SizeValue& size = settings.mosaicSize.value;
  std::int64_t convertedWidth = 0;
  std::int64_t convertedHeight = 0;
  if (size.width > 0 && size.height > 0) {
    convertedWidth = boxSide(size, size.width, g.tileWidth, r);
    convertedHeight = boxSide(size, size.height, g.tileHeight, r);
  }

  // 5. A single large value is an area: the box of that many pixels with the image's aspect.
  if (convertedWidth >= 3000000 && convertedWidth == convertedHeight) {
    const std::uint64_t rw = imageWidth != 0 ? imageWidth : 4;
    const std::uint64_t rh = imageHeight != 0 ? imageHeight : 3;
    // The product may pass 64 bits for absurd areas; 128-bit keeps it exact.
    const auto ratio =
        static_cast<unsigned __int128>(static_cast<std::uint64_t>(convertedWidth)) * rw / rh;
    const auto root = static_cast<std::uint64_t>(std::sqrt(static_cast<double>(ratio)));
    const std::uint32_t boxW = saturateU32(root);
    g.boxWidth = boxW;
    g.boxHeight = saturateU32(std::uint64_t{boxW} * rh / rw);
  } else {
    g.boxWidth = boxField(convertedWidth);
    g.boxHeight = boxField(convertedHeight);
  }

  // 6. The largest rectangle of the image's aspect and orientation inside the box.
  if (g.boxWidth > 1 && g.boxHeight > 1 && imageWidth != 0 && imageHeight != 0) {
    std::uint32_t w = g.boxWidth;
    std::uint32_t h = g.boxHeight;
    if ((g.boxHeight < g.boxWidth) != (imageHeight < imageWidth)) std::swap(w, h);
    (void)fitToAspect(w, h, imageWidth, imageHeight);
    g.mosaicWidth = w;
    g.mosaicHeight = h;
  }

  // 7. Tile size from a tile count or a count of tiles per row.
  if (tileValid && g.tileWidth == 0 && tile.value > 0) {
    if (tile.unit == UnitId::Tiles) {
      g.tileSizeFromCount = true;
      g.tileCount = truncToU32(tile.value);
      if (g.tileCount >= 1) {
        const std::uint64_t area = std::uint64_t{g.mosaicWidth} * g.mosaicHeight / g.tileCount;
        const auto side = static_cast<std::uint64_t>(std::sqrt(static_cast<double>(area)));
        if (side > 0) g.tileWidth = saturateU32(side);
      }
    } else if (tile.unit == UnitId::TilesPerRow) {
      g.tileSizeFromCount = true;
      const std::uint32_t n = truncToU32(tile.value);
      if (n >= 1) {
        g.columns = n;
        g.tileWidth = g.mosaicWidth / n;
      }
    }
  }

  // 8. Size codes: a box of k x k pixels with k in 1..8 ("MaskFile" is 1).
  if (g.boxWidth == g.boxHeight && g.boxWidth >= 1 && g.boxWidth <= 8) g.sizeCode = g.boxWidth;

  // 9. Tiles are square.
  g.tileHeight = g.tileWidth * 12u / 12u;

  // 10. Border; an invalid one counts as none.
  const Quantity& border = settings.borderSize.value;
  if (borderSizeConstraint().admits(border)) {
    if (const auto pixels =
            convertUnits(border.unit, UnitId::Pixel, g.tileWidth, r, border.value)) {
      g.border = truncToU32(*pixels);
    }
  }

  // 11. A tile size derived from a count includes its share of the border.
  if (g.tileSizeFromCount) {
    g.tileWidth = g.tileWidth > g.border ? g.tileWidth - g.border : 0;
    g.tileHeight = g.tileHeight > g.border ? g.tileHeight - g.border : 0;
  }

  // 12. Columns and rows; "Adapt Mosaic" shrinks the mosaic to whole tiles.
  const std::uint64_t stepX = std::uint64_t{g.tileWidth} + g.border;
  const std::uint64_t stepY = std::uint64_t{g.tileHeight} + g.border;
  if (settings.tileAdapt.value == 2 && g.tileWidth > 0 && g.tileHeight > 0) {
    const std::uint64_t columns = std::max<std::uint64_t>(1, g.mosaicWidth / stepX);
    const std::uint64_t rows = std::max<std::uint64_t>(1, g.mosaicHeight / stepY);
    g.columns = saturateU32(columns);
    g.rows = saturateU32(rows);
    g.mosaicWidth = saturateU32(columns * stepX - g.border);
    g.mosaicHeight = saturateU32(rows * stepY - g.border);
  } else {
    if (g.tileWidth > 0) g.columns = saturateU32(ceilDiv(g.mosaicWidth, stepX));
    if (g.tileHeight > 0) g.rows = saturateU32(ceilDiv(g.mosaicHeight, stepY));
  }

  // 13. Video frames need widths in multiples of 8 and heights in multiples of 4.
  if (isVideoFormat(settings.fileFormat.value)) {
    g.mosaicWidth &= ~7u;
    g.mosaicHeight &= ~3u;
  }

  // 14. Counts.
  g.pixelCount = std::uint64_t{g.mosaicWidth} * g.mosaicHeight;
  g.tilePixelCount = std::uint64_t{g.tileWidth} * g.tileHeight;
  g.tileCount = saturateU32(std::uint64_t{g.columns} * g.rows);
  g.builtCellCount = 0;

  // 15. Validation.
  if (g.imageWidth == 0 || g.imageHeight == 0) {
    g.message = tr("Please add an Image using the + button");
  } else if (!(g.tileWidth > 0 && g.tileHeight > 0 && g.mosaicWidth > 0 && g.mosaicHeight > 0) &&
             g.sizeCode == 0) {
    g.message = tr("Please specify all the parameters");
  }
  return g.message.empty();
}

std::uint64_t plannedCellCount(const MosaicGeometry& g) {
  if (g.tileCount == std::numeric_limits<std::uint32_t>::max()) {
    return std::uint64_t{g.columns} * g.rows;
  }
  return g.tileCount;
}

TileCountBreakdown tileCountBreakdown(const MosaicGeometry& g) {
  TileCountBreakdown b;
  const std::uint64_t n = plannedCellCount(g);
  // n x percent / 100 without overflow for any grid of 32-bit columns and rows; a percentage
  // above 100 takes every cell either way.
  const auto share = [n](std::uint32_t percent) {
    const std::uint64_t p = std::min<std::uint32_t>(percent, 100);
    return n / 100 * p + n % 100 * p / 100;
  };
  b.quarters = share(g.multiSize4);
  b.full = n - b.quarters;
  b.halves = std::min(share(g.multiSize2), b.full);
  b.full -= b.halves;

  const std::uint64_t t = g.builtCellCount;
  if (t != 0) {
    const std::uint64_t q4 = 4 * b.quarters;
    if (q4 < t) {
      std::uint64_t split = q4 + 2 * b.halves;
      if (split >= t) {
        b.halves = (t - q4) / 2;
        split = q4 + 2 * b.halves;
      }
      b.full = t - split;
    } else {
      b.quarters = t / 4;
      b.halves = t % 4;
      b.full = 0;
    }
  }
  return b;
}

}  // namespace tg
