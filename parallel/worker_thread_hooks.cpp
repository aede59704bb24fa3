// SPDX-License-Identifier: GPL-3.0-or-later
#include "parallel/worker_pool.h"

namespace tg {

WorkerThreadHooks defaultWorkerThreadHooks() {
  WorkerThreadHooks hooks;
  // GAP (filled once the platform layer commits its helpers): initThreadText() and the thread
  // priority; closeThreadText() in leave.
  hooks.enter = [](int) { return true; };
  hooks.leave = [] {};
  return hooks;
}

}  // namespace tg
