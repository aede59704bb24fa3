// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tg {

/// Whether this processor runs 256-bit integer vector code (AVX2), asked once. The fast loops
/// that need it check this and otherwise take their plain or 128-bit forms. Any thread.
[[nodiscard]] bool cpuHasAvx2();

}  // namespace tg
