// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "engine/improve_quality.h"

namespace tg {

class AuctionProgress;
struct FotoInfo;
struct MatchingContext;
struct PuzzleInfo;

/// The exact method of `improveQuality` (see there) for the given cells and tiles, which take
/// part in this order: fills `tileOfCell` with the tile index of every cell, 0xFFFFFFFF for a
/// cell left empty, and returns true. With `AuctionMethod::Automatic` it may give up after the
/// first solve, when the bounds leave more than a quarter of the bidders unproven (then it
/// returns false and the caller runs the price auction). Counts bids, publishes and consumes a
/// stop through `progress`. Job thread; comparisons run on `context.job.threadCount` threads.
[[nodiscard]] bool assignNearest(MatchingContext& context, std::span<PuzzleInfo* const> cells,
                                 std::span<FotoInfo* const> tiles, const AuctionOptions& options,
                                 AuctionProgress& progress, std::vector<std::uint32_t>& tileOfCell);

}  // namespace tg
