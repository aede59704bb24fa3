// SPDX-License-Identifier: GPL-3.0-or-later
// The two-byte distances of the no-duplicates placement's table.
#include <cstdint>
#include <random>

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

TEST(CoarseDistance, BatchesOfARowKeepTheItemsWithinTheLimitOnBothLoops) {
  // Codes of every kind (exact, coarse up to the largest, "no match"), prices from 0 to far
  // beyond any distance, and limits right at the sums of some entries, which still count.
  std::mt19937 rng(2323);
  std::uniform_int_distribution<std::uint32_t> any;
  std::uint16_t codes[kCoarseBatch];
  std::int64_t prices[kCoarseBatch];
  int kept = 0;
  int total = 0;
  for (int round = 0; round < 2000; ++round) {
    for (std::size_t i = 0; i < kCoarseBatch; ++i) {
      const std::uint32_t pick = any(rng) % 5;
      const std::uint32_t score =
          pick == 0 ? any(rng) % 4096 : (pick == 1 ? kMaxScore - any(rng) % 3 : any(rng));
      codes[i] = pick == 4 ? toCoarse(kNoMatch) : toCoarse(score);
      prices[i] = round % 3 == 0 ? 0 : static_cast<std::int64_t>(any(rng)) << (any(rng) % 24);
    }
    const std::size_t at = any(rng) % kCoarseBatch;
    std::int64_t limit = std::int64_t{fromCoarse(codes[at])} + prices[at];
    if (round % 4 == 1) limit -= 1;
    if (round % 4 == 2) limit = static_cast<std::int64_t>(any(rng)) * (1 + any(rng) % 1000);
    const std::uint64_t expected = coarseWithinPortable(codes, prices, limit);
    ASSERT_EQ(coarseWithin(codes, prices, limit), expected) << round;
    for (std::size_t i = 0; i < kCoarseBatch; ++i) {
      const bool in = codes[i] != 0xFFFF && std::int64_t{fromCoarse(codes[i])} + prices[i] <= limit;
      ASSERT_EQ((expected >> i) & 1u, in ? 1u : 0u) << round << " " << i;
      kept += in ? 1 : 0;
      ++total;
    }
  }
  EXPECT_GT(kept, total / 10);
  EXPECT_LT(kept, total - total / 10);
}

}  // namespace
}  // namespace tg
