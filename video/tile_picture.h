// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "imaging/foto.h"

namespace tg {

class ClipStreamCache;

/// What the tile loader reads and fills in of one tile record: its file and, for clips, the
/// frame count and rate. The references point into the caller's record (`FotoInfo`), which
/// must outlive the call. A tile is a clip when `frameRate` is not 0.
struct TileSource {
  const std::string& path;
  uint16_t& frameCount;  ///< 1..65000 once known; 0 until the clip was first opened
  uint16_t& frameRate;   ///< 1/500 frame per second; 0 for still pictures
};

/// Clips with more frames than this are "long": too long to play well in a video mosaic.
inline constexpr uint32_t kLongClipFrames = 2700;
/// The largest frame count and rate a tile record keeps.
inline constexpr uint32_t kMaxTileFrameValue = 65000;

/// Loads the picture of `tile` for output frame `frameNumber` (1..frameTotal) of a mosaic of
/// `frameTotal` frames into `target`.
///
/// A still picture is decoded to fit `fitWidth` × `fitHeight` (at least that size, see
/// `loadImageFile`). A clip is opened, under `videoLock()`, and its frame
/// `clipFrameIndex(frameCount, frameNumber, frameTotal, reverseLoopMode())` is delivered at the
/// clip's full frame size. The first time a clip is opened (frameCount 0) its frame count
/// (limited to 1..65000) and rate (limited to 1..65000) are stored in the record, and
/// `*longClip`, when given, is set to whether the clip has more than 2700 frames (it is left
/// alone otherwise). Tile analysis calls this with frameNumber 1 and frameTotal 0.
///
/// With `clips` (the renderer's cache of one video mosaic save) a clip's stream stays open for
/// the next frame, and a tile that fails again during that save is not counted again.
///
/// No message is shown: every failure (missing or damaged file, no such frame) adds one to the
/// tile-load failure count and returns false with `target` empty. Safe on any number of
/// threads at once, as long as no two calls fill in the same record concurrently.
[[nodiscard]] bool loadTilePicture(TileSource tile, Foto& target, uint32_t fitWidth,
                                   uint32_t fitHeight, uint32_t frameNumber, uint32_t frameTotal,
                                   bool* longClip = nullptr, ClipStreamCache* clips = nullptr);

/// The process-wide lock under which clips are opened and their frames read, so that at most
/// one clip is being decoded at a time (tile analysis and render jobs take it).
[[nodiscard]] std::mutex& videoLock();

/// The number of tile pictures that failed to load since the last reset. Any thread.
[[nodiscard]] uint32_t tileLoadFailures();
/// Starts counting again from 0; called when a mosaic save starts.
void resetTileLoadFailures();
/// Adds one failed tile load (for loaders of tile pictures outside `loadTilePicture`).
void countTileLoadFailure();

}  // namespace tg
