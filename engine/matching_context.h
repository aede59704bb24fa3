// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <unordered_set>

#include "engine/comparison_settings.h"

namespace tg {

struct CellGrid;
struct FotoInfo;
struct TileImagesList;
class MosaicJob;

/// A use limit meaning "as often as the placement likes".
inline constexpr std::uint32_t kUnlimitedUses = 0xFFFFFFFFu;

/// Per-image use limits from "MAX[n]" in tile paths, by tile (ordered by address).
using ImageLimits = std::map<const FotoInfo*, std::uint32_t>;

/// The working data the matching stages of one mosaic share: the job (settings, progress, stop),
/// the cell grid, the Tile Images List, the comparison settings and the per-tile state that the
/// records do not carry (per-image limits, exhausted flags). Nothing is owned but that state;
/// the referenced objects must outlive the context. Job thread; worker jobs may read it while
/// the job thread waits for them.
struct MatchingContext {
  MatchingContext(MosaicJob& job, CellGrid& grid, TileImagesList& list,
                  const ComparisonSettings& comparison = comparisonSettings());

  MosaicJob& job;
  CellGrid& grid;
  TileImagesList& list;
  const ComparisonSettings& comparison;

  /// Limits read by `readImageLimit`; a tile without an entry may be used `maxUse()` times.
  ImageLimits imageLimits;
  /// Tiles that may not be placed again in this run.
  std::unordered_set<const FotoInfo*> exhaustedTiles;

  /// `TileDuplication`, or `kUnlimitedUses` when it is 0 (or negative).
  [[nodiscard]] std::uint32_t maxUse() const;
  /// The tile's own limit, or `maxUse()` when it has none.
  [[nodiscard]] std::uint32_t useLimit(const FotoInfo& tile) const;
  [[nodiscard]] bool exhausted(const FotoInfo& tile) const {
    return exhaustedTiles.contains(&tile);
  }
  void setExhausted(const FotoInfo& tile, bool value);
};

/// `text` with the ASCII letters upper-cased: how setting tokens are compared regardless of case.
[[nodiscard]] std::string upperToken(const std::string& text);

}  // namespace tg
