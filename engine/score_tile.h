// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <optional>
#include <span>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/tile_distance.h"

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
  /// For each candidate the overall average of its first tile, channel by channel (the order
  /// in which a search tries the candidates first).
  std::vector<std::int16_t> averageR, averageG, averageB;
  /// For each tile its thumbnail's squares, which let comparisons skip tiles sooner.
  std::vector<TileSquares> squares;
  /// For each candidate the detail of its first tile's blocks (another order in which a search
  /// may try the candidates first).
  std::vector<BlockDetail> detail;
  /// For each tile: 1 when it may not be placed again.
  std::vector<std::uint8_t> exhausted;
  /// The comparison settings (not owned).
  const ComparisonSettings* comparison = nullptr;

  /// The candidates, ascending, that may still be taken: at least every candidate none of whose
  /// tiles is exhausted (`updateLive` drops the others).
  std::vector<std::uint32_t> live;

  /// Builds the set over `tiles`; with `groups` consecutive tiles sharing a non-zero group id
  /// form one candidate.
  void assign(std::vector<FotoInfo*> tileList, bool groups, const ComparisonSettings& settings);
  /// Drops from `live` the candidates with an exhausted tile.
  void updateLive();
};

/// The cells of a grid ordered by their top edge, so that the cells within spacing of one cell
/// are found among the few whose top lies within the spacing instead of among all cells. Holds
/// pointers into the grid, which must keep its cells while the index is used. Built on one
/// thread; a const index may be read by many.
class SpacingIndex {
 public:
  /// Indexes the present cells of `grid` for the squared distance `threshold`.
  SpacingIndex(const CellGrid& grid, std::uint64_t threshold);

  /// Appends to `out` every cell other than `cell` that lies within spacing of it
  /// (`withinSpacing`), in an order that depends only on the grid.
  void near(const PuzzleInfo& cell, std::vector<const PuzzleInfo*>& out) const;

  /// The largest number of other cells within spacing of any one indexed cell, counted up to
  /// `limit` (the answer never exceeds it).
  [[nodiscard]] std::uint32_t mostNear(std::uint32_t limit) const;

 private:
  // The first and one past the last position in `m_byTop` of the cells that may lie within
  // spacing of `cell`.
  [[nodiscard]] std::pair<std::size_t, std::size_t> rowRange(const PuzzleInfo& cell) const;

  std::vector<std::pair<std::int64_t, const PuzzleInfo*>> m_byTop;
  std::uint64_t m_threshold;
  std::int64_t m_reach;  // the largest |top difference| a cell within spacing can have
};

/// The best candidates of one cell waiting for a tile in High Quality: up to `capacity` (score,
/// candidate) pairs ordered by score and, among equal scores, by candidate, and the gap between
/// the two best scores. One per waiting cell; lives only during one run. A search writes only
/// its own object and may run on any thread while the job thread waits.
class CScoreTile {
 public:
  /// A (score, candidate) pair.
  using Entry = std::pair<std::uint32_t, std::uint32_t>;

  /// The payload of the job that refills one list.
  struct RebuildInfo {
    const CandidateSet* tiles = nullptr;  ///< the tile set (not owned)
    std::uint32_t initialLimit = 0xFFFFFFFFu;
    const CellGrid* cells = nullptr;  ///< the cell container, for the spacing exclusion
    std::uint64_t threshold = 0;      ///< the spacing threshold T
    /// The cells of `cells` by position, which finds the cells within spacing faster; null to
    /// look through every cell (not owned).
    const SpacingIndex* nearby = nullptr;
    /// Whether a search tries first the candidates whose blocks' detail comes nearest the
    /// cell's, rather than those whose average does: a pass over every candidate's detail,
    /// which pays where the lists' limits are loose, as in refills.
    bool detailSeeds = false;
  };

  explicit CScoreTile(PuzzleInfo& cell) : m_cell(&cell) {}

  /// Refills the list from the tile set: candidates held by cells within spacing are left out,
  /// a group with an exhausted member is out, a group scores its best member, and only the
  /// `capacity` best are kept (the worst kept score limits every later comparison). Among equal
  /// scores the earlier candidate is kept.
  void rebuild(RebuildInfo& info);

