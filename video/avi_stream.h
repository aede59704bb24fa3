// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "video/avi_error.h"

struct AVFrame;

namespace tg {

struct Foto;
class SquareSums;

/// Reads the frames of the first video stream of any file the FFmpeg libraries can read (AVI,
/// DIVX/XVID, MOV, MP4, MPG, MKV, ...) as packed, uncompressed bitmaps.
///
/// A frame is delivered as a `BitmapInfoHeader` followed, for 8-bit palettised sources, by 256
/// colour entries (blue, green, red, 0) and then the rows bottom-up, each padded to 4 bytes:
/// 24-bit blue-green-red for every source that is not palettised. Frame k is exactly the k-th
/// frame in presentation order, also when it has to be decoded from an earlier key frame.
///
/// Every failing `open` composes the reader's message ("Unable to read the video" + step, text,
/// code) and shows it when `showErrors()` is set; `frame` fails quietly (callers that read many
/// frames count failures). Under Wine every operation fails at once without a message.
/// An object belongs to one thread at a time; different objects may be used on different
/// threads at once (the tile loader still serialises clip reads through `videoLock()`).
class CAviStream final : public CAviError {
 public:
  CAviStream();
  ~CAviStream() override;

  /// Opens the first video stream of `path`, closing a previous stream first. False on failure
  /// (message composed, shown when `showErrors()`).
  [[nodiscard]] bool open(const std::string& path);
  /// Opens the file `other` has open, taking over its packet index instead of reading the file
  /// for it again: a second reader of one film for another thread. False when `other` has
  /// nothing open or the file cannot be opened again.
  [[nodiscard]] bool openLike(const CAviStream& other);
  /// Takes over what `other`, open on the same file (`openLike`), has learned since about which
  /// key frames are shown first, so that this reader too starts decoding at such a key frame
  /// instead of one group earlier. Nothing happens when the two do not share an index.
  void learnKeyOrder(const CAviStream& other);
  /// Decoder threads used by the next `open` (1 by default, 0 lets the decoder choose). Worth it
  /// for a reader that decodes long runs of frames; single frames of short clips do not gain.
  void setDecoderThreads(int count);
  /// Whether a stream is open.
  [[nodiscard]] bool isOpen() const;

  /// The number of frames of the stream that can be shown, counted from its packets when it is
  /// opened (a header's claim is not trusted: a cut file holds fewer). 0 when nothing is open.
  [[nodiscard]] uint32_t frameCount();
  /// The frame rate in 1/500 frame per second, rounded to the nearest integer (25 fps is 12500,
  /// 29.97 fps is 14985); 0 when nothing is open or the stream does not say.
  [[nodiscard]] uint32_t frameRate() const;
  /// Frame size in pixels of the stream (0 when nothing is open).
  [[nodiscard]] int width() const;
  [[nodiscard]] int height() const;
  /// True when frames are delivered as 8-bit palettised bitmaps.
  [[nodiscard]] bool palettised() const;

  /// Frame `index` (0-based, in the order frames are shown) as a packed bitmap, or nullptr when
  /// there is no such frame or it cannot be decoded or told apart from its neighbours with
  /// certainty (no message): a failure never hands out another frame's picture. Frames are
  /// numbered by counting what the decoder shows from a key frame, not by time stamps, so clips
  /// without time stamps on every frame (AVI, MPEG program streams) number them right too. The
  /// bytes belong to this object and stay valid until the next `frame`, `open` or `close`;
  /// `frameBytes()` tells their number.
  [[nodiscard]] const uint8_t* frame(uint32_t index);
  /// Frame `index` as `frameToFoto` would make it of `frame(index)`, converted straight into
  /// `target`, whose pixels are reused when it already has the frame's size. False (target
  /// possibly changed) when `frame` would give nothing or no memory is left.
  [[nodiscard]] bool frameImage(uint32_t index, Foto& target);
  /// A decoded frame held apart from its reader: a reference to the decoder's picture, no copy.
  /// It stays valid after the reader moves on or closes, and may be converted on another thread
  /// while the reader decodes the next frame.
  struct HeldFrame;
  struct HeldFrameDeleter {
    void operator()(HeldFrame* held) const;
  };
  using HeldFramePtr = std::unique_ptr<HeldFrame, HeldFrameDeleter>;
  /// Frame `index`, found as `frame` finds it, held for `convertFrame`; nullptr when `frame`
  /// would give nothing.
  [[nodiscard]] HeldFramePtr holdFrame(uint32_t index);
  /// The decoded picture of a held frame, for `CAviCreate::writePicture`.
  [[nodiscard]] static const AVFrame& picture(const HeldFrame& frame);
  /// A rectangle of a frame in pixels.
  struct FramePart {
    uint32_t x = 0;
    uint32_t y = 0;
    uint32_t width = 0;
    uint32_t height = 0;
  };
  /// Converts a held frame as `frameImage` converts, into `target`. With `part`, only the pixels
  /// of that rectangle (and a few around it) are sure to be converted, the same as a whole
  /// conversion gives them; the others may keep what `target` held. With `sums`, the rows of its
  /// square (which must lie in what is converted) are added to it as they are converted. Any
  /// thread.
  [[nodiscard]] static bool convertFrame(const HeldFrame& frame, Foto& target,
                                         const FramePart* part = nullptr,
                                         SquareSums* sums = nullptr);
  /// Size in bytes of the bitmap last returned by `frame` (header, palette and rows).
  [[nodiscard]] std::size_t frameBytes() const;

  /// Releases the decoder and the file. The destructor closes.
  void close();

 private:
  struct State;
  bool openFile(const std::string& path, const State* indexFrom);
  std::unique_ptr<State> m_state;
  int m_decoderThreads = 1;
};

}  // namespace tg
