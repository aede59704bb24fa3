// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tg {

struct TileImagesList;

/// The group mode used when a list is loaded and after an analysis.
inline constexpr int kGroupModeOnLoad = 4;
/// Custom tile variants: tiles whose paths agree up to their last "___" form a group.
inline constexpr int kGroupModeCustomVariants = 3;
/// Folder tile variants: the tiles of one folder form a group.
inline constexpr int kGroupModeFolderVariants = 6;

/// Numbers the tiles' groups for group mode `mode` (the `MosaicProcessing` algorithm id; 4 on
/// load and after analysis) and recounts the list's landscape, portrait and rotated tiles.
///
/// Modes 3 and 6: tiles are visited in path order with a counter that starts at 1 and grows by
/// one whenever a tile's key differs from the previous tile's, and each tile gets the counter
/// (so the first group is 2). The key is the path up to its last "___" (mode 3) or its last path
/// separator (mode 6); a path without one is its own key. Other modes: tiles whose upper-cased
/// path contains "FRAMES" (or its translation) get 1, 2, 3 ... in path order, the rest 0.
/// `lastGroupId` becomes the final counter − 1. Thread of the list's owner.
void numberGroups(TileImagesList& list, int mode);

/// Whether `path` belongs to a folder of extracted frames: its upper-cased text contains
/// "FRAMES" or the upper-cased translation of "FRAMES".
[[nodiscard]] bool isFramesPath(const std::string& path);

}  // namespace tg
