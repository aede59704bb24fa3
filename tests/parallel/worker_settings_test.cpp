// SPDX-License-Identifier: GPL-3.0-or-later
#include "parallel/worker_settings.h"

#include <gtest/gtest.h>

#include "config/advanced_settings.h"

namespace tg {
namespace {

TEST(WorkerThreadCount, UsesTheRowOrTheProcessorCount) {
  struct Row {
    std::string value;
    unsigned processors;
    std::uint32_t expected;
    std::string rowAfter;
  };
  const Row rows[] = {
      {"-1", 4, 4, "4"},                          // -1 asks for the processor count and records it
      {"0", 4, 4, "0"},                           // 0 uses it without changing the row
      {"6000", 4, 4, "6000"},                     // out of range
      {"8", 4, 8, "8"},                           // an explicit count wins over the processors
      {"5000", 2, 5000, "5000"},                  // the upper bound is allowed
      {"1", 16, 1, "1"},         {"", 6, 6, ""},  // empty and garbage read as 0
      {"many", 6, 6, "many"},    {"3 threads", 8, 3, "3 threads"},
      {"-1", 0, 1, "1"},  // an unknown processor count counts as one
      {"-1", 6000, 1, "1"},
  };
  for (const Row& row : rows) {
    std::string value = row.value;
    EXPECT_EQ(workerThreadCount(value, row.processors), row.expected) << row.value;
    EXPECT_EQ(value, row.rowAfter) << row.value;
  }
}

TEST(WorkerThreadCount, RewritesMinusOneInTheAdvancedRow) {
  AdvancedSettings advanced;
  advanced.setRowValue(AdvancedRow::ThreadCount, "-1");
  const std::uint32_t count = workerThreadCount(advanced);
  EXPECT_EQ(advanced.rowValue(AdvancedRow::ThreadCount), std::to_string(count));
  advanced.setRowValue(AdvancedRow::ThreadCount, "7");
  EXPECT_EQ(workerThreadCount(advanced), 7u);
  advanced.setRowValue(AdvancedRow::Priority, "Idle");
  EXPECT_EQ(workerPriority(advanced), -15);
}

TEST(WorkerPriority, ReadsTheWordsWithoutBlanksUnderscoresOrCase) {
  EXPECT_EQ(workerPriority("IDLE"), -15);
  EXPECT_EQ(workerPriority("below normal"), -1);
  EXPECT_EQ(workerPriority("Below_Normal"), -1);
  EXPECT_EQ(workerPriority("lowest"), -2);
  EXPECT_EQ(workerPriority("NORMAL"), 0);
  EXPECT_EQ(workerPriority("above_normal"), 1);
  EXPECT_EQ(workerPriority(" Highest "), 2);
  EXPECT_EQ(workerPriority("realtime"), -2);
  EXPECT_EQ(workerPriority(""), -2);
  EXPECT_EQ(workerPriority("turbo", 0), 0);
}

}  // namespace
}  // namespace tg
