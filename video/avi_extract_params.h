// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tg {

struct Foto;

/// The parameters of one video extraction: the fields of the parameters dialog, which
/// `AviExtract` reads directly, and the dialog's rules (presets, checks, sample frame, automatic
/// border detection, preview size). The dialog is a view over it; the CLI fills it from its
/// options. A plain value; window (or CLI) thread.
struct CDialogGetAviParam {
  /// The cut rectangle, in pixels of the video frame.
  std::uint32_t height = 0;
  std::uint32_t width = 0;
  std::uint32_t left = 0;
  std::uint32_t top = 0;
  /// The frame range, 0-based, both ends included.
  std::uint32_t firstFrame = 0;
  std::uint32_t lastFrame = 0;
  std::int32_t jpegQuality = 90;  ///< 1-100
  std::int32_t saveBmp = 0;
  std::int32_t saveJpeg = 1;
  std::int32_t extractClips = 0;
  std::int32_t imageCount = 0;
  std::string filePrefix;  ///< at most `kMaxPrefixLength` characters
  /// The frame the preview shows.
  std::uint32_t sampleFrame = 0;

  static constexpr std::size_t kMaxPrefixLength = 100;
  static constexpr std::int32_t kMaxImageCount = 5000;

  /// The values the dialog opens with for a video of `videoWidth` × `videoHeight` pixels and
  /// `frameCount` frames: the whole frame, the whole range, one image per frame (1-5000), the
  /// prefix "FR", sample frame 0.
  void prepare(std::uint32_t videoWidth, std::uint32_t videoHeight, std::uint32_t frameCount);

  /// The message for a rectangle the preview cannot show (width 0 or beyond the frame width,
  /// then height likewise), or nothing when it fits the frame.
  [[nodiscard]] std::optional<std::string> rectangleProblem(std::uint32_t videoWidth,
                                                            std::uint32_t videoHeight) const;
  /// The message for values the dialog refuses before OK (JPEG quality outside 1-100, a prefix
  /// of more than 100 characters or with a path separator, a rectangle problem), or nothing.
  [[nodiscard]] std::optional<std::string> problem(std::uint32_t videoWidth,
                                                   std::uint32_t videoHeight) const;

  /// Which frame "First Frame", "Random Frame" and "Last Frame" show.
  enum class Sample { First, Random, Last };
  /// Moves the sample frame as the buttons do: the first frame of the range, a random frame
  /// within it (`random` in 0..32767) or the one before its last. Refused, with "The First/Last
  /// Frame values must be between 0 and %ld", unless firstFrame ≤ lastFrame ≤ frameCount.
  [[nodiscard]] std::optional<std::string> chooseSample(Sample which, std::uint32_t frameCount,
                                                        int random);

  /// The "Auto" button: finds the bright part of the sample frame (grey level of at least 20)
  /// and makes it the rectangle. When a frame has no such part, up to three random frames of the
  /// range are tried (`readFrame` gives a frame, nothing when it cannot be read; `random` gives
  /// 0..32767); after that the rectangle is the bright part's extent from the corner of the last
  /// frame examined. False when no frame could be read (rectangle unchanged).
  bool autoRectangle(const std::function<std::unique_ptr<Foto>(std::uint32_t)>& readFrame,
                     std::uint32_t frameCount, const std::function<int()>& random);

  /// The checks after OK, for a video of the given size and count: with clips the rectangle is
  /// rounded down to multiples of 4; a rectangle beyond the frame gives "Internal Error: The
  /// specified Position/Size is bigger than the size of a single Frame" (returned); the image
  /// count becomes at least 1 and the range is limited to the frame count.
  [[nodiscard]] std::optional<std::string> finish(std::uint32_t videoWidth,
                                                  std::uint32_t videoHeight,
                                                  std::uint32_t frameCount);

  /// Size of the preview picture inside an area of `areaWidth` × `areaHeight`: the frame fitted
  /// 2 pixels inside the area, aspect kept. 0 × 0 when nothing fits.
  static void previewSize(std::uint32_t areaWidth, std::uint32_t areaHeight,
                          std::uint32_t videoWidth, std::uint32_t videoHeight, std::uint32_t& width,
                          std::uint32_t& height);
  /// The preview picture of `frame` (the sample frame) for an area of `areaWidth` ×
  /// `areaHeight`: the frame fitted as `previewSize` says, with the cut rectangle drawn on it
  /// as a white outline. Nothing when the frame is empty or nothing fits.
  [[nodiscard]] std::unique_ptr<Foto> previewPicture(const Foto& frame, std::uint32_t areaWidth,
                                                     std::uint32_t areaHeight) const;
};

/// The filter of the file dialog that asks for the video: the usual video extensions in lower
/// and upper case, then all files (text before "|" translated).
[[nodiscard]] std::string videoFileFilter();
/// The information shown before that dialog.
[[nodiscard]] std::string videoFileNotice();

/// The bright extent of `frame`: rows and columns holding a pixel whose grey level
/// (30 R + 59 G + 11 B) / 100, rounded half up, is at least 20. False when there is none.
[[nodiscard]] bool brightExtent(const Foto& frame, std::uint32_t& left, std::uint32_t& top,
                                std::uint32_t& right, std::uint32_t& bottom);

}  // namespace tg
