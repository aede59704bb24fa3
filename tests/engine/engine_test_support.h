// SPDX-License-Identifier: GPL-3.0-or-later
// Grids, tile lists and signatures the engine tests build for themselves.
#pragma once

#include <cstdint>
#include <string>

#include "engine/comparison_settings.h"
#include "engine/matching_context.h"
#include "geometry/cell_grid.h"
#include "imaging/foto.h"
#include "imaging/image_signature.h"
#include "job/mosaic_job.h"
#include "platform/scripted_dialogs.h"
#include "tiles/foto_info.h"
#include "tiles/tile_images_list.h"

namespace tg::test {

/// A signature whose every element is the opaque colour (r, g, b).
inline ImageSignature uniformSignature(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  ImageSignature s;
  s.values.fill(makePixel(r, g, b, 0));
  s.opaque = 1;
  s.valid = 1;
  return s;
}

/// Appends an active cell with the box (left, top, width, height), neutral weight and a grey
/// signature.
inline PuzzleInfo& addCell(CellGrid& grid, int left, int top, int width, int height,
                           std::uint8_t weight = 20) {
  PuzzleInfo& cell = grid.append();
  cell.shape.setBox(top, left, width, height);
  cell.active = 1;
  cell.weight = weight;
  cell.score = 0xFFFFFFFFu;
  cell.signature = uniformSignature(128, 128, 128);
  return cell;
}

/// Appends a 10 x 10 cell at (left, 0) whose signature is the uniform grey `level`.
inline PuzzleInfo& addGreyCell(CellGrid& grid, int left, std::uint32_t level) {
  PuzzleInfo& cell = addCell(grid, left, 0, 10, 10);
  cell.signature = uniformSignature(level, level, level);
  return cell;
}

/// Adds a picture tile at `path` with a uniform grey signature of `level`.
inline FotoInfo& addTile(TileImagesList& list, const std::string& path, std::uint32_t level,
                         bool required = false) {
  FotoInfo& tile = list.tiles[path];
  tile.path = path;
  tile.signature = uniformSignature(level, level, level);
  tile.fileSize = 1000;
  tile.required = required ? 1 : 0;
  return tile;
}

/// Two cells that both like tile `x` best, in a grid 20 wide: `flexible` has a close second
/// choice (`near`), `picky` has none (the third tile is far from both). Whoever would lose most
/// without it should get `x`.
struct ContestedTile {
  FotoInfo& x;
  FotoInfo& near;
  PuzzleInfo& flexible;
  PuzzleInfo& picky;
};
inline ContestedTile addContestedTile(CellGrid& grid, TileImagesList& list) {
  grid.columns = 20;
  FotoInfo& x = addTile(list, "/t/x.jpg", 100);
  FotoInfo& near = addTile(list, "/t/y.jpg", 104);
  addTile(list, "/t/z.jpg", 200);
  PuzzleInfo& flexible = addGreyCell(grid, 0, 101);
  PuzzleInfo& picky = addGreyCell(grid, 10, 99);
  return {x, near, flexible, picky};
}

/// Puts `tile` into `cell` and counts the use.
inline void place(PuzzleInfo& cell, FotoInfo& tile) {
  cell.tile = &tile;
  cell.score = 0;
  ++tile.useCount;
}

/// A job, grid, tile list and comparison settings wired into one matching context, for the
/// placement tests: no colour shift, consecutive frames off, the given placement algorithm, and
/// a scripted user who answers every question with its default.
struct PlacementWorld {
  ScopedScriptedDialogs dialogs;
  MosaicJob job;
  CellGrid grid;
  TileImagesList list;
  ComparisonSettings comparison;
  MatchingContext context{job, grid, list, comparison};

  explicit PlacementWorld(long processing) {
    comparison.setShiftLimit(0);
    job.settings.mosaicProcessing.set(processing);
    job.settings.consecutiveFrames.set(0);
  }
};

}  // namespace tg::test
