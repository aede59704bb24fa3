// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace tg {

struct MatchingContext;

/// The value of placing a tile at distance `score` in a cell for the assignment auction:
/// 2^32 + 9,999 - score, or 0 when no variant of the tile is allowed (`score` is "no match").
[[nodiscard]] constexpr std::int64_t auctionValue(std::uint32_t score) {
  return score == 0xFFFFFFFFu ? 0 : (std::int64_t{1} << 32) + 9999 - std::int64_t{score};
}

/// The quality improvement pass for mosaics without duplicates: distributes the tiles over the
/// empty active cells so that every tile is used at most once and the scores together are as
/// small as an auction reaches: a first phase with a large price step fills the mosaic quickly,
/// an improving phase with a small step (64) brings it within that much per bidder of the best
/// total. The smaller side bids: cells for tiles, or tiles for cells when there are fewer tiles.
/// Resets every tile's use count and exhausted flag first; afterwards every assigned cell holds its
/// tile with the unlimited distance as its score, and each placed tile has use count 1 and is
/// exhausted. Runs progress stage 6 with the statuses "Adding Tile#: ..." and "Improving Quality.
/// ...". A stop request is consumed (the job's flag is cleared): the pass ends, the better of the
/// first phase's assignment and the one reached so far is written and the result is still true so
/// that the mosaic is rendered from it. Job thread.
[[nodiscard]] bool improveQuality(MatchingContext& context);

}  // namespace tg
