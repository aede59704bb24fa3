// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/required_images.h"

#include <cstdint>
#include <vector>

#include "engine/matching_context.h"
#include "engine/tile_distance.h"
#include "geometry/cell_grid.h"
#include "job/mosaic_job.h"
#include "platform/catalogue.h"
#include "platform/text_format.h"
#include "platform/user_dialogs.h"
#include "tiles/tile_images_list.h"

namespace tg {

namespace {

// The cells a required picture may take: within the inner zone, and along the border.
struct Choice {
  PuzzleInfo* cell = nullptr;
  std::uint32_t score = kNoMatch;

  void consider(const ComparisonSettings& settings, PuzzleInfo& candidate, const FotoInfo& tile) {
    const std::uint32_t d = tileDistance(settings, score, candidate, tile);
    if (d == kNoMatch || (cell != nullptr && d >= score)) return;
    cell = &candidate;
    score = d;
  }
};

bool innerCell(const FotoMask& box, const CellGrid& grid) {
  const std::int64_t right = std::int64_t{grid.columns} - grid.gap;
  const std::int64_t bottom = std::int64_t{grid.rows} - grid.gap;
  return box.left > 0 && box.top > 0 && box.left + box.width < right &&
         box.top + box.height < bottom;
}

}  // namespace

void insertRequiredImages(MatchingContext& context) {
  MosaicJob& job = context.job;
  CellGrid& grid = context.grid;
  const MosaicSettings& settings = job.settings;
  const bool useAll = settings.useAllImages.value;
  const bool allMode = useAll && settings.tileDuplication.value != 1;

  std::vector<FotoInfo*> pending;
  for (auto& [path, tile] : context.list.tiles) {
    if (tile.useCount > 0 || (tile.required == 0 && !allMode)) continue;
    pending.push_back(&tile);
  }

  job.beginStage(ProgressStage::RequiredImages, static_cast<double>(pending.size()));
  job.setStatus(formatText(tr("Inserting %ld required Images into the mosaic..."),
                           static_cast<long>(pending.size())));
  for (FotoInfo* tile : pending) {
    job.addProgress(1);
    if (job.stopRequested()) return;
    Choice inner;
    Choice border;
    for (const auto& cell : grid.cells) {
      if (!cell || cell->active == 0) continue;
      const FotoInfo* held = cell->tile;
      const bool eligible =
          held == nullptr || held->useCount > 1 || (!allMode && held->required == 0);
      if (!eligible) continue;
      (innerCell(cell->shape, grid) ? inner : border).consider(context.comparison, *cell, *tile);
    }
    const Choice& chosen = inner.cell != nullptr ? inner : border;
    if (chosen.cell == nullptr) continue;
    if (chosen.cell->tile != nullptr && chosen.cell->tile->useCount > 0) {
      --chosen.cell->tile->useCount;
    }
    tile->useCount = 1;
    chosen.cell->tile = tile;
    chosen.cell->score = chosen.score;
  }

  unsigned long total = 0;
  unsigned long unused = 0;
  for (const auto& [path, tile] : context.list.tiles) {
    if (!useAll && tile.required == 0) continue;
    ++total;
    if (tile.useCount == 0) ++unused;
  }
  if (unused > 0) {
    unsigned long cells = 0;
    for (const auto& cell : grid.cells) cells += cell ? 1 : 0;
    showMessage(formatText(tr("It is not possible to insert %lu Images (on a Total of %lu "
                              "required Images) into the Mosaic made of %lu Tiles. Please raise "
                              "the number of Tiles and/or allow Rotate 90 degrees"),
                           unused, total, cells));
  }
  job.endStage();
}

}  // namespace tg
