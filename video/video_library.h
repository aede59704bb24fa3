// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tg {

/// Prepares the FFmpeg libraries for the video layer: their own console logging is reduced to
/// fatal errors, because every failure the user must know of is reported through the layer's
/// own messages. Idempotent and safe on any thread; the reader and writer call it themselves,
/// start-up calls it once so that nothing else logs before.
void initVideoLibrary();

/// Whether video can be read and written: false under Wine, where every video operation fails
/// at once without a message. Safe on any thread.
[[nodiscard]] bool videoAvailable();

/// Test seam: while an object lives, `videoAvailable()` answers false as it does under Wine.
/// Not for use outside tests; objects must not overlap across threads.
class ScopedVideoUnavailable {
 public:
  ScopedVideoUnavailable();
  ~ScopedVideoUnavailable();
  ScopedVideoUnavailable(const ScopedVideoUnavailable&) = delete;
  ScopedVideoUnavailable& operator=(const ScopedVideoUnavailable&) = delete;

 private:
  bool m_previous;
};

}  // namespace tg
