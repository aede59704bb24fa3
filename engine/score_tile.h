// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tg {

struct ComparisonSettings;
struct CellGrid;
struct FotoInfo;
struct MatchingContext;
struct PuzzleInfo;

/// What a candidate search shares with every other search of one High Quality run: the tiles
/// in list order, the candidate (group) each tile belongs to and the flags of the run. Written
/// by the job thread only while no search runs.
struct CandidateSet {
  /// The tiles in list order.
  std::vector<FotoInfo*> tiles;
  /// For each tile the candidate it counts as: its own index, or with tile groups the index of
  /// its group (consecutive tiles with the same non-zero group id).
  std::vector<std::uint32_t> candidateOf;
  /// For each candidate the first tile index and one past the last.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> members;
  /// The index of each tile.
  std::unordered_map<const FotoInfo*, std::uint32_t> indexOf;
  /// For each tile: 1 when it may not be placed again.
  std::vector<std::uint8_t> exhausted;
  /// The comparison settings (not owned).
  const ComparisonSettings* comparison = nullptr;

  /// Builds the set over `tiles`; with `groups` consecutive tiles sharing a non-zero group id
  /// form one candidate.
  void assign(std::vector<FotoInfo*> tileList, bool groups, const ComparisonSettings& settings);
};

/// The best candidates of one cell waiting for a tile in High Quality: up to `capacity` (score,
/// candidate) pairs, best first, and the gap between the two best scores. One per waiting cell;
/// lives only during one run. A search (`rebuild`) writes only its own object and may run on any
/// thread while the job thread waits.
class CScoreTile {
 public:
  /// The payload of the job that refills one list.
  struct RebuildInfo {
    const CandidateSet* tiles = nullptr;  ///< the tile set (not owned)
    std::uint32_t initialLimit = 0xFFFFFFFFu;
    const CellGrid* cells = nullptr;  ///< the cell container, for the spacing exclusion
    std::uint64_t threshold = 0;      ///< the spacing threshold T
  };

  explicit CScoreTile(PuzzleInfo& cell) : m_cell(&cell) {}

  /// Refills the list from the tile set: candidates held by cells within spacing are left out,
  /// a group with an exhausted member is out, a group scores its best member, and only the
  /// `capacity` best are kept (the worst kept score limits every later comparison).
  void rebuild(RebuildInfo& info);

  /// Removes `candidate`; true when it was in the list (the gap is then recomputed).
  bool remove(std::uint32_t candidate);

  [[nodiscard]] PuzzleInfo& cell() const { return *m_cell; }
  [[nodiscard]] bool empty() const { return m_list.empty(); }
  [[nodiscard]] std::size_t size() const { return m_list.size(); }
  /// The best (score, candidate); the list must not be empty.
  [[nodiscard]] std::pair<std::uint32_t, std::uint32_t> best() const { return *m_list.begin(); }
  /// Second-best score minus best score, 0 with fewer than two candidates.
  [[nodiscard]] std::uint32_t gap() const { return m_gap; }
  [[nodiscard]] const std::multimap<std::uint32_t, std::uint32_t>& candidates() const {
    return m_list;
  }
  std::uint32_t capacity = 10000;

  // Bookkeeping of the run (job thread): place in the priority order and state.
  std::uint64_t order = 0;
  std::uint32_t queuedGap = 0;
  bool done = false;
  bool touched = false;

 private:
  void updateGap();

  PuzzleInfo* m_cell;
  std::multimap<std::uint32_t, std::uint32_t> m_list;
  std::uint32_t m_gap = 0;
};

/// The number of candidates the memory budget allows in all lists together:
/// (`MemoryMaxSizeMB` limited to 10..3900, in millions of bytes, less what the tiles and cells
/// take, at least 50,000,000) / 60. Pure function of the context's state.
[[nodiscard]] std::uint64_t candidateBudget(const MatchingContext& context, std::size_t tileCount);

/// The capacity of each list with `waiting` cells to serve and `entries` candidates in all:
/// min(entries / (waiting + 1), cap), at least 2.
[[nodiscard]] std::uint32_t candidateCapacity(std::uint64_t entries, std::uint64_t waiting,
                                              std::uint64_t cap);

/// High Quality: serves the empty active cells in the order of their gap, largest first, each
/// with its best remaining candidate, respecting the use limits and the duplicate spacing; with
/// `groups` (Custom and Folder Tile Variants) a candidate is a tile group and the cell gets the
/// group's first tile that reaches the group's score. Runs progress stage 6; the candidate
/// searches run on a worker pool of `job.threadCount` threads. The result depends only on the
/// input, never on thread timing. Cells without a candidate stay empty. Returns false when
/// stopped (cells filled so far stay). Job thread.
[[nodiscard]] bool placeHighQuality(MatchingContext& context, bool groups);

}  // namespace tg
