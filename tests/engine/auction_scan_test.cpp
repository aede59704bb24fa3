// SPDX-License-Identifier: GPL-3.0-or-later
// The two-byte distances of the no-duplicates placement's table.
#include <cstdint>

#include <gtest/gtest.h>

#include "engine/auction_scan.h"

namespace tg {
namespace {

TEST(CoarseDistance, KeepsOrderAndComesBackWithinA4096th) {
  EXPECT_EQ(fromCoarse(toCoarse(kNoMatch)), kNoMatch);
  std::uint16_t previous = 0;
  // Every distance up to 2^16, then a sweep with a growing step up to the largest score.
  for (std::uint64_t score = 0; score <= kMaxScore; score += score < 65536 ? 1 : score / 1000 + 1) {
    const auto value = static_cast<std::uint32_t>(score);
    const std::uint16_t code = toCoarse(value);
    ASSERT_GE(code, previous) << value;
    ASSERT_NE(code, 0xFFFF) << value;
    previous = code;
    const std::uint32_t back = fromCoarse(code);
    if (value < 4096) {
      ASSERT_EQ(back, value);
    } else {
      const std::uint64_t error = back > value ? back - value : value - back;
      ASSERT_LE(error * 4096, score) << value;
    }
  }
  EXPECT_EQ(fromCoarse(toCoarse(kMaxScore)) >> 20, kMaxScore >> 20);
}

}  // namespace
}  // namespace tg
