// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/thread_priority.h"

#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace tg {

namespace {

pid_t currentThreadId() { return static_cast<pid_t>(syscall(SYS_gettid)); }

/// Linux applies PRIO_PROCESS with a thread id to that thread alone.
bool setNice(int nice) {
  return setpriority(PRIO_PROCESS, static_cast<id_t>(currentThreadId()), nice) == 0;
}

bool setPolicy(int policy) {
  sched_param param{};
  param.sched_priority = 0;
  return sched_setscheduler(currentThreadId(), policy, &param) == 0;
}

}  // namespace

ThreadPriority threadPriorityFromLevel(int level) {
  if (level <= -15) return ThreadPriority::Idle;
  if (level <= -2) return ThreadPriority::Lowest;
  if (level == -1) return ThreadPriority::BelowNormal;
  if (level == 0) return ThreadPriority::Normal;
  if (level == 1) return ThreadPriority::AboveNormal;
  return ThreadPriority::Highest;
}

int niceValueOf(ThreadPriority priority) {
  switch (priority) {
    case ThreadPriority::Idle:
    case ThreadPriority::Normal:
      return 0;
    case ThreadPriority::Lowest:
      return 19;
    case ThreadPriority::BelowNormal:
      return 10;
    case ThreadPriority::AboveNormal:
      return -5;
    case ThreadPriority::Highest:
      return -10;
  }
  return 0;
}

bool setCurrentThreadPriority(ThreadPriority priority) {
  if (priority == ThreadPriority::Idle) return setPolicy(SCHED_IDLE);
  if (currentThreadIsIdle() && !setPolicy(SCHED_OTHER)) return false;
  if (setNice(niceValueOf(priority))) return true;
  (void)setNice(0);  // a raise was refused: stay at normal
  return false;
}

int currentThreadNice() {
  errno = 0;
  return getpriority(PRIO_PROCESS, static_cast<id_t>(currentThreadId()));
}

bool currentThreadIsIdle() { return sched_getscheduler(currentThreadId()) == SCHED_IDLE; }

}  // namespace tg
