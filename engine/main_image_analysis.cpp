// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/main_image_analysis.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <unordered_set>

#include "geometry/cell_grid.h"
#include "imaging/foto.h"
#include "imaging/image_signature.h"
#include "job/mosaic_job.h"
#include "platform/catalogue.h"

namespace tg {

namespace {

// Takes the cells about to be destroyed out of every neighbour list, so that no list keeps a
// pointer to a destroyed cell (cells split after the neighbour lists were made copy them).
void forgetRemovedNeighbours(CellGrid& grid) {
  std::unordered_set<const PuzzleInfo*> removed;
  bool anyNeighbours = false;
  for (const auto& cell : grid.cells) {
    if (!cell) continue;
    if (cell->active == 0) removed.insert(cell.get());
    anyNeighbours = anyNeighbours || !cell->neighbours.empty();
  }
  if (removed.empty() || !anyNeighbours) return;
  for (const auto& cell : grid.cells) {
    if (!cell || cell->active == 0) continue;
    std::erase_if(cell->neighbours,
                  [&](const PuzzleInfo* other) { return removed.contains(other); });
  }
}

// Destroys every inactive cell; the last entry moves into the freed place and is examined next.
void removeInactiveCells(CellGrid& grid) {
  auto& cells = grid.cells;
  std::size_t i = 0;
  while (i < cells.size()) {
    if (!cells[i] || cells[i]->active != 0) {
      ++i;
      continue;
    }
    if (i + 1 < cells.size()) {
      cells[i] = std::move(cells.back());
    }
    cells.pop_back();
  }
}

}  // namespace

std::uint32_t coveredGridSize(std::uint32_t gridExtent, double imageSize, double scale) {
  return static_cast<std::uint32_t>(
      std::trunc(std::min(static_cast<double>(gridExtent), imageSize / scale + 0.9999)));
}

bool analyzeMainImage(const Foto& image, CellGrid& grid, bool fitGridInsideImage,
                      bool onlyMissing) {
  std::uint32_t gridW = 0;
  std::uint32_t gridH = 0;
  for (const auto& cell : grid.cells) {
    if (!cell || cell->active == 0 || cell->shape.area == 0) continue;
    const FotoMask& box = cell->shape;
    gridW = std::max<std::uint32_t>(gridW,
                                    static_cast<std::uint32_t>(std::max(0, box.left + box.width)));
    gridH = std::max<std::uint32_t>(gridH,
                                    static_cast<std::uint32_t>(std::max(0, box.top + box.height)));
  }
  if (gridW == 0 || gridH == 0) return false;

  const double w = image.width;
  const double h = image.height;
  const double sx = w / gridW;
  const double sy = h / gridH;
  const double e = fitGridInsideImage ? std::min(sx, sy) : std::max(sx, sy);
  if (!(e > 0)) return false;

  grid.columns = coveredGridSize(gridW, w, e);
  grid.rows = coveredGridSize(gridH, h, e);

  MosaicJob* job = grid.job;
  if (job != nullptr) {
    job->beginStage(ProgressStage::Analysis, static_cast<double>(grid.cells.size()));
    job->setStatus(tr("Analyzing Main Image..."));
  }
  for (const auto& cell : grid.cells) {
    if (job != nullptr) {
      job->addProgress(1);
      if (job->stopRequested()) return false;
    }
    if (!cell) continue;
    if (onlyMissing && cell->signature.valid != 0) continue;
    cell->active = 0;
    const FotoMask& box = cell->shape;
    if (box.area == 0 || box.left * e >= w || box.top * e >= h) continue;
    if (buildSignature(image, false, cell->signature, box.width * e, box.height * e, box.left * e,
                       box.top * e)) {
      cell->active = 1;
    }
  }

  forgetRemovedNeighbours(grid);
  removeInactiveCells(grid);
  if (job != nullptr) job->endStage();
  return true;
}

}  // namespace tg
