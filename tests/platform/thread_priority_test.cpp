// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/thread_priority.h"

#include <thread>

#include <gtest/gtest.h>

#include "platform/ticks.h"

namespace tg {
namespace {

TEST(ThreadPriority, StoredLevelsMapToNiceValues) {
  EXPECT_EQ(threadPriorityFromLevel(-15), ThreadPriority::Idle);
  EXPECT_EQ(threadPriorityFromLevel(-20), ThreadPriority::Idle);
  EXPECT_EQ(threadPriorityFromLevel(-2), ThreadPriority::Lowest);
  EXPECT_EQ(threadPriorityFromLevel(-1), ThreadPriority::BelowNormal);
  EXPECT_EQ(threadPriorityFromLevel(0), ThreadPriority::Normal);
  EXPECT_EQ(threadPriorityFromLevel(1), ThreadPriority::AboveNormal);
  EXPECT_EQ(threadPriorityFromLevel(7), ThreadPriority::Highest);
  EXPECT_EQ(niceValueOf(ThreadPriority::Lowest), 19);
  EXPECT_EQ(niceValueOf(ThreadPriority::BelowNormal), 10);
  EXPECT_EQ(niceValueOf(ThreadPriority::Highest), -10);
}

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

TEST(Ticks, AdvanceSteadilyAndSleepWaitsAtLeastTheTime) {
  const std::uint64_t start = tickCount64();
  const std::uint32_t start32 = tickCount();
  sleepMilliseconds(15);
  EXPECT_GE(tickCount64() - start, 15u);
  EXPECT_GE(static_cast<std::uint32_t>(tickCount() - start32), 15u);
  sleepMilliseconds(0);
}

}  // namespace
}  // namespace tg
