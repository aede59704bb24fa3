// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tg {

/// Prepares the FFmpeg libraries for the video layer: their own console logging is reduced to
/// fatal errors, because every failure the user must know of is reported through the layer's
/// own messages. Idempotent and safe on any thread; the reader and writer call it themselves,
/// start-up calls it once so that nothing else logs before.
void initVideoLibrary();

/// Whether video can be read and written: false under Wine (`underWine()`, whose test seam
/// `ScopedUnderWine` reaches this branch), where every video operation fails at once without a
/// message. Safe on any thread.
[[nodiscard]] bool videoAvailable();

}  // namespace tg
