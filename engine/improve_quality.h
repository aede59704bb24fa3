// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

namespace tg {

struct MatchingContext;

/// The value of placing a tile at distance `score` in a cell for the assignment auction:
/// 2^32 + 9,999 - score, or 0 when no variant of the tile is allowed (`score` is "no match").
[[nodiscard]] constexpr std::int64_t auctionValue(std::uint32_t score) {
  return score == 0xFFFFFFFFu ? 0 : (std::int64_t{1} << 32) + 9999 - std::int64_t{score};
}

/// Settings of `improveQuality` for tests and measurements.
struct AuctionOptions {
  /// When above 0, a stop request is made right after this many bids (counted over all
  /// phases), as if the mosaic button had been pressed at that moment.
  long stopAfterBids = 0;
  /// When above 0, how many of its most valuable items each bidder keeps with their values
  /// from its first scan; otherwise as many as half of `Options.MemoryMaxSizeMB` holds.
  std::size_t rowLength = 0;
  /// When above 0, how many entries all rows may hold together (at least what the first rows
  /// take); otherwise as many as three quarters of `Options.MemoryMaxSizeMB` hold.
  std::size_t rowEntries = 0;
};

/// The quality improvement pass for mosaics without duplicates: distributes the tiles over the
/// empty active cells so that every tile is used at most once and the scores together are as
/// small as an auction reaches. The smaller side bids: cells for tiles, or tiles for cells when
/// there are fewer tiles. A filling phase with a large price step fills the mosaic quickly;
/// improving phases then bid again with prices kept from one phase to the next and steps that
/// shrink fivefold down to 1, which ends within 1 per bidder of the best total (with more items
/// than bidders, items left over bid back so that none keeps a price it no longer deserves).
/// Resets every tile's use count and exhausted flag first; afterwards every assigned cell holds
/// its tile with the unlimited distance as its score, and each placed tile has use count 1 and
/// is exhausted. Runs progress stage 6 with the statuses "Adding Tile#: ..." (filling) and
/// "Improving Quality. ..." (afterwards). A stop request is consumed (the job's flag is
/// cleared): the pass ends, the best complete assignment reached (or, during the filling
/// phase, the one reached so far) is written and the result is still true so that the mosaic
/// is rendered from it. Comparisons run on `job.threadCount` threads; the result does not
/// depend on their number. The distances kept from the first scans take at most half of
/// `Options.MemoryMaxSizeMB` (but at least 129 per bidder, 8 bytes each); the rows of bidders
/// that have to look further down grow, all together up to three quarters of it. Job thread.
[[nodiscard]] bool improveQuality(MatchingContext& context, const AuctionOptions& options = {});

}  // namespace tg
