// SPDX-License-Identifier: GPL-3.0-or-later
#include "geometry/mosaic_information.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "geometry/units/quantity_text.h"
#include "job/mosaic_settings.h"
#include "platform/catalogue.h"
#include "platform/text_format.h"

namespace tg {

namespace {

/// Bytes per pixel of a JPEG-compressed mosaic: the quality is raised to the next of the
/// buckets 40, 60, 80, 95 and 100; a quality above 100 has no estimate (0).
double jpegBytesPerPixel(long quality) {
  if (quality <= 40) return 0.095;
  if (quality <= 60) return 0.1312;
  if (quality <= 80) return 0.21;
  if (quality <= 95) return 0.476;
  if (quality <= 100) return 0.942;
  return 0;
}

}  // namespace

std::optional<double> estimatedFileSize(const MosaicSettings& settings, std::uint64_t pixelCount,
                                        std::uint64_t previewCells) {
  const bool transparency = settings.outputTransparency.value;
  double fixed = 0;
  double perPixel = 0;
  switch (settings.fileFormat.value) {
    case kFormatJpeg:
    case kFormatTiffJpeg:
      perPixel = jpegBytesPerPixel(settings.jpgQuality.value);
      break;
    case kFormatBmp:
      fixed = 9966;
      perPixel = 3;
      break;
    case kFormatTiff:
      fixed = 27676;
      perPixel = transparency ? 4 : 3;
      break;
    case kFormatPpm:
      fixed = 100;
      perPixel = 3;
      break;
    case kFormatRaw:
      perPixel = 3;
      break;
    case kFormatMosaic:
      perPixel = 6.6;
      break;
    case kFormatPsd:
    case kFormatPsb:
      if (settings.outputLayers.value) {
        const double layers = 100.0 * static_cast<double>(previewCells);
        fixed = transparency ? layers + 100 : layers + 200;
        perPixel = transparency ? 7 : 11;
      } else {
        fixed = transparency ? 300 : 100;
        perPixel = transparency ? 11 : 3;
      }
      break;
    default:
      return std::nullopt;  // the video formats and unknown ids have no estimate
  }
  return fixed + perPixel * static_cast<double>(pixelCount);
}

std::vector<std::string> mosaicInformationLines(const MosaicGeometry& g,
                                                const MosaicSettings& settings, UnitId unit,
                                                const PatternLayout* preview) {
  const unsigned r = g.ppi > 0 && g.ppi < 4294967295.0 ? static_cast<unsigned>(g.ppi) : 0u;
  const unsigned tile = g.tileWidth;
  const auto sizeText = [&](UnitId target, double width, double height) {
    if (width == height) return formatDisplayValue(r, target, tile, false, UnitId::Pixel, width);
    return formatDisplaySize(r, target, tile, UnitId::Pixel, width, height);
  };
  // Areas show in square units, or as a pixel count scaled to KP, MP or GP.
  const auto areaText = [&](double pixels) {
    if (unit == UnitId::Pixel) {
      return formatDisplayValue(r, UnitId::Pixel, tile, false, UnitId::Pixel, pixels);
    }
    return formatDisplayValue(r, unit, tile, true, UnitId::Pixel, pixels);
  };
  const auto tilesText = [&](double count) {
    return formatDisplayValue(r, UnitId::Tiles, tile, false, UnitId::Tiles, count);
  };

  std::vector<std::string> lines;
  lines.push_back(formatText(tr("Mosaic Max Size: %s"), sizeText(unit, g.boxWidth, g.boxHeight)));
  lines.push_back(formatText(
      tr("Main Image: %s"),
      formatDisplaySize(r, UnitId::Pixel, tile, UnitId::Pixel, g.imageWidth, g.imageHeight)));
  if (g.sizeCode != 0) {
    lines.push_back(tr("Using Mask File"));
  } else {
    lines.push_back(
        formatText(tr("Final Mosaic: %s = %s"),
                   formatDisplaySize(r, unit, tile, UnitId::Pixel, g.mosaicWidth, g.mosaicHeight),
                   areaText(static_cast<double>(g.pixelCount))));
  }
  const std::uint64_t previewCells = preview != nullptr ? preview->cellCount : 0;
  if (const auto bytes = estimatedFileSize(settings, g.pixelCount, previewCells)) {
    lines.push_back(formatText(
        tr("File Size: %s"), formatDisplayValue(0, UnitId::Byte, 0, false, UnitId::Byte, *bytes)));
  }

  std::uint32_t cellWidth = g.tileWidth;
  std::uint32_t cellHeight = g.tileHeight;
  std::uint64_t columns = g.columns;
  std::uint64_t rows = g.rows;
  // With a preview the counts are those of the cells it laid out, which can differ from
  // columns x rows (shifted rows start with a partial cell, "Adapt Tile" spreads the rest).
  MosaicGeometry counted = g;
  if (preview != nullptr) {
    cellWidth = preview->largestCellWidth;
    cellHeight = preview->largestCellHeight;
    columns = preview->firstRowCells;
    rows = preview->rowCount;
    counted.tileCount = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(preview->cellCount, std::numeric_limits<std::uint32_t>::max()));
  }
  lines.push_back(formatText(tr("Tile Size: %s = %s"),
                             formatDisplaySize(r, unit, tile, UnitId::Pixel, cellWidth, cellHeight),
                             areaText(static_cast<double>(std::uint64_t{cellWidth} * cellHeight))));
  lines.push_back(formatText(tr("Border Size: %s"),
                             formatDisplayValue(r, unit, tile, false, UnitId::Pixel, g.border)));
  lines.push_back(formatText(tr("Resolution: %.0lf PPI"), g.ppi));
  lines.push_back(formatText(tr("Tile Pattern: %ld x %ld = %s"), static_cast<long>(columns),
                             static_cast<long>(rows),
                             tilesText(static_cast<double>(plannedCellCount(counted)))));
  const TileCountBreakdown counts = tileCountBreakdown(counted);
  lines.push_back(formatText(tr("Tile Count: %lu + %lu½ + %lu¼ = %s"),
                             static_cast<unsigned long>(counts.full),
                             static_cast<unsigned long>(2ull * counts.halves),
                             static_cast<unsigned long>(4ull * counts.quarters),
                             tilesText(static_cast<double>(counts.effective()))));
  return lines;
}

}  // namespace tg
