// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/video_library.h"

#include <atomic>
#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

namespace tg {
namespace {

std::atomic<bool> g_forcedUnavailable{false};

}  // namespace

void initVideoLibrary() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_level(AV_LOG_FATAL); });
}

bool videoAvailable() {
  // The program never runs under Wine on Linux; only the test seam withdraws video.
  return !g_forcedUnavailable.load(std::memory_order_relaxed);
}

ScopedVideoUnavailable::ScopedVideoUnavailable()
    : m_previous(g_forcedUnavailable.exchange(true, std::memory_order_relaxed)) {}

ScopedVideoUnavailable::~ScopedVideoUnavailable() {
  g_forcedUnavailable.store(m_previous, std::memory_order_relaxed);
}

}  // namespace tg
