// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/foto.h"
#include "imaging/image_signature.h"
#include "imaging/live_objects.h"

namespace tg {

struct FotoInfo;

/// Score of a cell without a tile, and of a comparison over its limit.
inline constexpr std::uint32_t kNoScore = 0xFFFFFFFFu;

/// What the renderer applied to a cell's tile: the colour offsets, the variant and the rotated
/// flags of the two signatures it compared. Written by the renderer, read by the report.
struct CellRenderInfo {
  std::int8_t offsetRed = 0;     ///< offset added to the tile's red channel
  std::int8_t offsetGreen = 0;   ///< offset added to the green channel
  std::int8_t offsetBlue = 0;    ///< offset added to the blue channel
  std::int32_t variant = 0;      ///< tile variant code 1-8 it was drawn in; 0 = not rendered
  std::uint8_t cellRotated = 0;  ///< rotated flag of the cell's signature
  std::uint8_t tileRotated = 0;  ///< rotated flag of the tile's signature

  friend bool operator==(const CellRenderInfo&, const CellRenderInfo&) = default;
};

/// One cell of the mosaic grid. Created with every field cleared (`weight` 0, `score` 0, no
/// tile); the grid builders set `shape` and `active`, the engine the rest. A plain record:
/// copies copy the shape's bitmap and the neighbour pointers as they are. Each live instance is
/// counted for the leak diagnostic. Not synchronised: cells are changed on the job thread only
/// while no worker reads them.
struct PuzzleInfo {
  /// Priority weight in scoring, 20 neutral (1-255 once set; 0 until the engine sets it).
  std::uint8_t weight = 0;
  /// The cell's box and optional bitmap in grid units: mosaic pixels for a pattern grid, mask
  /// pixels for cells from a mask file. Pattern cells carry no bitmap.
  FotoMask shape;
  /// Signature of the main image under the cell; `signature.valid` marks it as built.
  ImageSignature signature;
  /// 1 = the cell takes part in the mosaic.
  std::uint32_t active = 0;
  /// 1 = the cell's tile was fixed beforehand and placement must not change it.
  std::uint32_t locked = 0;
  /// The other cells within the duplicate-spacing distance. Not owned; they belong to the same
  /// grid and stay valid as long as it is not cleared.
  std::vector<PuzzleInfo*> neighbours;
  /// The chosen tile (not owned; a record of the loaded Tile Images List); null = empty cell.
  FotoInfo* tile = nullptr;
  /// Distance score of the chosen tile; `kNoScore` = none.
  std::uint32_t score = 0;
  /// Filled by the renderer.
  CellRenderInfo render;

 private:
  LiveObjectCounter<LiveObject::PuzzleInfo> m_counted;
};

}  // namespace tg
