// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/tile_picture.h"

#include <algorithm>
#include <atomic>
#include <vector>

#include "imaging/frame_bitmap.h"
#include "imaging/image_file.h"
#include "video/avi_stream.h"
#include "video/clip_stream_cache.h"
#include "video/reverse_loop.h"

namespace tg {
namespace {

std::atomic<uint32_t> g_tileLoadFailures{0};

bool failed(Foto& target, const std::string& path, ClipStreamCache* clips) {
  target.release();
  if (clips == nullptr || clips->firstFailure(path)) countTileLoadFailure();
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
                     uint32_t frameNumber, uint32_t frameTotal, bool* longClip,
                     ClipStreamCache* clips) {
  if (tile.frameRate == 0) {
    if (!loadImageFile(target, tile.path, fitWidth, fitHeight, false)) {
      return failed(target, tile.path, clips);
    }
    return true;
  }

  // Clip frames are loaded by many render jobs at once; one user message per frame would bury
  // the user, so failures are only counted and reported once after the job.
  CAviStream own;
  own.setShowErrors(false);
  const uint8_t* frame = nullptr;
  std::size_t frameBytes = 0;
  // A cached stream is shared: its frame is copied out before the lock is released.
  std::vector<uint8_t> copy;
  {
    std::lock_guard<std::mutex> lock(videoLock());
    CAviStream* stream = &own;
    if (clips != nullptr) {
      stream = clips->stream(tile.path, own);
      if (stream == nullptr) return failed(target, tile.path, clips);
    } else if (!own.open(tile.path)) {
      return failed(target, tile.path, clips);
    }
    if (tile.frameCount == 0) {
      const uint32_t count = stream->frameCount();
      tile.frameCount = clampTileValue(count);
      tile.frameRate = clampTileValue(stream->frameRate());
      if (longClip != nullptr) *longClip = count > kLongClipFrames;
    }
    frame =
        stream->frame(clipFrameIndex(tile.frameCount, frameNumber, frameTotal, reverseLoopMode()));
    frameBytes = stream->frameBytes();
    if (stream != &own) {
      if (frame == nullptr) {
        clips->drop(tile.path);
        return failed(target, tile.path, clips);
      }
      copy.assign(frame, frame + frameBytes);
      frame = copy.data();
    }
  }
  // The frame belongs to this call (its own stream or its copy): converted outside the lock.
  if (frame == nullptr || !frameToFoto(frame, frameBytes, target)) {
    return failed(target, tile.path, clips);
  }
  return true;
}

}  // namespace tg
