// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/tile_picture.h"

#include <algorithm>
#include <atomic>

#include "imaging/frame_bitmap.h"
#include "imaging/image_file.h"
#include "video/avi_stream.h"
#include "video/reverse_loop.h"

namespace tg {
namespace {

std::atomic<uint32_t> g_tileLoadFailures{0};

bool failed(Foto& target) {
  target.release();
  countTileLoadFailure();
  return false;
}

uint16_t clampTileValue(uint32_t value) {
  return static_cast<uint16_t>(std::clamp<uint32_t>(value, 1, kMaxTileFrameValue));
}

}  // namespace

std::mutex& videoLock() {
  static std::mutex lock;
  return lock;
}

uint32_t tileLoadFailures() { return g_tileLoadFailures.load(std::memory_order_relaxed); }

void resetTileLoadFailures() { g_tileLoadFailures.store(0, std::memory_order_relaxed); }

void countTileLoadFailure() { g_tileLoadFailures.fetch_add(1, std::memory_order_relaxed); }

bool loadTilePicture(TileSource tile, Foto& target, uint32_t fitWidth, uint32_t fitHeight,
                     uint32_t frameNumber, uint32_t frameTotal, bool* longClip) {
  if (tile.frameRate == 0) {
    if (!loadImageFile(target, tile.path, fitWidth, fitHeight, false)) return failed(target);
    return true;
  }

  // Clip frames are loaded by many render jobs at once; one user message per frame would bury
  // the user, so failures are only counted and reported once after the job.
  CAviStream stream;
  stream.setShowErrors(false);
  const uint8_t* frame = nullptr;
  std::size_t frameBytes = 0;
  {
    std::lock_guard<std::mutex> lock(videoLock());
    if (!stream.open(tile.path)) return failed(target);
    if (tile.frameCount == 0) {
      const uint32_t count = stream.frameCount();
      tile.frameCount = clampTileValue(count);
      tile.frameRate = clampTileValue(stream.frameRate());
      if (longClip != nullptr) *longClip = count > kLongClipFrames;
    }
    frame =
        stream.frame(clipFrameIndex(tile.frameCount, frameNumber, frameTotal, reverseLoopMode()));
    frameBytes = stream.frameBytes();
  }
  // The frame belongs to this call's own stream, so it is converted outside the lock.
  if (frame == nullptr || !frameToFoto(frame, frameBytes, target)) return failed(target);
  return true;
}

}  // namespace tg
