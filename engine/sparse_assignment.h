// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <span>
#include <vector>

namespace tg {

/// One pair a bidder may take: the item and its cost (a distance; lower is better).
struct AssignmentEdge {
  std::uint32_t item;
  std::uint32_t cost;
};

/// An exact assignment on a sparse bipartite graph: every bidder takes at most one item of its
/// row and every item goes to at most one bidder, so that first as many bidders as possible are
/// served and then the sum of their costs is the smallest possible. Pairs not in any row do not
/// exist. Each bidder may also stay unserved at a cost `unservedCost()` larger than any sum of
/// real costs, which turns "as many as possible, then cheapest" into one smallest sum.
///
/// Solved by shortest augmenting paths with item prices (a Dijkstra search over reduced costs
/// per waiting bidder), so that at every moment the served pairs are valid and, once `solve`
/// has returned true, optimal for the rows given. Rows may grow afterwards (`addEdges`): the
/// prices and the assignment are kept except where a new pair proves them wrong, and the next
/// `solve` serves only the bidders that had to let go. Integer arithmetic throughout; the
/// results depend only on the rows and the order in which they were given. Not thread-safe.
class SparseAssignment {
 public:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
  static constexpr std::int64_t kInfinite = std::numeric_limits<std::int64_t>::max();

  /// `bidders` bidders (at most 2^30) with empty rows and `items` items, all prices 0.
  SparseAssignment(std::size_t bidders, std::size_t items);

  /// Appends `edges` to the bidder's row; the caller gives each item at most once per row.
  /// A served bidder for which a new pair costs less than its present level lets its item go
  /// (see `level`), and so do the bidders that prefer that item once its price has fallen to 0.
  void addEdges(std::uint32_t bidder, std::span<const AssignmentEdge> edges);

  /// Serves every waiting bidder, in bidder order. `afterStep` runs after each step that
  /// changed the assignment (one more bidder served or given up as unserved); when it returns
  /// false the solve ends at once and returns false, leaving a valid partial assignment that
  /// the next `solve` continues. True when every bidder is served or known unserved.
  /// `afterPass` runs whenever no bidder waits, before the prices of free items are lowered
  /// (which may release bidders for another pass).
  [[nodiscard]] bool solve(const std::function<bool()>& afterStep = {},
                           const std::function<void()>& afterPass = {});

  [[nodiscard]] std::size_t bidderCount() const { return m_itemOf.size(); }
  [[nodiscard]] std::size_t itemCount() const { return m_bidderOf.size(); }
  /// The bidder's item, or `kNone` when it is unserved or waiting.
  [[nodiscard]] std::uint32_t itemOf(std::uint32_t bidder) const;
  /// The cost of the bidder's pair (0 when it holds no item).
  [[nodiscard]] std::uint32_t costOf(std::uint32_t bidder) const { return m_cost[bidder]; }
  /// The item's bidder, or `kNone`.
  [[nodiscard]] std::uint32_t bidderOf(std::uint32_t item) const { return m_bidderOf[item]; }
  [[nodiscard]] std::int64_t price(std::uint32_t item) const { return m_price[item]; }
  /// The lowest price of any item (0 while an item is free).
  [[nodiscard]] std::int64_t lowestPrice() const;
  /// What the bidder pays now: the cost of its pair plus the item's price, `unservedCost()`
  /// when it is unserved, `kInfinite` while it waits. After a successful `solve` the
  /// assignment is optimal for every pair (bidder, item) outside the rows too as long as each
  /// such pair costs at least `level(bidder) - price(item)`.
  [[nodiscard]] std::int64_t level(std::uint32_t bidder) const;
  [[nodiscard]] std::int64_t unservedCost() const { return m_unserved; }
  [[nodiscard]] std::span<const AssignmentEdge> row(std::uint32_t bidder) const {
    return m_rows[bidder];
  }
  /// The number of served bidders.
  [[nodiscard]] std::size_t servedCount() const { return m_served; }
  /// The number of bidders waiting for `solve`.
  [[nodiscard]] std::size_t waitingCount() const { return m_waiting.size(); }

 private:
  enum class State : std::uint8_t { Waiting, Served, Unserved };

  // Cheap bids for the `waiting` bidders, which afterwards hold those still waiting; false
  // when `afterStep` asked to stop.
  [[nodiscard]] bool bid(std::vector<std::uint32_t>& waiting,
                         const std::function<bool()>& afterStep);
  // One Dijkstra search from `bidder` and the augmentation it finds.
  void serve(std::uint32_t bidder);
  void release(std::uint32_t bidder);
  // Lowers the prices of the free items to 0, releasing every bidder that then prefers one of
  // them; true when any bidder was released.
  [[nodiscard]] bool settleFreeItems();

  std::int64_t m_unserved;
  std::vector<std::vector<AssignmentEdge>> m_rows;
  // For every item, the bidders whose rows hold it.
  std::vector<std::vector<std::uint32_t>> m_holders;
  std::vector<State> m_state;
  std::vector<std::uint32_t> m_itemOf;
  std::vector<std::uint32_t> m_cost;
  std::vector<std::uint32_t> m_bidderOf;
  std::vector<std::int64_t> m_price;
  std::size_t m_served = 0;
  // Bidders to serve, kept sorted by the next solve.
  std::vector<std::uint32_t> m_waiting;
  // Free items whose price may have to fall to 0.
  std::vector<std::uint32_t> m_freed;

  // The search's scratch space, reset after every search for the entries it touched.
  std::vector<std::int64_t> m_distance;
  std::vector<std::uint32_t> m_from;
  std::vector<std::uint32_t> m_fromCost;
  std::vector<std::uint8_t> m_settled;
  std::vector<std::uint32_t> m_touched;
  std::vector<std::uint32_t> m_settledItems;
  std::vector<std::pair<std::int64_t, std::uint32_t>> m_heap;
};

}  // namespace tg
