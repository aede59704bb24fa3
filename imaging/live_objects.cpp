// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/live_objects.h"

#include <array>
#include <atomic>
#include <cstddef>

#include "platform/catalogue.h"
#include "platform/text_format.h"

namespace tg {

namespace {

std::array<std::atomic<long>, 4>& counters() {
  static std::array<std::atomic<long>, 4> values{};
  return values;
}

std::atomic<long>& counter(LiveObject kind) { return counters()[static_cast<std::size_t>(kind)]; }

}  // namespace

void countCreated(LiveObject kind) { counter(kind).fetch_add(1, std::memory_order_relaxed); }

void countDestroyed(LiveObject kind) { counter(kind).fetch_sub(1, std::memory_order_relaxed); }

long liveCount(LiveObject kind) { return counter(kind).load(std::memory_order_relaxed); }

std::string memoryLeakText() {
  // The two filter counts belong to a feature this program does not have; they stay 0.
  constexpr int kFilterCount = 0;
  constexpr int kFilterTotal = 0;
  return formatText(
      tr("Memory leak: Foto=%d, FotoInfo=%d, FotoMask=%d, PuzzleInfo=%d. PrePowX Filter Count "
         "%d/%d."),
      static_cast<int>(liveCount(LiveObject::Foto) - 1),
      static_cast<int>(liveCount(LiveObject::FotoInfo)),
      static_cast<int>(liveCount(LiveObject::FotoMask)),
      static_cast<int>(liveCount(LiveObject::PuzzleInfo)), kFilterCount, kFilterTotal);
}

}  // namespace tg
