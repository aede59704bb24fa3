// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/thread_priority.h"

#include <thread>

#include <gtest/gtest.h>

namespace tg {
namespace {

TEST(ThreadPriority, AppliesToTheCallingThreadOnly) {
  const int before = currentThreadNice();
  std::thread([] {
    EXPECT_TRUE(setCurrentThreadPriority(ThreadPriority::Lowest));
    EXPECT_EQ(currentThreadNice(), 19);
    EXPECT_TRUE(setCurrentThreadPriority(ThreadPriority::Idle));
    EXPECT_TRUE(currentThreadIsIdle());
  }).join();
  EXPECT_EQ(currentThreadNice(), before);
  EXPECT_FALSE(currentThreadIsIdle());
}

TEST(ThreadPriority, ARefusedRaiseLeavesTheThreadAtNormal) {
  std::thread([] {
    const bool raised = setCurrentThreadPriority(ThreadPriority::AboveNormal);
    EXPECT_EQ(currentThreadNice(), raised ? -5 : 0);
    if (setCurrentThreadPriority(ThreadPriority::Idle)) {
      // Leaving the idle class needs privileges some systems withhold; when granted, the thread
      // is back in the normal class.
      if (setCurrentThreadPriority(ThreadPriority::Normal)) {
        EXPECT_FALSE(currentThreadIsIdle());
        EXPECT_EQ(currentThreadNice(), 0);
      }
    }
  }).join();
}

}  // namespace
}  // namespace tg
