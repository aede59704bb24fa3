// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tg {

class MosaicJob;
struct MatchingContext;
struct PuzzleInfo;

/// The tile list file of the current mosaic: the output base name followed by the translated
/// " Tile List.txt".
[[nodiscard]] std::string tileListFilePath(const MosaicJob& job);

/// The key of `cell` in the tile list file: "Tile<left>x<top>-<width>x<height>" in grid units.
[[nodiscard]] std::string tileListKey(const PuzzleInfo& cell);

/// Reads the tile list file at `path` (section "TileList") and, for every active cell whose key
/// names a tile of the context's Tile Images List, puts that tile into the cell (the previous
/// tile loses a use, the named one gains one) and locks the cell. A missing or unreadable file,
/// unknown paths and cells without an entry change nothing. Returns the number of cells locked.
/// Job thread.
std::size_t loadTileListFile(MatchingContext& context, const std::string& path);

/// Writes one key per active cell with the full path of its tile ("" for an empty cell) to
/// `path`, replacing the file safely. False when it could not be written (the file is then
/// unchanged). Job thread.
[[nodiscard]] bool saveTileListFile(const MatchingContext& context, const std::string& path);

}  // namespace tg
