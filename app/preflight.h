// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace tg {

struct MosaicGeometry;
struct MosaicSettings;
struct TileImagesList;

/// What the check before a job found.
struct PreflightResult {
  bool warn = false;    ///< true exactly when `message` is not empty
  std::string message;  ///< the warnings and suggestions, ending with the question
  /// Cells that no tile can fill under the rotation, duplication and "no duplicates" rules:
  /// at least this many stay empty (placement limits may leave more).
  std::uint64_t emptyCells = 0;
  std::uint64_t cells = 0;  ///< all cells of the mosaic
};

/// The figures the check works on.
struct PreflightCounts {
  std::uint64_t portraitTiles = 0;   ///< tiles that fit cells of the second orientation (A)
  std::uint64_t landscapeTiles = 0;  ///< tiles that fit cells of the first orientation (B)
  std::uint64_t landscapeCells = 0;  ///< cells of the first orientation (N1)
  std::uint64_t portraitCells = 0;   ///< cells of the second orientation (N2)
};

/// The counts of `list` and of the cells `geometry` gives with `settings`' pattern (after half
/// and quarter tiles; patterns with both kinds of rows share the cells by their rows).
[[nodiscard]] PreflightCounts preflightCounts(const TileImagesList& list,
                                              const MosaicGeometry& geometry,
                                              const MosaicSettings& settings);

/// Warns when tiles will run short or pictures stay unused for `counts` under the rotation,
/// duplication and spacing of `settings`. No side effects. Any thread.
[[nodiscard]] PreflightResult preflightCheck(const PreflightCounts& counts,
                                             const MosaicSettings& settings);

}  // namespace tg