  /// Removes `candidate`; true when it was in the list (the gap is then recomputed).
  bool remove(std::uint32_t candidate);
  /// The same for a candidate known to have been listed with `score` (a faster search).
  bool remove(std::uint32_t candidate, std::uint32_t score);
  /// Replaces the list by `entries`, which must be ordered as the list is; recomputes the gap.
  void assign(std::vector<Entry> entries);

  [[nodiscard]] PuzzleInfo& cell() const { return *m_cell; }
  [[nodiscard]] bool empty() const { return m_live == 0; }
  [[nodiscard]] std::size_t size() const { return m_live; }
  /// The best (score, candidate); the list must not be empty.
  [[nodiscard]] Entry best() const { return m_list[m_head]; }
  /// Second-best score minus best score, 0 with fewer than two candidates.
  [[nodiscard]] std::uint32_t gap() const { return m_gap; }
  /// Closes up the places of removed candidates, so that `candidates()` holds only the list.
  void compact();
  /// The candidates, best first, after `compact()` or `assign()`; between those, removed
  /// candidates may still be among them (the memory they take is still taken).
  [[nodiscard]] const std::vector<Entry>& candidates() const { return m_list; }
  /// The memory the list takes, in bytes.
  [[nodiscard]] std::uint64_t bytes() const {
    return m_list.capacity() * sizeof(Entry) + m_dead.capacity();
  }
  std::uint32_t capacity = 10000;

  // Bookkeeping of the run (job thread): place in the priority order and state.
  std::uint64_t order = 0;
  std::uint64_t reservedOrder = 0;  ///< the place kept while the list is refilled
  std::uint32_t queuedGap = 0;
  std::uint32_t index = 0;  ///< position among the run's lists
  std::uint32_t stamp = 0;  ///< changes whenever the list leaves or moves in the order
  bool queued = false;      ///< in the priority order
  bool done = false;
  bool touched = false;

 private:
  void updateGap();
  // Marks entry `i` removed: the list keeps its order without moving the entries after it.
  void markDead(std::size_t i);

  PuzzleInfo* m_cell;
  std::vector<Entry> m_list;
  std::vector<std::uint8_t> m_dead;  // 1 where the entry of `m_list` was removed
  std::size_t m_head = 0;            // the first entry not removed (the best)
  std::size_t m_live = 0;            // the entries not removed
  std::uint32_t m_gap = 0;
};

/// What the searches of the parts of one range share for one list. Each part lowers `limit` to
/// the worst score of its own full list and skips what scores above the lowest; the first part
/// to start prepares the cell's comparison and picks the seeds (the candidates of the whole
/// range nearest the cell, see `detailSeeds`) once for all parts, which then work out the seeds'
/// exact scores between them and skip the seeds in their own ranges. `reset` before the parts start
/// (one thread); the parts may then run on any threads at once. The fields after `limit` belong
/// to the searches.
struct SearchShare {
  /// Makes the share ready for the parts of the range `first` .. `last - 1` of a search that
  /// starts at `initialLimit`.
  void reset(std::uint32_t first, std::uint32_t last, std::uint32_t initialLimit);

  /// The lowest limit a part has proven for the list.
  std::atomic<std::uint32_t> limit{kNoMatch};

  std::uint32_t rangeFirst = 0;
  std::uint32_t rangeLast = 0;
  /// 0: not prepared, 1: a part is preparing, 2: ready, 3: preparing failed with `failure`.
  std::atomic<int> state{0};
  std::exception_ptr failure;
  std::optional<CellComparison> comparison;
  std::vector<std::uint32_t> excluded;  ///< ascending
  std::vector<std::uint32_t> seeds;     ///< ascending
  std::vector<std::uint32_t> seedScores;
  std::atomic<std::size_t> nextSeed{0};
  std::atomic<std::size_t> seedsDone{0};
};

/// The candidates of a range handed out a chunk at a time to the searches that share it: each
/// takes the next chunk when it is done with the last, so that they all end at about the same
/// time whatever their chunks happen to cost. `reset` on one thread; `next` from any.
class CandidateChunks {
 public:
  /// Hands out `first` .. `last - 1` in chunks of `size` (at least 1) candidates.
  void reset(std::uint32_t first, std::uint32_t last, std::uint32_t size);
  /// The next chunk, `from` .. `to - 1`; false when every chunk has been taken.
  bool next(std::uint32_t& from, std::uint32_t& to);

