// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tg {

struct MatchingContext;

/// Gives every cell the list of the other cells within duplicate spacing, in container order,
/// when `DuplicateSpacing` is 2 or more and `ConsecutiveFrames` above 0 (otherwise every list is
/// emptied). Runs progress stage 0 with the status "Calculating Tile Distance...". Returns false
/// when stopped (the lists are then incomplete). Job thread.
[[nodiscard]] bool buildNeighbourLists(MatchingContext& context);

/// Faster: each tile in list order takes the cells where it beats the present occupant, within
/// its use limit and the duplicate spacing (with no duplicates: its single best cell; with
/// `ConsecutiveFrames`: keeping frames of one clip apart), in two passes over the list. Locked
/// and inactive cells are left alone. A tile's exhausted flag marks it as done for the run.
/// Runs progress stage 6 with the status "Tile: %s..." per tile. Returns false when stopped
/// (cells filled so far stay). Job thread.
[[nodiscard]] bool placeFaster(MatchingContext& context);

}  // namespace tg
