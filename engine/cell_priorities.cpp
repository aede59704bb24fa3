// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/cell_priorities.h"

#include <algorithm>
#include <cmath>

#include "engine/image_limits.h"
#include "engine/matching_context.h"
#include "geometry/cell_grid.h"
#include "imaging/foto.h"
#include "imaging/image_file.h"
#include "job/mosaic_job.h"
#include "platform/catalogue.h"
#include "platform/user_dialogs.h"
#include "tiles/tile_images_list.h"

namespace tg {

namespace {

std::uint32_t mapIndex(double position, std::uint32_t size) {
  const double truncated = std::trunc(position);
  if (!(truncated > 0)) return 0;
  return static_cast<std::uint32_t>(std::min(truncated, static_cast<double>(size - 1)));
}

// Asks for and loads the priority map; false when the user cancels or it cannot be loaded.
bool loadPriorityMap(Foto& map) {
  const auto path = userDialogs().openFile(
      "TilePriority", "JPEG/PNG (*.jpg *.jpeg *.png)",
      tr("Please select an Image (JPG/PNG file) to use as the priority map for the Mosaic. \n"
         "Priority goes from White color (lowest priority) to Black color (highest priority). \n"
         "Read the user manual about using this feature."));
  if (!path) return false;
  return loadImageFile(map, *path, 0, 0, true) && !map.empty();
}

}  // namespace

AreaPriority areaPriorityFromText(const std::string& text) {
  const std::string token = upperToken(text);
  if (token == "CUSTOM_PRIORITY") return AreaPriority::Custom;
  if (token == "CENTER_WIDE") return AreaPriority::CenterWide;
  if (token == "CENTER_SMALL") return AreaPriority::CenterSmall;
  if (token == "CENTER_STRONG") return AreaPriority::CenterStrong;
  if (token == "EDGE") return AreaPriority::Edge;
  return AreaPriority::Uniform;
}

std::uint8_t priorityWeight(double factor) {
  const double weight = std::trunc(20 * factor + 0.5);
  if (!(weight >= 1)) return 1;
  return static_cast<std::uint8_t>(std::min(weight, 255.0));
}

double areaPriorityFactor(AreaPriority mode, const FotoMask& box, std::uint32_t columns,
                          std::uint32_t rows) {
  if (mode == AreaPriority::Uniform || mode == AreaPriority::Custom) return 1;
  const double c = (0.5 - (box.top + box.height / 2) / static_cast<double>(rows)) * 2;
  const double d = (0.5 - (box.left + box.width / 2) / static_cast<double>(columns)) * 2;
  const double g = std::clamp(std::sqrt(c * c + d * d), 0.0, 1.0);
  const bool edge = box.left == 0 || box.top == 0 ||
                    box.left + box.width == static_cast<std::int64_t>(columns) ||
                    box.top + box.height == static_cast<std::int64_t>(rows);
  switch (mode) {
    case AreaPriority::CenterWide:
      return std::max(1 - g, 0.6) + 0.4 - (edge ? 0.4 : 0);
    case AreaPriority::CenterSmall:
      return 1 + 0.5 * (1 - g) - (edge ? 0.7 : 0);
    case AreaPriority::CenterStrong:
      return 2 * std::max(1 - g, 0.8) - 0.6 - (edge ? 0.1 : 0);
    case AreaPriority::Edge:
      return 1 + 0.5 * g;
    default:
      return 1;
  }
}

double mapPriorityFactor(const Foto& map, double sx, double sy, const FotoMask& box) {
  const std::uint32_t x0 = mapIndex(box.left * sx, map.width);
  const std::uint32_t x1 = mapIndex((box.left + box.width) * sx, map.width);
  const std::uint32_t y0 = mapIndex(box.top * sy, map.height);
  const std::uint32_t y1 = mapIndex((box.top + box.height) * sy, map.height);
  const std::uint32_t grey = greyValue(map.at(x0, y0)) + greyValue(map.at(x1, y0)) +
                             greyValue(map.at(x0, y1)) + greyValue(map.at(x1, y1));
  const double darkness = 255 - static_cast<int>(grey / 4);
  const double level = (darkness / 255 - 0.5) * 2;
  return level >= 0 ? 1 + 11 * level : 1 + 0.94 * level;
}

bool initializeCells(MatchingContext& context, bool withPriorities) {
  CellGrid& grid = context.grid;
  const bool anyCell = std::any_of(grid.cells.begin(), grid.cells.end(),
                                   [](const auto& cell) { return cell != nullptr; });
  if (context.list.tiles.empty() || !anyCell) return false;

  const AreaPriority mode =
      areaPriorityFromText(context.job.settings.advanced.rowValue(AdvancedRow::TilePriorityArea));
  Foto map;
  double sx = 0;
  double sy = 0;
  if (withPriorities && mode == AreaPriority::Custom) {
    if (!loadPriorityMap(map)) return false;
    sx = static_cast<double>(map.width) / std::max<std::uint32_t>(1, grid.columns);
    sy = static_cast<double>(map.height) / std::max<std::uint32_t>(1, grid.rows);
  }

  context.job.setStatus(tr("Initializing Mosaic..."));
  for (const auto& cell : grid.cells) {
    if (!cell) continue;
    cell->tile = nullptr;
    cell->score = kNoScore;
    cell->locked = 0;
    if (!withPriorities) continue;
    const double factor = mode == AreaPriority::Custom
                              ? mapPriorityFactor(map, sx, sy, cell->shape)
                              : areaPriorityFactor(mode, cell->shape, grid.columns, grid.rows);
    cell->weight = priorityWeight(factor);
  }

  context.imageLimits.clear();
  context.exhaustedTiles.clear();
  for (auto& [path, tile] : context.list.tiles) {
    tile.useCount = 0;
    readImageLimit(tile, context);
  }
  return true;
}

}  // namespace tg