 private:
  std::atomic<std::uint32_t> m_next{0};
  std::uint32_t m_last = 0;
  std::uint32_t m_size = 1;
};

/// Searches the candidates `first` .. `last - 1` of `info.tiles` for every list of `lists`
/// together (blocks of `CellBlock::kCells` cells share each pass over the tile signatures) and
/// writes into `found[i]` what list i would keep from that range: at most its capacity entries,
/// ordered as a list is, each below `info.initialLimit`, with the spacing exclusion and
/// exhausted groups left out. The lists themselves are not changed. Searching a range in parts
/// and merging the parts with `mergeCandidates` gives exactly the entries of one search over
/// the whole range. The searches of the parts of one range may share `shared` (one per list,
/// each `reset` to the whole range): a part then also works out some of the seeds, wherever
/// they lie in the range, and `found[i]` holds those besides what it keeps of its own range.
/// This changes the work, never the merged result. With `shared` and `chunks` (at most one
/// block of lists) the search takes the chunks of `chunks` instead of `first` .. `last - 1`:
/// searches that share both cover the range between them. Reads only shared state besides
/// `shared` and `chunks`; any thread.
void searchCandidates(std::span<CScoreTile* const> lists, const CScoreTile::RebuildInfo& info,
                      std::uint32_t first, std::uint32_t last,
                      std::span<std::vector<CScoreTile::Entry>> found,
                      std::span<SearchShare> shared = {}, CandidateChunks* chunks = nullptr);

/// Merges the results of searches over parts of a range (each ordered as a list is) into what
/// one list of `capacity` keeps: the `capacity` smallest entries by (score, candidate).
[[nodiscard]] std::vector<CScoreTile::Entry> mergeCandidates(
    std::span<std::vector<CScoreTile::Entry>> parts, std::uint32_t capacity);

/// The number of candidates the memory budget allows in all lists together:
/// (`MemoryMaxSizeMB` limited to 10..3900, in millions of bytes, less what the tiles and cells
/// take, at least 50,000,000) / 60. Pure function of the context's state.
[[nodiscard]] std::uint64_t candidateBudget(const MatchingContext& context, std::size_t tileCount);

/// The capacity of each list with `waiting` cells to serve and `entries` candidates in all:
/// min(entries / (waiting + 1), cap), at least 2.
[[nodiscard]] std::uint32_t candidateCapacity(std::uint64_t entries, std::uint64_t waiting,
                                              std::uint64_t cap);

/// What a High Quality run kept at most at once, for measurements and tests.
struct HighQualityStats {
  std::uint64_t entries = 0;      ///< the candidate budget (`candidateBudget`)
  std::uint64_t peakListed = 0;   ///< the most candidates held by all lists together
  std::uint64_t peakIndexed = 0;  ///< the most entries of the index of who holds what
  std::uint64_t peakBytes = 0;    ///< the most bytes lists, index and searches took together
  std::uint64_t rebuilds = 0;     ///< lists searched, the first searches included
  std::uint64_t searchJobs = 0;   ///< jobs those searches were split into
};

/// High Quality: serves the empty active cells in the order of their gap, largest first, each
/// with its best remaining candidate, respecting the use limits and the duplicate spacing; with
/// `groups` (Custom and Folder Tile Variants) a candidate is a tile group and the cell gets the
/// group's first tile that reaches the group's score. Runs progress stage 6; the candidate
/// searches run on a worker pool of `job.threadCount` threads, a few lists to refill at a time
/// split into parts of the tile list so that every thread has work. The result depends only on
/// the input, never on the thread count, on thread timing or on the list lengths the memory
/// budget allows (among equal gaps a list keeps its place while it is refilled). Cells without a
/// candidate stay empty. Returns false when stopped (cells filled so far stay). `stats`, when
/// given, receives the run's figures. Job thread.
[[nodiscard]] bool placeHighQuality(MatchingContext& context, bool groups,
                                    HighQualityStats* stats = nullptr);

}  // namespace tg
