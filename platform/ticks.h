// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace tg {

/// Milliseconds of a steady clock (unaffected by changes of the wall clock). The 32-bit value
/// wraps after about 49.7 days, so compare ticks by unsigned difference (`now - start`).
/// Safe on any thread.
[[nodiscard]] std::uint32_t tickCount();

/// The same clock without wrapping.
[[nodiscard]] std::uint64_t tickCount64();

/// Suspends the calling thread for at least `milliseconds` (0 yields the processor).
void sleepMilliseconds(std::uint32_t milliseconds);

}  // namespace tg
