// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/preflight.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "geometry/mosaic_geometry.h"
#include "geometry/pattern_layout.h"
#include "job/mosaic_settings.h"
#include "platform/catalogue.h"
#include "tiles/tile_images_list.h"

namespace tg {

namespace {

constexpr std::uint32_t kRotated90Bit = 32;

}  // namespace

PreflightCounts preflightCounts(const TileImagesList& list, const MosaicGeometry& geometry,
                                const MosaicSettings& settings) {
  PreflightCounts counts;
  counts.portraitTiles = std::uint64_t{list.portraitCount} + list.portraitClipCount;
  counts.landscapeTiles = std::uint64_t{list.landscapeCount} + list.landscapeClipCount;
  const std::uint64_t cells = tileCountBreakdown(geometry).effective();
  const auto rows = patternRows(settings.pattern.value);
  if (!rows || rows->portrait == 0) {
    counts.landscapeCells = cells;
  } else if (rows->landscape == 0) {
    counts.portraitCells = cells;
  } else {
    const std::uint64_t cycle = std::uint64_t{rows->landscape} + rows->portrait;
    counts.landscapeCells = cells * rows->landscape / cycle;
    counts.portraitCells = cells - counts.landscapeCells;
  }
  return counts;
}

PreflightResult preflightCheck(const PreflightCounts& counts, const MosaicSettings& settings) {
  const std::uint64_t a = counts.portraitTiles;
  const std::uint64_t b = counts.landscapeTiles;
  const std::uint64_t total = a + b;
  const std::uint64_t n1 = counts.landscapeCells;
  const std::uint64_t n2 = counts.portraitCells;
  const std::uint64_t cells = n1 + n2;

  bool unfilled = false;
  bool leftOver = false;
  bool rotation = false;
  bool duplication = false;
  bool spacing = false;
  if ((settings.tileVariants.value & kRotated90Bit) == 0) {
    if ((b > 0 && n1 == 0) || (a > 0 && n2 == 0)) leftOver = rotation = true;
    if ((b == 0 && n1 > 0) || (a == 0 && n2 > 0)) unfilled = rotation = true;
  }
  const long duplicationLimit = settings.tileDuplication.value;
  if (duplicationLimit > 0 && cells > total * static_cast<std::uint64_t>(duplicationLimit)) {
    unfilled = duplication = true;
  }
  const long spacingValue = settings.duplicateSpacing.value;
  if (spacingValue == 0) {
    if (cells > total) unfilled = duplication = true;
  } else if (!duplication && spacingValue > 1) {
    const std::uint64_t k = 2 * static_cast<std::uint64_t>(spacingValue) + 1;
    if (k * k > total) unfilled = spacing = true;
  }

  // How often one picture may fill a cell; pictures of the wrong orientation fill none.
  std::uint64_t uses = std::numeric_limits<std::uint64_t>::max() / (total + 1);
  if (duplicationLimit > 0) uses = std::min(uses, static_cast<std::uint64_t>(duplicationLimit));
  if (spacingValue == 0) uses = 1;
  const std::uint64_t fillable = (settings.tileVariants.value & kRotated90Bit) != 0
                                     ? std::min(cells, total * uses)
                                     : std::min(n1, b * uses) + std::min(n2, a * uses);

  std::vector<std::string> parts;
  if (unfilled) parts.push_back(tr("Not all tiles in your Mosaic will be filled"));
  if (leftOver) parts.push_back(tr("Not all pictures in your Tile Images List will be used"));
  if (rotation) {
    parts.push_back(
        tr("I suggest to enable Tile Rotation 90° or select a Pattern with both Landscape and "
           "Portrait tiles, for example Parquet/Mixed"));
  }
  if (duplication) parts.push_back(tr("I suggest to allow the Tile Duplication"));
  if (spacing) parts.push_back(tr("I suggest to reduce the Duplicate Spacing"));

  PreflightResult result;
  result.cells = cells;
  result.emptyCells = cells - fillable;
  if (parts.empty()) return result;
  const std::string separator = tr(". ");
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) result.message += separator;
    result.message += parts[i];
  }
  result.message += separator + tr("Do you want to continue?");
  result.warn = true;
  return result;
}

}  // namespace tg
