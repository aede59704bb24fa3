// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/tile_list_file.h"

#include "config/settings_store.h"
#include "engine/matching_context.h"
#include "geometry/cell_grid.h"
#include "job/mosaic_job.h"
#include "platform/catalogue.h"
#include "platform/text_format.h"
#include "tiles/tile_images_list.h"

namespace tg {

namespace {
const char* const kSection = "TileList";
}  // namespace

std::string tileListFilePath(const MosaicJob& job) {
  return job.outputNames.base + tr(" Tile List.txt");
}

std::string tileListKey(const PuzzleInfo& cell) {
  return formatText("Tile%ldx%ld-%ldx%ld", static_cast<long>(cell.shape.left),
                    static_cast<long>(cell.shape.top), static_cast<long>(cell.shape.width),
                    static_cast<long>(cell.shape.height));
}

std::size_t loadTileListFile(MatchingContext& context, const std::string& path) {
  SettingsStore store;
  store.open(path, SettingsLocation::AsGiven);
  if (!store.load() || !store.hasSection(kSection)) return 0;
  std::size_t locked = 0;
  for (const auto& cell : context.grid.cells) {
    if (!cell || cell->active == 0) continue;
    const std::string named = store.getText(kSection, tileListKey(*cell), std::string());
    if (named.empty()) continue;
    FotoInfo* tile = context.list.findTile(named);
    if (tile == nullptr) continue;
    if (cell->tile != nullptr && cell->tile->useCount > 0) --cell->tile->useCount;
    cell->tile = tile;
    ++tile->useCount;
    cell->locked = 1;
    ++locked;
  }
  return locked;
}

bool saveTileListFile(const MatchingContext& context, const std::string& path) {
  SettingsStore store;
  store.open(path, SettingsLocation::AsGiven);
  store.setAutoSync(false);
  for (const auto& cell : context.grid.cells) {
    if (!cell || cell->active == 0) continue;
    const std::string value = cell->tile != nullptr ? cell->tile->path : std::string();
    if (!store.setText(kSection, tileListKey(*cell), value)) return false;
  }
  return store.save();
}

}  // namespace tg
