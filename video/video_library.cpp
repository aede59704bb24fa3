// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/video_library.h"

#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

#include "platform/wine.h"

namespace tg {

void initVideoLibrary() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_level(AV_LOG_FATAL); });
}

bool videoAvailable() { return !underWine(); }

}  // namespace tg
