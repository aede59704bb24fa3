// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/place_tiles.h"

#include <algorithm>
#include <ctime>
#include <random>
#include <utility>

#include "config/advanced_settings.h"
#include "engine/comparison_settings.h"
#include "engine/faster_placement.h"
#include "engine/improve_quality.h"
#include "engine/matching_context.h"
#include "engine/score_tile.h"
#include "engine/tile_list_file.h"
#include "geometry/cell_grid.h"
#include "imaging/image_decoders.h"
#include "job/mosaic_job.h"
#include "platform/catalogue.h"
#include "platform/file_times.h"
#include "platform/user_dialogs.h"
#include "tiles/tile_images_list.h"

namespace tg {

std::uint64_t spacingThreshold(const CellGrid& grid, long duplicateSpacing) {
  if (duplicateSpacing < 2 || grid.cells.empty()) return 0;
  const std::uint64_t s = static_cast<std::uint64_t>(duplicateSpacing);
  const std::uint64_t area = (std::uint64_t{grid.columns} * grid.rows) / grid.cells.size();
  return s * s * area;
}

bool withinSpacing(const PuzzleInfo& a, const PuzzleInfo& b, std::uint64_t threshold) {
  if (threshold == 0) return false;
  const std::int64_t dt = std::int64_t{a.shape.top} - b.shape.top;
  const std::int64_t dl = std::int64_t{a.shape.left} - b.shape.left;
  return static_cast<std::uint64_t>(dt * dt) + static_cast<std::uint64_t>(dl * dl) < threshold;
}

std::vector<FotoInfo*> placementTiles(TileImagesList& list) {
  std::vector<FotoInfo*> tiles;
  tiles.reserve(list.tiles.size());
  for (auto& [path, tile] : list.tiles) {
    if (tile.inUse && tile.signature.valid != 0) tiles.push_back(&tile);
  }
  return tiles;
}

std::string sequenceDateText(const FotoInfo& tile) {
  std::string date = detail::readExifDateTime(tile.path);
  if (date.size() >= 10 && date.compare(0, 4, "0000") != 0) return date;
  const std::optional<std::int64_t> created = fileCreationTime(tile.path);
  if (!created) return {};
  const std::time_t seconds = static_cast<std::time_t>(*created);
  std::tm local{};
  if (localtime_r(&seconds, &local) == nullptr) return {};
  char text[32];
  const std::size_t length = std::strftime(text, sizeof text, "%Y:%m:%d %H:%M:%S", &local);
  return std::string(text, length);
}

bool placeSequence(MatchingContext& context, long algorithm, std::uint32_t seed) {
  MosaicJob& job = context.job;
  const bool rotatedAllowed = (job.settings.tileVariants.value & kVariantBitRotated90) != 0;
  std::vector<FotoInfo*> tiles;
  for (FotoInfo* tile : placementTiles(context.list)) {
    if (rotatedAllowed || tile->signature.rotated == 0) tiles.push_back(tile);
  }
  if (algorithm == kProcessingRandom && !tiles.empty()) {
    std::mt19937 generator(seed);
    for (std::size_t i = 0; i < tiles.size(); ++i) {
      std::swap(tiles[i], tiles[generator() % tiles.size()]);
    }
  } else if (algorithm == kProcessingSequentialByDate) {
    std::vector<std::pair<std::string, FotoInfo*>> dated;
    dated.reserve(tiles.size());
    for (FotoInfo* tile : tiles) {
      if (job.stopRequested()) return false;
      dated.emplace_back(sequenceDateText(*tile), tile);
    }
    std::stable_sort(dated.begin(), dated.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < dated.size(); ++i) tiles[i] = dated[i].second;
  }
  const std::size_t n = context.grid.cells.size();
  job.beginStage(ProgressStage::Placement, static_cast<double>(n));
  std::size_t next = 0;
  for (const auto& cell : context.grid.cells) {
    job.addProgress(1);
    if (job.stopRequested()) return false;
    if (!cell || cell->active == 0 || cell->locked != 0 || tiles.empty()) continue;
    FotoInfo* tile = tiles[next];
    next = (next + 1) % tiles.size();
    if (cell->tile != nullptr && cell->tile->useCount > 0) --cell->tile->useCount;
    cell->tile = tile;
    ++tile->useCount;
  }
  job.endStage();
  return true;
}

namespace {

bool experimentalAllowed(const MatchingContext& context) {
  return context.job.settings.tileDuplication.value == 1 && context.imageLimits.empty();
}

}  // namespace

bool placeTiles(MatchingContext& context) {
  MosaicJob& job = context.job;
  long algorithm = job.settings.mosaicProcessing.value;
  if (job.settings.consecutiveFrames.value >= 1) algorithm = kProcessingFaster;
  switch (algorithm) {
    case kProcessingFaster: {
      const AdvancedSettings& advanced = job.settings.advanced;
      if (advanced.rowYes(AdvancedRow::TileListLoad)) {
        loadTileListFile(context, tileListFilePath(job));
      }
      if (!placeFaster(context)) return false;
      if (advanced.rowYes(AdvancedRow::TileListSave)) {
        // A list that cannot be written costs the next run its pre-assignment, not this mosaic.
        (void)saveTileListFile(context, tileListFilePath(job));
      }
      return true;
    }
    case kProcessingSequential:
    case kProcessingRandom:
    case kProcessingSequentialByDate:
      return placeSequence(context, algorithm, static_cast<std::uint32_t>(std::time(nullptr)));
    case kProcessingExperimental1:
    case kProcessingExperimental2:
      if (!experimentalAllowed(context)) {
        showMessage(
            tr("The selected Experimental Mosaic Processing can be used only with the No "
               "Duplicate Tile Count."));
        return false;
      }
      return improveQuality(context);
    default:
      context.exhaustedTiles.clear();
      return placeHighQuality(context, algorithm == kProcessingCustomVariants ||
                                           algorithm == kProcessingFolderVariants);
  }
}

}  // namespace tg
