// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "engine/tile_distance.h"

namespace tg {

class MosaicJob;
class WorkerPool;
struct FotoInfo;
struct PuzzleInfo;

/// A pair found by a scan of the no-duplicates placement: the distance and the partner's index.
struct NearPair {
  std::uint32_t score;
  std::uint32_t index;
};

/// Smaller distances first, equal ones by the lower index: the strict order every list of
/// nearest pairs keeps, so that the lists do not depend on how a scan was split.
[[nodiscard]] inline bool nearBefore(const NearPair& a, const NearPair& b) {
  return a.score != b.score ? a.score < b.score : a.index < b.index;
}

/// Many lists of the `capacity` nearest pairs offered (by `nearBefore`), each a heap whose top
/// is the worst of its pairs, in one block of memory. "No match" (`kNoMatch`) is never kept.
/// Not thread-safe; a scan's jobs keep lists of their own and merge them.
class NearLists {
 public:
  NearLists(std::size_t lists, std::size_t capacity);

  /// The largest distance that may still enter the list, `kNoMatch` while it has room.
  [[nodiscard]] std::uint32_t limit(std::size_t list) const { return m_limits[list]; }
  void offer(std::size_t list, const NearPair& pair);
  /// Offers every pair of `other`'s list `otherList` to list `list`.
  void merge(std::size_t list, const NearLists& other, std::size_t otherList);
  /// The list's pairs, nearest first; the list is no longer a heap afterwards.
  [[nodiscard]] std::span<const NearPair> sorted(std::size_t list);

 private:
  std::size_t m_capacity;
  std::vector<NearPair> m_entries;
  std::vector<std::uint32_t> m_sizes;
  std::vector<std::uint32_t> m_limits;
};

/// Up to `CellBlock::kCells` cells prepared once and compared together with one tile after the
/// other (see `CellBlock`). Neither copied nor moved: the block points into the object.
class PreparedCells {
 public:
  /// The cells `cells[first + i]` for i < `count` (at most `CellBlock::kCells`).
  PreparedCells(const ComparisonSettings& settings, std::span<PuzzleInfo* const> cells,
                std::size_t first, std::size_t count);
  PreparedCells(const PreparedCells&) = delete;
  PreparedCells& operator=(const PreparedCells&) = delete;

  [[nodiscard]] std::size_t size() const { return m_block.size(); }
  /// `out[i]` = the distance of cell i to `tile` within `limits[i]` (`CellBlock::distances`),
  /// with the tile's `squares` when given (may be null). The squares pay where limits reject
  /// most pairs; without limits they cost only.
  void distances(const ImageSignature& tile, const TileSquares* squares,
                 const std::uint32_t* limits, std::uint32_t* out) const {
    if (squares != nullptr) {
      m_block.distances(tile, *squares, limits, out);
    } else {
      m_block.distances(tile, limits, out);
    }
  }
  /// `out[i]` = the distance of cell i to the variant of `tile` its blocks lead to
  /// (`CellBlock::blockLedDistances`).
  void blockLedDistances(const ImageSignature& tile, std::uint32_t* out) const {
    m_block.blockLedDistances(tile, out);
  }

 private:
  std::vector<CellComparison> m_comparisons;
  std::array<const CellComparison*, CellBlock::kCells> m_pointers{};
  CellBlock m_block;
};

/// A distance in two bytes, for tables of all pairs that must fit in less memory: exact below
/// 4,096, otherwise its 12 leading bits and their position, so that `fromCoarse` gives the
/// distance within 1/4,096 of it. The code never falls as the distance rises; `kNoMatch` has
/// a code of its own (0xFFFF), which `fromCoarse` turns back into `kNoMatch`.
[[nodiscard]] std::uint16_t toCoarse(std::uint32_t score);
[[nodiscard]] inline std::uint32_t fromCoarse(std::uint16_t code) {
  // Codes below 2^12 are the distances; above, code = (s + 1) x 2^11 + the 12 leading bits
  // (2^11 .. 2^12 - 1) of a distance shifted right by s, which comes back as the middle of
  // the distances that share the code.
  constexpr std::uint32_t kHalfRange = 1u << 11;
  if (code == 0xFFFF) return kNoMatch;
  if (code < 2 * kHalfRange) return code;
  const std::uint32_t shift = code / kHalfRange - 1;
  const std::uint32_t leading = code - shift * kHalfRange;
  return (leading << shift) + (1u << (shift - 1));
}

/// The entries a look along a row of coarse distances takes at once (`coarseWithin`).
inline constexpr std::size_t kCoarseBatch = 64;
/// For the `kCoarseBatch` entries from `codes` (coarse distances, `toCoarse`) and the prices of
/// their items from `prices`: a mask with bit i set where `codes[i]` is a distance, not "no
/// match", and `fromCoarse(codes[i])` + `prices[i]` is at most `limit`. A look along a long row
/// thus skips 64 items at a time that cannot rank. On the vector loop where the processor has
/// it; the results are the same. Prices must lie below 2^62. Any thread.
[[nodiscard]] std::uint64_t coarseWithin(const std::uint16_t* codes, const std::int64_t* prices,
                                         std::int64_t limit);
/// The same as the plain loop (the reference for tests).
[[nodiscard]] std::uint64_t coarseWithinPortable(const std::uint16_t* codes,
                                                 const std::int64_t* prices, std::int64_t limit);

/// The squares of every tile's thumbnail (`tileSquares`), in the order of `tiles`.
[[nodiscard]] std::vector<TileSquares> squaresOf(std::span<FotoInfo* const> tiles);

/// The worker threads of one no-duplicates pass: `job.threadCount` threads counting the job
/// thread, which helps. Job thread.
class ScanWorkers {
 public:
  explicit ScanWorkers(const MosaicJob& job);
  ~ScanWorkers();
  ScanWorkers(const ScanWorkers&) = delete;
  ScanWorkers& operator=(const ScanWorkers&) = delete;

  /// Whether there are workers besides the job thread.
  [[nodiscard]] bool parallel() const { return m_pool != nullptr; }
  /// Runs `work(part)` for part = 0 .. parts - 1, on the workers when there are any, and
  /// returns when all are done.
  void forParts(std::size_t parts, const std::function<void(std::size_t)>& work);

 private:
  std::unique_ptr<WorkerPool> m_pool;
};

}  // namespace tg
