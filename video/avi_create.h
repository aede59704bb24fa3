// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "imaging/frame_bitmap.h"
#include "video/avi_error.h"

struct AVFrame;

namespace tg {

/// Writes one video stream into an AVI file, every frame a key frame.
///
/// Frames are handed over as 24-bit bottom-up bitmaps (rows of blue, green, red, no padding
/// beyond the 4-byte row alignment) of exactly the format `create` fills in: the requested size
/// rounded down to a multiple of 8 × 4. A FourCC of 0 stores them uncompressed; otherwise the
/// FourCC names the FFmpeg encoder: "MJPG" (Motion JPEG), "XVID", "DIVX", "DX50", "FMP4" (MPEG-4
/// part 2, tagged with that FourCC), "FFV1", "HFYU" (lossless), "H264", "X264", "AVC1" (H.264
/// where the build has an encoder). Letters are matched without regard to case; the tag written
/// keeps the case given. Any other FourCC, or an encoder this build lacks, fails at step 12 with
/// the AVIERR_NOCOMPRESSOR text.
///
/// Every failure composes the writer's message ("Unable to Create the Video" + step, text, code)
/// and shows it when `showErrors()` is set. Under Wine every operation fails at once without a
/// message. An object belongs to one thread at a time.
class CAviCreate final : public CAviError {
 public:
  CAviCreate();
  /// Closes the file; a failure at that point is only reported through `message()`.
  ~CAviCreate() override;

  /// Creates (or replaces) the AVI file `path` for frames of `width` × `height` pixels, rounded
  /// down to a multiple of 8 × 4, at `rate` frames per 500 seconds (12500 is 25 fps), through
  /// the codec `fourcc` (0: uncompressed). Closes what was open first. On success `format`
  /// receives the frame format the caller must deliver (width, height, 24 bits, image size).
  /// With `sample`, a decoded picture like those `writePicture` will get, the codec stores the
  /// colours in the form nearest to the picture's (4:2:0 pictures stay 4:2:0) instead of the form
  /// nearest to blue-green-red.
  [[nodiscard]] bool create(const std::string& path, BitmapInfoHeader& format, int width,
                            int height, uint32_t fourcc, uint32_t rate,
                            const AVFrame* sample = nullptr);

  /// Appends one frame of `size` bytes (at least the image size of the format) as a key frame
  /// at the next index. False on failure (step 15).
  [[nodiscard]] bool writeFrame(const uint8_t* bits, std::size_t size);

  /// Whether `writePicture` can take the part at `left`, `top` (the writer's frame size) of a
  /// decoded picture: for a compressed stream, when the part lies inside the picture and starts
  /// on a whole sample of every colour plane.
  [[nodiscard]] bool acceptsPicture(const AVFrame& picture, int left, int top) const;
  /// Appends that part of `picture` as a key frame at the next index, converted straight to the
  /// codec's colour format: one conversion in place of the three a bitmap takes (to blue-green-
  /// red, packed, back again), so it is faster and loses less. Motion JPEG frames of 8-bit 4:2:0
  /// pictures are coded from the planes themselves (see `setPlaneJpeg`). Only when
  /// `acceptsPicture`; false on failure (step 15).
  [[nodiscard]] bool writePicture(const AVFrame& picture, int left, int top);

  /// Whether Motion JPEG streams code 8-bit 4:2:0 pictures straight from their planes with
  /// libjpeg (on by default; takes effect at the next `create`). Off, FFmpeg's encoder codes
  /// every frame after a conversion to its colour format: the plain path, kept for comparison.
  void setPlaneJpeg(bool on) { m_planeJpeg = on; }

  /// Finishes the file (pending encoder output, index, headers) and releases everything; the
  /// frame index and byte total return to 0. False, with the message of step 15, when the file
  /// could not be completed. Does nothing and succeeds when nothing is open.
  [[nodiscard]] bool close();

  /// Whether a file is being written.
  [[nodiscard]] bool isOpen() const;
  /// Frames written since `create`.
  [[nodiscard]] uint32_t frameIndex() const;
  /// Bytes of frame data written to the file since `create`.
  [[nodiscard]] uint64_t bytesWritten() const;

 private:
  struct State;
  /// Pictures `writePlanes` takes: 8-bit 4:2:0 in three planes.
  static bool codedFromPlanes(const AVFrame& picture);
  bool writePlanes(const AVFrame& picture, int left, int top);
  /// The end of every compressed frame path: counts the frame when `result` (of encoding and
  /// writing it) is 0 or more, else reports the error of step 15; true when counted.
  bool frameWritten(int result);
  std::unique_ptr<State> m_state;
  bool m_planeJpeg = true;
};

/// The name of the FFmpeg encoder `fourcc` selects (letters matched without regard to case), or
/// nullptr for 0 and unknown codes. Whether this build has that encoder is found out by
/// `CAviCreate::create`. Pure function, any thread.
[[nodiscard]] const char* encoderNameForFourCC(uint32_t fourcc);

}  // namespace tg
