// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace tg {

class CAviStream;

/// The clip streams of one video mosaic save, kept open from one output frame to the next.
///
/// A video mosaic renders every cell once per output frame; opening each clip again for every
/// frame would cost a file open, a container probe and a decoder start per cell and frame. Kept
/// open, a stream delivers the next frame by decoding one more frame from where it stands.
///
/// At most `capacity` streams stay open (each holds a file descriptor, a decoder and one frame).
/// Once the cache is full, further clips are opened for one frame and closed again: cells are
/// visited in the same order in every frame, so keeping the first clips beats evicting the
/// least recently used one, which would miss on every clip of a cycle longer than the cache.
///
/// The cache also remembers which tiles failed to load during the save, so that a clip that
/// fails in every frame (or from some frame on) is counted once in the tile-load failure count.
///
/// Threads: `stream` and `drop` are called with `videoLock()` held; `firstFailure` on any thread.
class ClipStreamCache {
 public:
  /// Streams kept open by default: well below the usual limit of 1,024 open files.
  static constexpr std::size_t kDefaultCapacity = 256;

  explicit ClipStreamCache(std::size_t capacity = kDefaultCapacity);
  ~ClipStreamCache();
  ClipStreamCache(const ClipStreamCache&) = delete;
  ClipStreamCache& operator=(const ClipStreamCache&) = delete;

  /// The open stream of the clip `path`: the cached one, else a new one opened and kept when
  /// there is room, else `spare` opened for this call. nullptr (nothing kept) when the clip
  /// cannot be opened. Streams show no messages. Caller holds `videoLock()`.
  [[nodiscard]] CAviStream* stream(const std::string& path, CAviStream& spare);
  /// Closes and forgets the cached stream of `path` (after a failed read, so that the next
  /// frame starts from a fresh stream). Caller holds `videoLock()`.
  void drop(const std::string& path);

  /// True the first time a tile at `path` is reported as failed during this save.
  [[nodiscard]] bool firstFailure(const std::string& path);

  /// Streams open now.
  [[nodiscard]] std::size_t openStreams() const { return m_streams.size(); }
  /// Clip opens so far (kept or not), for diagnostics and tests.
  [[nodiscard]] std::size_t opens() const { return m_opens; }

 private:
  std::size_t m_capacity;
  std::size_t m_opens = 0;
  std::unordered_map<std::string, std::unique_ptr<CAviStream>> m_streams;
  std::mutex m_failedLock;
  std::unordered_set<std::string> m_failed;
};

}  // namespace tg
