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

/// The nearest-pairs method of `improveQuality` (see there) for the given cells and tiles,
/// which take part in this order: fills `tileOfCell` with the tile index of every cell,
/// 0xFFFFFFFF for a cell left empty, and returns true. With `AuctionMethod::Automatic`, when
/// the bounds of the first solve leave more than a quarter of the bidders unproven (checking
/// them would compare most pairs again, round after round), it keeps the first solve's
/// assignment if `keepFirst` is set and otherwise gives up, returning false (the caller then
/// runs the price auction). Counts bids, publishes and consumes a stop through `progress`
/// (a stop during the first scan leaves every cell empty). Job thread; comparisons run on
/// `context.job.threadCount` threads.
[[nodiscard]] bool assignNearest(MatchingContext& context, std::span<PuzzleInfo* const> cells,
                                 std::span<FotoInfo* const> tiles, const AuctionOptions& options,
                                 bool keepFirst, AuctionProgress& progress,
                                 std::vector<std::uint32_t>& tileOfCell);

}  // namespace tg
