// SPDX-License-Identifier: GPL-3.0-or-later
// The exact sparse assignment against exhaustive search on small random problems: missing
// pairs, ties, rows given in pieces, and a solve stopped half-way and continued.
#include "engine/sparse_assignment.h"

#include <algorithm>
#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace tg {
namespace {

// cost[b][i], or -1 where the pair does not exist.
using Costs = std::vector<std::vector<std::int64_t>>;

struct Outcome {
  std::size_t served = 0;
  std::int64_t total = 0;
  friend bool operator==(const Outcome&, const Outcome&) = default;
};

// Most bidders served, then the smallest total, by trying every assignment.
Outcome bestByExhaustiveSearch(const Costs& cost) {
  const std::size_t items = cost.empty() ? 0 : cost[0].size();
  std::vector<bool> taken(items, false);
  Outcome best;
  Outcome now;
  const auto search = [&](const auto& self, std::size_t bidder) -> void {
    if (bidder == cost.size()) {
      if (now.served > best.served || (now.served == best.served && now.total < best.total)) {
        best = now;
      }
      return;
    }
    self(self, bidder + 1);  // unserved
    for (std::size_t item = 0; item < items; ++item) {
      if (taken[item] || cost[bidder][item] < 0) continue;
      taken[item] = true;
      ++now.served;
      now.total += cost[bidder][item];
      self(self, bidder + 1);
      --now.served;
      now.total -= cost[bidder][item];
      taken[item] = false;
    }
  };
  search(search, 0);
  return best;
}

// The assignment's outcome; fails the test when an item is used twice or a pair is not in the
// bidder's row.
Outcome outcomeOf(const SparseAssignment& assignment, const Costs& cost) {
  Outcome outcome;
  std::set<std::uint32_t> used;
  for (std::uint32_t bidder = 0; bidder < assignment.bidderCount(); ++bidder) {
    const std::uint32_t item = assignment.itemOf(bidder);
    if (item == SparseAssignment::kNone) continue;
    EXPECT_TRUE(used.insert(item).second) << "item " << item << " used twice";
    EXPECT_GE(cost[bidder][item], 0) << "pair not offered";
    EXPECT_EQ(assignment.bidderOf(item), bidder);
    ++outcome.served;
    outcome.total += cost[bidder][item];
  }
  return outcome;
}

Costs randomCosts(std::mt19937& random, std::size_t bidders, std::size_t items, int missingPercent,
                  int distinct) {
  Costs cost(bidders, std::vector<std::int64_t>(items));
  for (auto& row : cost) {
    for (auto& value : row) {
      value = static_cast<int>(random() % 100) < missingPercent
                  ? -1
                  : static_cast<std::int64_t>(random() % static_cast<unsigned>(distinct)) * 1000;
    }
  }
  return cost;
}

std::vector<AssignmentEdge> rowOf(const Costs& cost, std::size_t bidder) {
  std::vector<AssignmentEdge> row;
  for (std::size_t item = 0; item < cost[bidder].size(); ++item) {
    if (cost[bidder][item] >= 0) {
      row.push_back(
          {static_cast<std::uint32_t>(item), static_cast<std::uint32_t>(cost[bidder][item])});
    }
  }
  return row;
}

TEST(SparseAssignment, ServesMostBiddersAtTheLeastTotal) {
  std::mt19937 random(7);
  // Shapes with fewer, as many and (through missing pairs) effectively more bidders than
  // items; few distinct costs make ties everywhere.
  for (const auto& [bidders, items] : {std::pair{4, 7}, std::pair{6, 6}, std::pair{7, 5}}) {
    for (const int missing : {0, 40, 75}) {
      for (int trial = 0; trial < 30; ++trial) {
        SCOPED_TRACE(std::to_string(bidders) + "x" + std::to_string(items) + " missing " +
                     std::to_string(missing) + " trial " + std::to_string(trial));
        const Costs cost =
            randomCosts(random, static_cast<std::size_t>(bidders), static_cast<std::size_t>(items),
                        missing, trial % 2 ? 3 : 50);
        SparseAssignment assignment(cost.size(), cost[0].size());
        for (std::size_t b = 0; b < cost.size(); ++b) {
          assignment.addEdges(static_cast<std::uint32_t>(b), rowOf(cost, b));
        }
        ASSERT_TRUE(assignment.solve());
        EXPECT_EQ(outcomeOf(assignment, cost), bestByExhaustiveSearch(cost));
        EXPECT_EQ(assignment.waitingCount(), 0u);
      }
    }
  }
}

TEST(SparseAssignment, OneMoreBidderServedBeatsAnySavingInCost) {
  // Bidder 0 alone on item 0 would cost nothing; serving both costs the largest distances.
  SparseAssignment assignment(2, 2);
  const std::vector<AssignmentEdge> first = {{0, 0}, {1, 0xFFFFFFFEu}};
  const std::vector<AssignmentEdge> second = {{0, 0xFFFFFFFEu}};
  assignment.addEdges(0, first);
  assignment.addEdges(1, second);
  ASSERT_TRUE(assignment.solve());
  EXPECT_EQ(assignment.servedCount(), 2u);
  EXPECT_EQ(assignment.itemOf(0), 1u);
  EXPECT_EQ(assignment.itemOf(1), 0u);
}

TEST(SparseAssignment, RowsGivenInPiecesReachTheSameOptimum) {
  // The nearest pairs first, the others after a solve, as the placement adds them after its
  // checks: kept prices and released bidders must end where a solve of all pairs ends.
  std::mt19937 random(11);
  for (int trial = 0; trial < 60; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    const std::size_t bidders = 3 + random() % 5;
    const std::size_t items = bidders + random() % 3;
    const Costs cost = randomCosts(random, bidders, items, 20, trial % 3 ? 8 : 60);
    SparseAssignment assignment(bidders, items);
    std::vector<std::vector<AssignmentEdge>> rest(bidders);
    for (std::size_t b = 0; b < bidders; ++b) {
      std::vector<AssignmentEdge> row = rowOf(cost, b);
      std::sort(row.begin(), row.end(),
                [](const auto& x, const auto& y) { return x.cost < y.cost; });
      const std::size_t now = std::min<std::size_t>(row.size(), 1 + trial % 2);
      assignment.addEdges(static_cast<std::uint32_t>(b), {row.data(), now});
      rest[b].assign(row.begin() + static_cast<std::ptrdiff_t>(now), row.end());
    }
    ASSERT_TRUE(assignment.solve());
    for (std::size_t b = 0; b < bidders; ++b) {
      assignment.addEdges(static_cast<std::uint32_t>(b), rest[b]);
    }
    ASSERT_TRUE(assignment.solve());
    EXPECT_EQ(outcomeOf(assignment, cost), bestByExhaustiveSearch(cost));
    // The prices prove it: no pair costs less than its bidder pays.
    for (std::uint32_t b = 0; b < bidders; ++b) {
      for (const AssignmentEdge& edge : assignment.row(b)) {
        EXPECT_GE(std::int64_t{edge.cost} + assignment.price(edge.item), assignment.level(b));
      }
    }
  }
}

TEST(SparseAssignment, AStoppedSolveLeavesValidPairsAndContinues) {
  std::mt19937 random(3);
  const Costs cost = randomCosts(random, 7, 7, 10, 20);
  const Outcome best = bestByExhaustiveSearch(cost);
  for (int stopAfter = 1; stopAfter < 12; ++stopAfter) {
    SCOPED_TRACE("stop after " + std::to_string(stopAfter));
    SparseAssignment assignment(7, 7);
    for (std::size_t b = 0; b < 7; ++b) {
      assignment.addEdges(static_cast<std::uint32_t>(b), rowOf(cost, b));
    }
    int steps = 0;
    const bool finished = assignment.solve([&] { return ++steps < stopAfter; });
    const Outcome partial = outcomeOf(assignment, cost);
    if (!finished) {
      EXPECT_EQ(steps, stopAfter);
      EXPECT_LE(partial.served, best.served);
      ASSERT_TRUE(assignment.solve());
    }
    EXPECT_EQ(outcomeOf(assignment, cost), best);
  }
}

}  // namespace
}  // namespace tg
