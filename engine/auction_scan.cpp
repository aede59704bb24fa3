// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/auction_scan.h"

#include <algorithm>
#include <bit>

#include "geometry/cell_grid.h"
#include "job/mosaic_job.h"
#include "parallel/worker_pool.h"
#include "tiles/foto_info.h"

namespace tg {

namespace {

std::vector<CellComparison> prepare(const ComparisonSettings& settings,
                                    std::span<PuzzleInfo* const> cells, std::size_t first,
                                    std::size_t count) {
  std::vector<CellComparison> comparisons;
  count = std::min(count, CellBlock::kCells);
  comparisons.reserve(count);
  for (std::size_t i = first; i < first + count; ++i) {
    comparisons.emplace_back(settings, cells[i]->signature, cells[i]->weight);
  }
  return comparisons;
}

}  // namespace

NearLists::NearLists(std::size_t lists, std::size_t capacity)
    : m_capacity(capacity),
      m_entries(lists * capacity),
      m_sizes(lists, 0),
      m_limits(lists, kNoMatch) {}

void NearLists::offer(std::size_t list, const NearPair& pair) {
  if (pair.score == kNoMatch || m_capacity == 0) return;
  NearPair* heap = m_entries.data() + list * m_capacity;
  std::uint32_t& size = m_sizes[list];
  if (size < m_capacity) {
    heap[size++] = pair;
    std::push_heap(heap, heap + size, nearBefore);
  } else if (nearBefore(pair, heap[0])) {
    std::pop_heap(heap, heap + size, nearBefore);
    heap[size - 1] = pair;
    std::push_heap(heap, heap + size, nearBefore);
  } else {
    return;
  }
  if (size == m_capacity) m_limits[list] = heap[0].score;
}

void NearLists::merge(std::size_t list, const NearLists& other, std::size_t otherList) {
  const NearPair* pairs = other.m_entries.data() + otherList * other.m_capacity;
  for (std::uint32_t i = 0; i < other.m_sizes[otherList]; ++i) offer(list, pairs[i]);
}

std::span<const NearPair> NearLists::sorted(std::size_t list) {
  NearPair* pairs = m_entries.data() + list * m_capacity;
  std::sort(pairs, pairs + m_sizes[list], nearBefore);
  return {pairs, m_sizes[list]};
}

PreparedCells::PreparedCells(const ComparisonSettings& settings, std::span<PuzzleInfo* const> cells,
                             std::size_t first, std::size_t count)
    : m_comparisons(prepare(settings, cells, first, count)), m_block([this] {
        for (std::size_t i = 0; i < m_comparisons.size(); ++i) m_pointers[i] = &m_comparisons[i];
        return std::span<const CellComparison* const>(m_pointers.data(), m_comparisons.size());
      }()) {}

namespace {
// Significant bits kept of a coarse distance; distances below 2^kCoarseBits stay exact.
constexpr unsigned kCoarseBits = 12;
constexpr std::uint32_t kHalfRange = 1u << (kCoarseBits - 1);
constexpr std::uint16_t kCoarseNone = 0xFFFF;
}  // namespace

std::uint16_t toCoarse(std::uint32_t score) {
  if (score == kNoMatch) return kCoarseNone;
  const auto width = static_cast<unsigned>(std::bit_width(score));
  if (width <= kCoarseBits) return static_cast<std::uint16_t>(score);
  // Shift s keeps the leading 12 bits, 2^11 .. 2^12 - 1; the codes of shift s then run from
  // (s + 1) x 2^11 to (s + 2) x 2^11 - 1, right after those of s - 1 (the largest, for
  // s = 20, stays below 0xFFFF).
  const unsigned shift = width - kCoarseBits;
  return static_cast<std::uint16_t>(shift * kHalfRange + (score >> shift));
}

std::vector<TileSquares> squaresOf(std::span<FotoInfo* const> tiles) {
  std::vector<TileSquares> squares;
  squares.reserve(tiles.size());
  for (const FotoInfo* tile : tiles) squares.push_back(tileSquares(tile->signature));
  return squares;
}

ScanWorkers::ScanWorkers(const MosaicJob& job) {
  if (job.threadCount > 1) {
    m_pool = std::make_unique<WorkerPool>();
    m_pool->setThreadCount(job.threadCount - 1, job.workerPriority);
  }
}

ScanWorkers::~ScanWorkers() = default;

void ScanWorkers::forParts(std::size_t parts, const std::function<void(std::size_t)>& work) {
  if (!m_pool || parts < 2) {
    for (std::size_t part = 0; part < parts; ++part) work(part);
    return;
  }
  JobGroup group(*m_pool, true);
  for (std::size_t part = 0; part < parts; ++part) {
    group.submit(makeParallelJob([&work, part] { work(part); }));
  }
  group.waitIdle();
}

}  // namespace tg
