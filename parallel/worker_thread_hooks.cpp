// SPDX-License-Identifier: GPL-3.0-or-later
#include "parallel/worker_pool.h"

#include "platform/thread_priority.h"
#include "platform/thread_text.h"

namespace tg {

WorkerThreadHooks defaultWorkerThreadHooks() {
  WorkerThreadHooks hooks;
  hooks.enter = [](int priority) {
    // initThreadText tells the user itself when it fails; the thread then ends.
    if (!initThreadText()) return false;
    // A refused raise leaves the thread at normal priority, which is good enough to work.
    (void)setCurrentThreadPriority(threadPriorityFromLevel(priority));
    return true;
  };
  hooks.leave = [] { closeThreadText(); };
  return hooks;
}

}  // namespace tg
