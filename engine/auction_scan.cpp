// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/auction_scan.h"

#include <algorithm>
#include <bit>

#include <immintrin.h>

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

std::uint64_t coarseWithinPortable(const std::uint16_t* codes, const std::int64_t* prices,
                                   std::int64_t limit) {
  std::uint64_t mask = 0;
  for (std::size_t i = 0; i < kCoarseBatch; ++i) {
    if (codes[i] == kCoarseNone) continue;
    if (std::int64_t{fromCoarse(codes[i])} + prices[i] <= limit) mask |= std::uint64_t{1} << i;
  }
  return mask;
}

namespace {

// `coarseWithin` eight entries at a time: the codes decoded in 32-bit lanes as `fromCoarse`
// does, then added to the prices and compared in 64-bit lanes.
__attribute__((target("avx2"))) std::uint64_t coarseWithinAvx2(const std::uint16_t* codes,
                                                               const std::int64_t* prices,
                                                               std::int64_t limit) {
  const __m256i exactUpTo = _mm256_set1_epi32(2 * kHalfRange);
  const __m256i none = _mm256_set1_epi32(kCoarseNone);
  const __m256i one = _mm256_set1_epi32(1);
  const __m256i bound = _mm256_set1_epi64x(limit);
  std::uint64_t mask = 0;
  for (std::size_t g = 0; g < kCoarseBatch; g += 8) {
    const __m256i code =
        _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(codes + g)));
    // From 2^12 on: shift s = code / 2^11 - 1, leading bits code - s x 2^11, and the distance
    // (leading << s) + 2^(s - 1).
    const __m256i shift = _mm256_sub_epi32(_mm256_srli_epi32(code, kCoarseBits - 1), one);
    const __m256i leading = _mm256_sub_epi32(code, _mm256_slli_epi32(shift, kCoarseBits - 1));
    const __m256i wide = _mm256_add_epi32(_mm256_sllv_epi32(leading, shift),
                                          _mm256_sllv_epi32(one, _mm256_sub_epi32(shift, one)));
    const __m256i small = _mm256_cmpgt_epi32(exactUpTo, code);
    const __m256i score = _mm256_blendv_epi8(wide, code, small);
    const auto absent = static_cast<std::uint32_t>(
        _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(code, none))));
    std::uint32_t over = 0;
    for (int half = 0; half < 2; ++half) {
      const __m256i score64 = _mm256_cvtepu32_epi64(half == 0 ? _mm256_castsi256_si128(score)
                                                              : _mm256_extracti128_si256(score, 1));
      const __m256i total = _mm256_add_epi64(
          score64, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(prices + g + 4 * half)));
      over |= static_cast<std::uint32_t>(
                  _mm256_movemask_pd(_mm256_castsi256_pd(_mm256_cmpgt_epi64(total, bound))))
              << (4 * half);
    }
    mask |= std::uint64_t{~(over | absent) & 0xFFu} << g;
  }
  return mask;
}

}  // namespace

std::uint64_t coarseWithin(const std::uint16_t* codes, const std::int64_t* prices,
                           std::int64_t limit) {
  return vector::avx2Available() ? coarseWithinAvx2(codes, prices, limit)
                                 : coarseWithinPortable(codes, prices, limit);
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
