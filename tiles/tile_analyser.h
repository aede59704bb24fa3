// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "tiles/tile_analysis.h"
#include "tiles/tile_images_list.h"

namespace tg {

class JobGroup;
class WorkerPool;

/// Runs the analysis of a Tile Images List in time slices, decoding pictures and building their
/// signatures on a worker pool while the owner's thread keeps the list itself.
///
/// Each slice visits tiles from resumePosition in list order and, exactly as a slice on one
/// thread, advances resumePosition, analysedCount and percentDone tile by tile and stops once
/// `budgetMilliseconds` have elapsed. Ahead of the visiting position, up to a few dozen tiles are
/// analysed by pool jobs on private copies of their records; a visited tile takes its job's
/// result. So the list is only ever written by the owner's thread, jobs never touch it, and a
/// `stop` (which drops the work ahead) leaves the list consistent: everything before
/// resumePosition analysed, everything after it as it was.
///
/// The pool is not owned and must outlive the analyser (the Tile Images window keeps one pool
/// for its whole life and sets its thread count when an analysis starts and stops). Without a
/// pool every tile is analysed on the calling thread. While an analysis runs the tile collection
/// must change only through `runSlice`. Owner's thread only.
class TileAnalyser {
 public:
  explicit TileAnalyser(WorkerPool* pool = nullptr);
  /// Stops the analysis (waits for the jobs that are running).
  ~TileAnalyser();
  TileAnalyser(const TileAnalyser&) = delete;
  TileAnalyser& operator=(const TileAnalyser&) = delete;

  /// Starts an analysis of `list` (`prepareAnalysis`), clearing the long-clip and decode counts
  /// and any work left from an earlier analysis.
  void prepare(TileImagesList& list);

  /// One slice: visits tiles for at most `budgetMilliseconds`. Returns true while tiles remain;
  /// false once the collection is complete, after the unusable tiles have been removed and the
  /// groups numbered in mode 4.
  [[nodiscard]] bool runSlice(TileImagesList& list,
                              std::uint32_t budgetMilliseconds = kAnalysisSliceMilliseconds);

  /// Drops the work ahead of resumePosition and waits for the jobs that are running. The list
  /// keeps its position; a later `runSlice` continues from there.
  void stop();

  /// Clips of more than 2700 frames met since `prepare`.
  [[nodiscard]] std::uint32_t longClipCount() const { return m_longClips; }
  /// Tiles whose files were decoded since `prepare` (unchanged files are not).
  [[nodiscard]] std::size_t decodedCount() const { return m_decoded; }

 private:
  struct Slot;

  void refill(TileImagesList& list);
  void waitFor(const Slot& slot);

  WorkerPool* m_pool;
  std::mutex m_mutex;
  std::condition_variable m_finished;
  std::unique_ptr<JobGroup> m_group;
  /// Tiles handed to jobs, in list order; the front is the tile at resumePosition.
  std::deque<std::shared_ptr<Slot>> m_ahead;
  /// The first tile not yet handed to a job (valid while `m_ahead` is not empty).
  TileMap::iterator m_nextToSubmit;
  std::uint32_t m_longClips = 0;
  std::size_t m_decoded = 0;
};

}  // namespace tg
