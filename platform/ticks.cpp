// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ticks.h"

#include <chrono>
#include <thread>

namespace tg {

std::uint64_t tickCount64() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

std::uint32_t tickCount() { return static_cast<std::uint32_t>(tickCount64()); }

void sleepMilliseconds(std::uint32_t milliseconds) {
  if (milliseconds == 0) {
    std::this_thread::yield();
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace tg
