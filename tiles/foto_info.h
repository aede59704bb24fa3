// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "imaging/image_signature.h"
#include "imaging/live_objects.h"

namespace tg {

/// The `fileSize` of a record that was never analysed, so that its first analysis always runs.
inline constexpr std::int32_t kFileSizeNotAnalysed = -2;

/// One tile of a Tile Images List: a picture or a video clip, its signature and the file stamp
/// that tells whether it must be analysed again. A plain record; the list's tile collection owns
/// its records (one per path) and keeps them at a stable address while the collection is not
/// changed. Every live record counts in the `LiveObject::FotoInfo` counter (copies too).
///
/// Threads: records in a list are written by the list's owner only (analysis jobs work on copies
/// that the owner takes back); finished records may be read by many threads at once.
struct FotoInfo {
  /// Full path (UTF-8) of the picture or clip; the key of the record in the collection.
  std::string path;
  /// Frames of a video clip (1..65000) once the clip has been opened; 0 for pictures.
  std::uint16_t frameCount = 0;
  /// Frame rate of a clip in 1/500 frame per second (25 fps = 12500), 1..65000; non-zero marks
  /// the record as a clip (1 = a clip whose real rate is still to be read); 0 for pictures.
  std::uint16_t frameRate = 0;
  /// Whether the tile takes part; cleared for excluded and failed entries before their removal.
  bool inUse = true;
  /// The tile's signature; `valid` is set once built or read from a list file.
  ImageSignature signature;
  /// Modification time of the file when it was analysed, seconds since 1970-01-01 00:00 UTC.
  std::int64_t fileTime = 0;
  /// Low 32 bits of the file size when analysed; `kFileSizeNotAnalysed` in a new record.
  std::int32_t fileSize = kFileSizeNotAnalysed;
  /// How often the mosaic being built places the tile; 0 on load.
  std::uint32_t useCount = 0;
  /// Sequence or variant group number (see `numberGroups`); 0 on load.
  std::uint32_t groupId = 0;
  /// 1 when the tile comes from the Required list, else 0.
  std::int16_t required = 0;

  /// Keeps the live-object counter right for construction, copies and destruction.
  LiveObjectCounter<LiveObject::FotoInfo> liveCounter;

  /// True for a video clip (frameRate not 0).
  [[nodiscard]] bool isClip() const { return frameRate != 0; }

  friend bool operator==(const FotoInfo&, const FotoInfo&) = default;
};

}  // namespace tg
