// SPDX-License-Identifier: GPL-3.0-or-later
#include "geometry/cell_grid.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>

#include <unistd.h>

#include "job/mosaic_job.h"
#include "platform/catalogue.h"
#include "platform/text_format.h"
#include "platform/user_dialogs.h"

namespace tg {

namespace {

/// The number of set bits among the first `mask.bitCount` bits of the bitmap.
std::uint32_t countSetBits(const FotoMask& mask) {
  std::uint32_t count = 0;
  for (std::uint32_t i = 0; i < mask.bitCount; ++i) count += mask.bit(i) ? 1u : 0u;
  return count;
}

/// Sets the box of `mask` and its area: the box's pixel count, or the cell's pixels in it when
/// the mask has a bitmap.
void setPart(FotoMask& mask, std::int32_t top, std::int32_t left, std::int32_t width,
             std::int32_t height) {
  mask.setBox(top, left, width, height);
  if (mask.hasBitmap()) mask.area = countSetBits(mask);
}

/// More cells than any layout of the geometry can create: rows of the smaller tile side and
/// their gaps down the mosaic, each with a partial cell and a cut last cell.
std::uint64_t cellCountBound(const MosaicGeometry& g) {
  const std::uint64_t side = std::uint64_t{std::min(g.tileWidth, g.tileHeight)} + g.border;
  if (side == 0) return 0;
  return (g.mosaicHeight / side + 1) * (g.mosaicWidth / side + 2);
}

/// Whether that many cells could be held in the machine's memory at all.
bool cellsFitInMemory(std::uint64_t cells) {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return true;  // unknown: let the allocation decide
  const std::uint64_t memory =
      static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
  const std::uint64_t perCell = sizeof(PuzzleInfo) + sizeof(std::unique_ptr<PuzzleInfo>);
  return cells <= memory / perCell;
}

}  // namespace

PuzzleInfo& CellGrid::append() {
  cells.push_back(std::make_unique<PuzzleInfo>());
  return *cells.back();
}

void CellGrid::clear(bool releaseStorage) {
  cells.clear();
  if (releaseStorage) cells.shrink_to_fit();
}

bool buildCellGrid(CellGrid& grid, long pattern, MosaicGeometry& geometry, long tileAdapt,
                   PatternLayout* layoutOut) {
  grid.clear();
  grid.columns = geometry.mosaicWidth;
  grid.rows = geometry.mosaicHeight;
  grid.gap = geometry.border;
  MosaicJob* job = grid.job;
  if (job != nullptr) {
    job->setStatus(tr("Building Mosaic Tiles..."));
    job->beginStage(ProgressStage::BuildingTiles,
                    static_cast<double>(tileCountBreakdown(geometry).effective()));
  }

  // A tiny tile on a huge mosaic (a settings file can ask for one) would fill the memory cell by
  // cell; refuse it before the first allocation.
  if (!cellsFitInMemory(cellCountBound(geometry))) {
    showMessage(formatText(tr("Out Of Memory while allocating an Image made of %ldx%ld Pixels"),
                           static_cast<long>(geometry.columns), static_cast<long>(geometry.rows)) +
                "!");
    geometry.tileCount = 0;
    return false;
  }

  // Box coordinates are 32-bit; a mosaic side beyond that range cannot be described.
  constexpr std::uint32_t kMaxSide = std::numeric_limits<std::int32_t>::max();
  bool stopped = false;
  bool outOfMemory = false;
  PatternLayout layout;
  bool laidOut = false;
  if (geometry.mosaicWidth <= kMaxSide && geometry.mosaicHeight <= kMaxSide) {
    laidOut = layoutPattern(
        pattern, geometry, tileAdapt,
        [&](const CellRect& rect) {
          try {
            PuzzleInfo& cell = grid.append();
            cell.shape.setBox(
                static_cast<std::int32_t>(rect.top), static_cast<std::int32_t>(rect.left),
                static_cast<std::int32_t>(rect.width), static_cast<std::int32_t>(rect.height));
            cell.active = 1;
          } catch (const std::bad_alloc&) {
            outOfMemory = true;
            return false;
          }
          if (job != nullptr) {
            job->addProgress(1);
            if (job->stopRequested()) {
              stopped = true;
              return false;
            }
          }
          return true;
        },
        layout);
  }
  geometry.tileCount = static_cast<std::uint32_t>(
      std::min<std::size_t>(grid.cells.size(), std::numeric_limits<std::uint32_t>::max()));
  if (layoutOut != nullptr) *layoutOut = layout;
  if (!laidOut || stopped || outOfMemory) return false;
  if (job != nullptr) job->endStage();
  return true;
}

PuzzleInfo* splitCell(CellGrid& grid, PuzzleInfo& cell, std::uint32_t gap) {
  FotoMask& shape = cell.shape;
  const std::int64_t g = gap;
  if (shape.width < g + 10 || shape.height < g + 10) return nullptr;

  // Everything that allocates comes first, so that out of memory leaves the cell unsplit (and
  // the grid as it was) instead of ending the program.
  std::unique_ptr<PuzzleInfo> fresh;
  try {
    fresh = std::make_unique<PuzzleInfo>();
    fresh->neighbours.reserve(cell.neighbours.size() + 1);
    cell.neighbours.reserve(cell.neighbours.size() + 1);
    grid.cells.reserve(grid.cells.size() + 1);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  grid.cells.push_back(std::move(fresh));
  PuzzleInfo& added = *grid.cells.back();
  const FotoMask whole = shape;
  const std::uint32_t width = static_cast<std::uint32_t>(whole.width);
  const std::uint32_t height = static_cast<std::uint32_t>(whole.height);
  if (whole.width < whole.height) {
    // Across the height: the top part stays, the bottom part after the gap is new.
    const std::uint32_t first = (height - gap) / 2;
    const std::uint32_t second = height - gap - first;
    if (whole.hasBitmap()) {
      (void)extractRect(shape, whole, 0, width, first, 0);
      (void)extractRect(added.shape, whole, 0, width, second, (first + gap) * width);
    }
    setPart(shape, whole.top, whole.left, whole.width, static_cast<std::int32_t>(first));
    setPart(added.shape, whole.top + static_cast<std::int32_t>(first + gap), whole.left,
            whole.width, static_cast<std::int32_t>(second));
  } else {
    // Across the width: the left part stays, the right part after the gap is new.
    const std::uint32_t first = (width - gap) / 2;
    const std::uint32_t second = width - gap - first;
    if (whole.hasBitmap()) {
      (void)extractRect(shape, whole, width - first, first, height, 0);
      (void)extractRect(added.shape, whole, width - second, second, height, first + gap);
    }
    setPart(shape, whole.top, whole.left, static_cast<std::int32_t>(first), whole.height);
    setPart(added.shape, whole.top, whole.left + static_cast<std::int32_t>(first + gap),
            static_cast<std::int32_t>(second), whole.height);
  }

  cell.signature.valid = 0;
  added.signature.valid = 0;
  added.active = cell.active;
  const bool hadNeighbours = !cell.neighbours.empty();
  added.neighbours = cell.neighbours;
  if (hadNeighbours) {
    cell.neighbours.push_back(&added);
    added.neighbours.push_back(&cell);
  }
  return &added;
}

}  // namespace tg
