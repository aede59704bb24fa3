// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/sparse_assignment.h"

#include <algorithm>
#include <deque>
#include <functional>

namespace tg {

namespace {

using HeapEntry = std::pair<std::int64_t, std::uint32_t>;

}  // namespace

SparseAssignment::SparseAssignment(std::size_t bidders, std::size_t items)
    // Staying unserved costs more than any sum of real costs (each below 2^32), so one more
    // served bidder always beats every saving in the costs of the others.
    : m_unserved(static_cast<std::int64_t>(bidders + 1) << 32),
      m_rows(bidders),
      m_holders(items),
      m_state(bidders, State::Waiting),
      m_itemOf(bidders, kNone),
      m_cost(bidders, 0),
      m_bidderOf(items, kNone),
      m_price(items, 0),
      m_distance(items, kInfinite),
      m_from(items, kNone),
      m_fromCost(items, 0),
      m_settled(items, 0) {
  m_waiting.resize(bidders);
  for (std::uint32_t bidder = 0; bidder < bidders; ++bidder) m_waiting[bidder] = bidder;
}

std::uint32_t SparseAssignment::itemOf(std::uint32_t bidder) const {
  return m_state[bidder] == State::Served ? m_itemOf[bidder] : kNone;
}

std::int64_t SparseAssignment::level(std::uint32_t bidder) const {
  switch (m_state[bidder]) {
    case State::Served:
      return std::int64_t{m_cost[bidder]} + m_price[m_itemOf[bidder]];
    case State::Unserved:
      return m_unserved;
    case State::Waiting:
      break;
  }
  return kInfinite;
}

std::int64_t SparseAssignment::lowestPrice() const {
  if (m_price.empty()) return 0;
  return *std::min_element(m_price.begin(), m_price.end());
}

void SparseAssignment::addEdges(std::uint32_t bidder, std::span<const AssignmentEdge> edges) {
  std::vector<AssignmentEdge>& row = m_rows[bidder];
  const std::int64_t present = level(bidder);
  bool better = false;
  for (const AssignmentEdge& edge : edges) {
    row.push_back(edge);
    m_holders[edge.item].push_back(bidder);
    better = better || std::int64_t{edge.cost} + m_price[edge.item] < present;
  }
  // The bidder's level no longer is the least it can pay: it bids again from the prices as
  // they are, which stay valid for everyone else.
  if (better) release(bidder);
}

void SparseAssignment::release(std::uint32_t bidder) {
  if (m_state[bidder] == State::Waiting) return;
  if (m_state[bidder] == State::Served) {
    const std::uint32_t item = m_itemOf[bidder];
    m_bidderOf[item] = kNone;
    m_itemOf[bidder] = kNone;
    m_cost[bidder] = 0;
    --m_served;
    if (m_price[item] > 0) m_freed.push_back(item);
  }
  m_state[bidder] = State::Waiting;
  m_waiting.push_back(bidder);
}

bool SparseAssignment::settleFreeItems() {
  // An item nobody holds at the end must cost nothing, or bidders would shun it for a price it
  // no longer earns. At price 0 it may beat what some holders of it in their rows pay now;
  // they bid again, and the items they leave are lowered in turn. (While bidders wait, a free
  // item keeps its price: it is likely to be taken again, and lowering it at once would set
  // off a chain of releases for nothing. Solving never frees an item, so after one such chain
  // and a solve every free item costs nothing.)
  const std::size_t waitingBefore = m_waiting.size();
  for (std::uint32_t item = 0; item < itemCount(); ++item) {
    if (m_bidderOf[item] == kNone && m_price[item] > 0) m_freed.push_back(item);
  }
  while (!m_freed.empty()) {
    const std::uint32_t item = m_freed.back();
    m_freed.pop_back();
    if (m_bidderOf[item] != kNone || m_price[item] == 0) continue;
    m_price[item] = 0;
    for (const std::uint32_t bidder : m_holders[item]) {
      if (m_state[bidder] == State::Waiting) continue;
      const std::int64_t present = level(bidder);
      for (const AssignmentEdge& edge : m_rows[bidder]) {
        if (edge.item == item) {
          if (std::int64_t{edge.cost} < present) release(bidder);
          break;
        }
      }
    }
  }
  return m_waiting.size() > waitingBefore;
}

bool SparseAssignment::solve(const std::function<bool()>& afterStep,
                             const std::function<void()>& afterPass) {
  do {
    std::sort(m_waiting.begin(), m_waiting.end());
    m_waiting.erase(std::unique(m_waiting.begin(), m_waiting.end()), m_waiting.end());
    std::vector<std::uint32_t> waiting;
    waiting.swap(m_waiting);
    if (!bid(waiting, afterStep)) return false;
    for (std::size_t i = 0; i < waiting.size(); ++i) {
      if (m_state[waiting[i]] != State::Waiting) continue;
      serve(waiting[i]);
      if (afterStep && !afterStep()) {
        m_waiting.assign(waiting.begin() + static_cast<std::ptrdiff_t>(i) + 1, waiting.end());
        return false;
      }
    }
    if (afterPass) afterPass();
  } while (settleFreeItems());
  return true;
}

bool SparseAssignment::bid(std::vector<std::uint32_t>& waiting,
                           const std::function<bool()>& afterStep) {
  // Cheap steps first: a waiting bidder takes its cheapest item and raises its price until the
  // second cheapest costs as much, which leaves every bidder holding one of its cheapest items
  // (the prices stay exact) and turns most searches into a single look at the row. The price
  // war this starts in contested places is cut short by a budget and by ties (a step that
  // would raise nothing): the bidders left then get full searches.
  std::deque<std::uint32_t> queue(waiting.begin(), waiting.end());
  std::vector<std::uint32_t> left;
  std::size_t budget = 8 * queue.size() + 64;
  while (!queue.empty()) {
    const std::uint32_t bidder = queue.front();
    queue.pop_front();
    if (m_state[bidder] != State::Waiting) continue;
    if (budget == 0) {
      left.push_back(bidder);
      continue;
    }
    --budget;
    std::int64_t best = m_unserved;
    std::int64_t second = m_unserved;
    const AssignmentEdge* bestEdge = nullptr;
    const AssignmentEdge* secondEdge = nullptr;
    for (const AssignmentEdge& edge : m_rows[bidder]) {
      const std::int64_t pays = std::int64_t{edge.cost} + m_price[edge.item];
      if (pays < best || (pays == best && bestEdge != nullptr && edge.item < bestEdge->item)) {
        second = best;
        secondEdge = bestEdge;
        best = pays;
        bestEdge = &edge;
      } else if (pays < second ||
                 (pays == second && secondEdge != nullptr && edge.item < secondEdge->item)) {
        second = pays;
        secondEdge = &edge;
      }
    }
    if (bestEdge == nullptr) {
      m_state[bidder] = State::Unserved;
    } else {
      const AssignmentEdge* take = bestEdge;
      if (best == second) {
        // A tie moves no price: take a free one of the two or leave it to the search.
        if (m_bidderOf[bestEdge->item] != kNone) take = secondEdge;
        if (take == nullptr || m_bidderOf[take->item] != kNone) {
          left.push_back(bidder);
          continue;
        }
      } else {
        m_price[take->item] += second - best;
      }
      const std::uint32_t holder = m_bidderOf[take->item];
      if (holder != kNone) {
        m_itemOf[holder] = kNone;
        m_cost[holder] = 0;
        m_state[holder] = State::Waiting;
        queue.push_back(holder);
      } else {
        ++m_served;
      }
      m_itemOf[bidder] = take->item;
      m_cost[bidder] = take->cost;
      m_bidderOf[take->item] = bidder;
      m_state[bidder] = State::Served;
    }
    if (afterStep && !afterStep()) {
      m_waiting.assign(left.begin(), left.end());
      m_waiting.insert(m_waiting.end(), queue.begin(), queue.end());
      return false;
    }
  }
  std::sort(left.begin(), left.end());
  left.erase(std::unique(left.begin(), left.end()), left.end());
  waiting.swap(left);
  return true;
}

void SparseAssignment::serve(std::uint32_t first) {
  // Dijkstra over the items with reduced costs cost + price - level >= 0: the cheapest way to
  // give `first` an item, moving bidders along a path of items until one takes a free item or
  // gives up its own and stays unserved.
  const auto relax = [&](std::uint32_t item, std::int64_t distance, std::uint32_t bidder,
                         std::uint32_t cost) {
    if (distance >= m_distance[item]) return;
    if (m_distance[item] == kInfinite) m_touched.push_back(item);
    m_distance[item] = distance;
    m_from[item] = bidder;
    m_fromCost[item] = cost;
    m_heap.emplace_back(distance, item);
    std::push_heap(m_heap.begin(), m_heap.end(), std::greater<>{});
  };

  std::int64_t start = m_unserved;
  for (const AssignmentEdge& edge : m_rows[first]) {
    start = std::min(start, std::int64_t{edge.cost} + m_price[edge.item]);
  }
  for (const AssignmentEdge& edge : m_rows[first]) {
    relax(edge.item, std::int64_t{edge.cost} + m_price[edge.item] - start, first, edge.cost);
  }
  // The cheapest way found so far to end with a bidder unserved, and that bidder.
  std::int64_t unservedEnd = m_unserved - start;
  std::uint32_t unservedBidder = first;
  std::uint32_t end = kNone;
  std::int64_t total = unservedEnd;
  while (!m_heap.empty()) {
    std::pop_heap(m_heap.begin(), m_heap.end(), std::greater<>{});
    const auto [distance, item] = m_heap.back();
    m_heap.pop_back();
    if (m_settled[item] != 0 || distance > m_distance[item]) continue;
    if (distance > unservedEnd) break;
    m_settled[item] = 1;
    m_settledItems.push_back(item);
    const std::uint32_t holder = m_bidderOf[item];
    if (holder == kNone) {
      end = item;
      total = distance;
      break;
    }
    const std::int64_t holderLevel = std::int64_t{m_cost[holder]} + m_price[item];
    for (const AssignmentEdge& edge : m_rows[holder]) {
      if (m_settled[edge.item] != 0) continue;
      relax(edge.item, distance + edge.cost + m_price[edge.item] - holderLevel, holder, edge.cost);
    }
    const std::int64_t giveUp = distance + m_unserved - holderLevel;
    if (giveUp < unservedEnd) {
      unservedEnd = giveUp;
      unservedBidder = holder;
    }
  }
  if (end == kNone) total = unservedEnd;

  // New prices keep every reduced cost at or above 0 and the pairs on the path at 0.
  for (const std::uint32_t item : m_settledItems) m_price[item] += total - m_distance[item];

  std::uint32_t item = end;
  if (end == kNone) {
    // The path ends with `unservedBidder` giving up its item (or `first` getting none).
    if (unservedBidder != first) {
      item = m_itemOf[unservedBidder];
      m_bidderOf[item] = kNone;
      m_itemOf[unservedBidder] = kNone;
      m_cost[unservedBidder] = 0;
      m_state[unservedBidder] = State::Unserved;
      --m_served;
    } else {
      m_state[first] = State::Unserved;
    }
  }
  if (item != kNone) {
    ++m_served;
    for (;;) {
      const std::uint32_t bidder = m_from[item];
      const std::uint32_t previous = m_itemOf[bidder];
      m_itemOf[bidder] = item;
      m_cost[bidder] = m_fromCost[item];
      m_bidderOf[item] = bidder;
      if (bidder == first) break;
      item = previous;
    }
    m_state[first] = State::Served;
  }

  for (const std::uint32_t touched : m_touched) {
    m_distance[touched] = kInfinite;
    m_settled[touched] = 0;
  }
  m_touched.clear();
  m_settledItems.clear();
  m_heap.clear();
}

}  // namespace tg
