// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace tg {

/// Result codes of the video layer. They keep the numbers users and support texts already know
/// from the AVI file interface; failures of the FFmpeg libraries are mapped onto them
/// (`aviErrorFromFfmpeg`).
namespace avierr {
inline constexpr uint32_t kClassNotRegistered = 0x80040154;
inline constexpr uint32_t kUnsupported = 0x80044065;
inline constexpr uint32_t kBadFormat = 0x80044066;
inline constexpr uint32_t kMemory = 0x80044067;
inline constexpr uint32_t kInternal = 0x80044068;
inline constexpr uint32_t kBadFlags = 0x80044069;
inline constexpr uint32_t kBadParam = 0x8004406A;
inline constexpr uint32_t kBadSize = 0x8004406B;
inline constexpr uint32_t kBadHandle = 0x8004406C;
inline constexpr uint32_t kFileRead = 0x8004406D;
inline constexpr uint32_t kFileWrite = 0x8004406E;
inline constexpr uint32_t kFileOpen = 0x8004406F;
inline constexpr uint32_t kCompressor = 0x80044070;
inline constexpr uint32_t kNoCompressor = 0x80044071;
inline constexpr uint32_t kReadOnly = 0x80044072;
inline constexpr uint32_t kNoData = 0x80044073;
inline constexpr uint32_t kBufferTooSmall = 0x80044074;
inline constexpr uint32_t kCantCompress = 0x80044075;
inline constexpr uint32_t kUserAbort = 0x800440C6;
inline constexpr uint32_t kError = 0x800440C7;
}  // namespace avierr

/// The numbered steps at which opening or creating a video can fail; they appear in the
/// message so that a report from a user says where it failed.
enum class AviStep : int {
  OpenStream = 1,
  ReadFormat = 2,
  NoFrameDecompression = 3,
  StreamInformation = 4,
  OpenFile = 10,
  CreateStream = 11,
  CompressedStream = 12,
  SetFormat = 13,
  WriteFrame = 15,
};

/// The English catalogue key describing `code` ("AVIERR_BADFORMAT: Corrupt file or unrecognized
/// format", ..., "Unknown AVI Error" for codes outside the table). Not translated.
[[nodiscard]] const char* aviErrorText(uint32_t code);

/// Maps a negative FFmpeg error (an `AVERROR(...)` value) onto a result code. Errors that say
/// nothing more specific than "it failed" give `fallback`, so that the caller chooses what such a
/// failure means at its step (an unreadable header is a bad format, a failed write a disk error).
[[nodiscard]] uint32_t aviErrorFromFfmpeg(int ffmpegError, uint32_t fallback);

/// Base of the video reader and writer: composes the one message every failure produces and
/// shows it when asked to. Not thread-safe; an object belongs to one thread at a time.
class CAviError {
 public:
  /// `isWriter` selects the message prefix: "Unable to Create the Video" for writers, "Unable
  /// to read the video" for readers.
  explicit CAviError(bool isWriter) : m_isWriter(isWriter) {}
  virtual ~CAviError() = default;
  CAviError(const CAviError&) = delete;
  CAviError& operator=(const CAviError&) = delete;

  /// The last error message ("" before the first failure).
  [[nodiscard]] const std::string& message() const { return m_message; }
  /// The library's own description of the last failure (for logs and bug reports), or "".
  [[nodiscard]] const std::string& technicalDetail() const { return m_detail; }

  /// Whether each failure is also shown to the user (default: yes).
  [[nodiscard]] bool showErrors() const { return m_showErrors; }
  void setShowErrors(bool show) { m_showErrors = show; }

  /// True for `CAviCreate`, false for `CAviStream`.
  [[nodiscard]] bool isWriter() const { return m_isWriter; }

 protected:
  /// Composes the message for a failure at `step` with result `code`, keeps `detail` beside it
  /// and shows the message through `UserDialogs` when `showErrors()` is set. Callable on any
  /// thread that owns the object.
  void reportError(AviStep step, uint32_t code, std::string detail = {});
  /// As `reportError`, with the code and detail taken from an FFmpeg error.
  void reportFfmpegError(AviStep step, int ffmpegError, uint32_t fallback);

 private:
  std::string m_message;
  std::string m_detail;
  bool m_showErrors = true;
  bool m_isWriter;
};

}  // namespace tg
