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

/// Counts of one run of `improveQuality`'s nearest-pairs method (for tests and measurements).
struct AuctionStats {
  /// Pairs kept from the first scan, over all bidders.
  std::size_t firstPairs = 0;
  /// Solves: the first one and one after each optimality check that found better pairs.
  long rounds = 0;
  /// Bidders compared again with every item outside their pairs, and the pairs this added
  /// (the price auction counts in `rescanned` its looks beyond a bidder's row).
  std::size_t rescanned = 0;
  std::size_t addedPairs = 0;
  /// Pairs the optimality checks compared (the others were cleared by bounds).
  std::size_t compared = 0;
  /// Seconds (wall clock) the price auction spent in its first scan over all pairs, and the
  /// job thread's processor time after it.
  double scanSeconds = 0;
  double auctionSeconds = 0;
};

/// The methods of `improveQuality`.
enum class AuctionMethod {
  /// The exact method on each bidder's nearest items where a good part of the larger side is
  /// left over, else (or when its first bounds prove too little) the price auction, with its
  /// table of all distances in two bytes a pair (each distance within a 4,096th, and that of
  /// the variant the pair's blocks lead to, `CellComparison::blockLedDistance`); where that
  /// table does not fit the budget, bounds that prove too little leave the nearest items'
  /// first assignment standing. Within 1 % of the best total.
  Automatic,
  /// The exact method on each bidder's nearest items, whatever the shape.
  Nearest,
  /// The price auction: the plain reference the exact method is checked against.
  Reference,
};

/// Settings of `improveQuality` for tests and measurements.
struct AuctionOptions {
  /// When above 0, a stop request is made right after this many bids (counted over all
  /// phases), as if the mosaic button had been pressed at that moment.
  long stopAfterBids = 0;
  /// Which method runs (see `improveQuality`).
  AuctionMethod method = AuctionMethod::Automatic;
  /// Exact method: when above 0, how many nearest items each bidder keeps from the first scan
  /// (and a quarter of it, at least 2, nearest bidders each item); otherwise 32.
  std::size_t nearest = 0;
  /// Exact method: when given, receives the counts of the run.
  AuctionStats* stats = nullptr;
  /// Reference: when above 0, how many of its most valuable items each bidder keeps with
  /// their values from its first scan; otherwise as many as half of `Options.MemoryMaxSizeMB`
  /// holds.
  std::size_t rowLength = 0;
  /// Reference: when above 0, how many entries all rows may hold together (at least what the
  /// first rows take); otherwise as many as three quarters of `Options.MemoryMaxSizeMB` hold.
  std::size_t rowEntries = 0;
  /// Reference and automatic: when above 0, the bytes the distances of all pairs may take
  /// (they are kept when they fit, and read instead of comparing again); otherwise three
  /// quarters of `Options.MemoryMaxSizeMB`.
  std::size_t tableBytes = 0;
};

/// The quality improvement pass for mosaics without duplicates: distributes the tiles over the
/// empty active cells so that every tile is used at most once, as many cells as possible get a
/// tile and, among such assignments, the scores together are the smallest possible. The
/// smaller side bids: cells for tiles, or tiles for cells when there are fewer tiles.
///
/// One parallel scan over all pairs keeps each bidder's nearest items and each item's nearest
/// bidders, with the distance of the first one left out as a bound. The assignment is solved
/// exactly on these pairs (shortest augmenting paths with item prices, `SparseAssignment`),
/// then checked against all pairs through the prices: a bidder whose bound shows that no item
/// left out can beat what it pays is done; the others are compared with the items left out,
/// the pairs that beat their level are added and the solve continues from the prices reached,
/// until no pair anywhere beats them, which proves the result optimal for the whole problem.
/// This method runs where at least a tenth of the larger side is left over. Where nearly every
/// item is needed (or the first bounds leave more than a quarter of the bidders unproven),
/// bidders must go far down their lists and the price auction runs instead: a filling phase
/// with a large price step, then improving phases with steps that shrink fivefold down to 1,
/// ending within 1 per bidder of the best total. Where three quarters of the memory budget
/// hold the distances of all pairs, the auction compares every pair once and keeps them all,
/// so that a bidder looking beyond its row reads them instead of comparing again (the same
/// choices, far less work). Where they do not fit and the first bounds prove too little, the
/// checks and the price auction would both compare most pairs again and again; the automatic
/// choice then keeps the nearest pairs' assignment. The automatic choice also keeps the
/// table in two bytes a pair and fills it with the distance of the variant each pair's blocks
/// lead to (see `AuctionMethod`); the scores written to the cells are exact all the same.
/// `options.method` may choose a method.
///
/// Resets every tile's use count and exhausted flag first; afterwards every assigned cell
/// holds its tile with the unlimited distance as its score, and each placed tile has use count
/// 1 and is exhausted. Runs progress stage 6 with the statuses "Adding Tile#: ..." (until the
/// first assignment is complete) and "Improving Quality. ..." (afterwards). A stop request is
/// consumed (the job's flag is cleared): the pass ends, the best complete assignment reached
/// (or, before the first one is complete, the one reached so far) is written and the result is
/// still true so that the mosaic is rendered from it; a stop while the first scan compares
/// the pairs ends the pass before any tile is placed. Comparisons run on `job.threadCount`
/// threads; the result does not depend on their number. Job thread.
[[nodiscard]] bool improveQuality(MatchingContext& context, const AuctionOptions& options = {});

}  // namespace tg
