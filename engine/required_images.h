// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tg {

struct MatchingContext;

/// Puts every required picture that the placement did not use into the mosaic (with
/// `UseAllImages` and duplicates allowed: every unused picture). Each goes, in list order, to
/// the cell where it scores best among the cells it may take (empty cells, cells whose tile is
/// used more than once and, unless every picture is wanted, cells holding a picture that is not
/// required), preferring cells away from the grid's border; the tile it displaces loses a use.
/// Runs progress stage 4 with the status "Inserting %ld required Images into the mosaic...".
/// When pictures are left over, tells the user how many could not be inserted. Returns at once
/// when the job is stopped (placements made so far stay). Job thread.
void insertRequiredImages(MatchingContext& context);

}  // namespace tg
