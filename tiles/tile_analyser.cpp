// SPDX-License-Identifier: GPL-3.0-or-later
#include "tiles/tile_analyser.h"

#include <exception>

#include <algorithm>
#include <chrono>
#include <vector>

#include "parallel/parallel_job_info.h"
#include "parallel/worker_pool.h"
#include "platform/ticks.h"
#include "tiles/tile_groups.h"

namespace tg {

/// One tile being analysed by a job: the job works on `work`, a copy of the record, and the
/// owner's thread copies it back when it visits the tile.
struct TileAnalyser::Slot {
  TileMap::iterator tile;
  FotoInfo work;
  bool blackAndWhite = false;
  std::int32_t version = kTileListVersion;
  bool usable = false;
  bool longClip = false;
  bool decoded = false;
  bool finished = false;  ///< guarded by the analyser's mutex
};

TileAnalyser::TileAnalyser(WorkerPool* pool) : m_pool(pool) {
  // Registered at the front of the pool's queue: the window's other work comes first.
  if (m_pool != nullptr) m_group = std::make_unique<JobGroup>(*m_pool, false);
}

TileAnalyser::~TileAnalyser() {
  stop();
  m_group.reset();
}

void TileAnalyser::prepare(TileImagesList& list) {
  stop();
  prepareAnalysis(list);
  m_longClips = 0;
  m_decoded = 0;
}

void TileAnalyser::stop() {
  if (m_group) m_group->cancel();
  m_ahead.clear();
}

void TileAnalyser::refill(TileImagesList& list) {
  if (m_ahead.empty()) m_nextToSubmit = list.resumePosition;
  // Enough work ahead to keep every thread busy while the visiting position waits for the
  // slowest picture; bounded below the group's limit of pending jobs.
  const std::size_t threads = static_cast<std::size_t>(m_pool->wantedThreadCount()) + 1;
  const std::size_t window = std::clamp<std::size_t>(threads * 8, 8, 96);
  if (m_ahead.size() > window / 2 || m_nextToSubmit == list.tiles.end()) return;

  std::vector<std::shared_ptr<Slot>> batch;
  while (m_ahead.size() + batch.size() < window && m_nextToSubmit != list.tiles.end()) {
    auto slot = std::make_shared<Slot>();
    slot->tile = m_nextToSubmit;
    slot->work = m_nextToSubmit->second;
    slot->blackAndWhite = list.blackAndWhite;
    slot->version = list.version;
    batch.push_back(std::move(slot));
    ++m_nextToSubmit;
  }
  m_ahead.insert(m_ahead.end(), batch.begin(), batch.end());
  // The pool takes the most recent job first: submit the batch backwards so that the tile the
  // visiting position needs next is taken first.
  for (auto it = batch.rbegin(); it != batch.rend(); ++it) {
    std::shared_ptr<Slot> slot = *it;
    m_group->submit(makeParallelJob([this, slot] {
      try {
        slot->usable = analyseTile(slot->work, slot->blackAndWhite, slot->version, &slot->longClip,
                                   &slot->decoded);
      } catch (const std::exception&) {
        // Out of memory for this picture: it counts as unusable, and the slot still finishes
        // (the window waits for it).
        slot->usable = false;
      }
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        slot->finished = true;
      }
      m_finished.notify_all();
    }));
  }
}

void TileAnalyser::waitFor(const Slot& slot) {
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (slot.finished) return;
    }
    // Without worker threads the owner's thread does the work itself. With them it only waits:
    // the pool is shared with long jobs (video extraction) that must not stall the window.
    if (m_pool->liveThreadCount() == 0 && m_pool->runOne()) continue;
    std::unique_lock<std::mutex> lock(m_mutex);
    m_finished.wait_for(lock, std::chrono::milliseconds(20), [&slot] { return slot.finished; });
  }
}

bool TileAnalyser::runSlice(TileImagesList& list, std::uint32_t budgetMilliseconds) {
  const std::uint32_t start = tickCount();
  while (list.resumePosition != list.tiles.end()) {
    bool usable = false;
    bool isLong = false;
    bool decoded = false;
    if (m_pool == nullptr) {
      usable = analyseTile(list.resumePosition->second, list.blackAndWhite, list.version, &isLong,
                           &decoded);
    } else {
      refill(list);
      const std::shared_ptr<Slot> slot = m_ahead.front();
      m_ahead.pop_front();
      waitFor(*slot);
      list.resumePosition->second = std::move(slot->work);
      usable = slot->usable;
      isLong = slot->longClip;
      decoded = slot->decoded;
    }
    if (isLong) ++m_longClips;
    if (decoded) ++m_decoded;
    recordAnalysedTile(list, usable);
    if (tickCount() - start >= budgetMilliseconds) break;
  }
  if (list.resumePosition != list.tiles.end()) return true;
  m_ahead.clear();
  if (list.tiles.empty()) removeDroppedTiles(list);
  numberGroups(list, kGroupModeOnLoad);
  return false;
}

}  // namespace tg
