// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "geometry/mosaic_geometry.h"
#include "geometry/pattern_layout.h"
#include "geometry/puzzle_info.h"

namespace tg {

class MosaicJob;

/// The cells of one mosaic, in the order the builders created them, with the grid's extent.
/// The grid owns its cells; a cell keeps its address until it is destroyed, so neighbour lists
/// and other references may point at it. An entry may be null after the engine removed a cell
/// in place. Used on the job thread only.
struct CellGrid {
  /// The running job: its progress and stop flag. Not owned; may be null (no progress, no stop).
  MosaicJob* job = nullptr;
  /// Width of the grid in grid units (mosaic pixels, or mask pixels for a mask-file grid).
  std::uint32_t columns = 0;
  /// Height of the grid in grid units.
  std::uint32_t rows = 0;
  /// The gap between neighbouring cells in grid units (the border; 0 for a mask-file grid).
  std::uint32_t gap = 0;
  /// The cells, owned.
  std::vector<std::unique_ptr<PuzzleInfo>> cells;

  CellGrid() = default;
  CellGrid(const CellGrid&) = delete;
  CellGrid& operator=(const CellGrid&) = delete;
  CellGrid(CellGrid&&) = default;
  CellGrid& operator=(CellGrid&&) = default;

  /// Appends a new cell with every field cleared and returns it (owned by the grid).
  PuzzleInfo& append();
  /// Destroys every cell; with `releaseStorage` the list's storage is given back as well.
  /// The extent and gap are kept.
  void clear(bool releaseStorage = false);
  /// Number of entries (null entries included).
  [[nodiscard]] std::size_t size() const { return cells.size(); }
  [[nodiscard]] bool empty() const { return cells.empty(); }
};

/// Empties `grid` and fills it with the cells of `pattern` (codes 1-10) over `geometry` for
/// `tileAdapt` (0 "Crop Tile", 1 "Adapt Tile", 2 "Adapt Mosaic"). Each cell gets its box, area =
/// width x height, no bitmap and active = 1. Sets the grid's extent to the mosaic size and its
/// gap to the border; afterwards `geometry.tileCount` holds the number of cells. Runs on the job
/// thread: with `grid.job` set it shows "Building Mosaic Tiles...", runs progress stage 2 over the
/// planned effective tile count, steps it per cell and polls the stop flag. Returns false for an
/// unknown pattern, a geometry without tiles or a stop; the cells built so far then stay in the
/// grid. `layout`, when given, receives the layout figures.
[[nodiscard]] bool buildCellGrid(CellGrid& grid, long pattern, MosaicGeometry& geometry,
                                 long tileAdapt, PatternLayout* layout = nullptr);

/// Splits `cell` (a cell of `grid`) in two across its longer side, leaving `gap` pixels between
/// the halves: `cell` keeps the first part, a new cell appended to the grid takes the rest, and
/// any bitmap is divided between them. Both lose their signature's valid mark; the new cell
/// copies the active flag and the neighbour list, and when `cell` had neighbours the two become
/// each other's neighbours. Nothing happens (nullptr) unless the cell is at least gap + 10 wide
/// and high. Returns the new cell, owned by the grid. Job thread.
PuzzleInfo* splitCell(CellGrid& grid, PuzzleInfo& cell, std::uint32_t gap);

}  // namespace tg
