// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "parallel/parallel_job_info.h"

namespace tg {

class WorkerPool;

/// The jobs of one caller on a `WorkerPool`. The most recently submitted pending job is taken
/// first; at most `kMaxPendingJobs` jobs are pending, and a submitter that finds the group full
/// runs jobs of the pool itself until there is room, so a fast submitter never piles up memory.
/// `waitIdle` makes the waiting thread run jobs too: a pool of n − 1 threads and one helping
/// caller keep n processors busy. A job may create its own group on the same pool, submit to it
/// and wait for it (nested use).
///
/// Threads: every operation may be called from any thread, but a group belongs to one caller:
/// `submit`, `waitIdle` and `cancel` are meant for the thread that owns the group and for jobs it
/// submitted. Lock order is the pool's lock, then the group's lock; no lock is held while a job
/// runs. The pool must outlive its groups.
class JobGroup {
 public:
  /// The bound on pending jobs per group.
  static constexpr std::size_t kMaxPendingJobs = 100;

  /// An empty group registered in `pool`: at the back of the pool's queue when `highPriority`
  /// is set (visited first by `WorkerPool::runOne`), else at the front.
  JobGroup(WorkerPool& pool, bool highPriority);
  /// Unregisters the group, deletes its pending jobs unrun (`cancel`) and waits for the running
  /// ones.
  ~JobGroup();
  JobGroup(const JobGroup&) = delete;
  JobGroup& operator=(const JobGroup&) = delete;

  /// Takes ownership of `job` and makes it pending (a null job is ignored). When the group already
  /// holds `kMaxPendingJobs` pending jobs, the caller runs jobs of the pool (or waits up to 50 ms
  /// when there is none to take) until there is room.
  void submit(std::unique_ptr<ParallelJobInfo> job);
  /// True while any job of the group is pending or running.
  [[nodiscard]] bool isBusy() const;
  /// Returns once the group is idle; until then the caller runs jobs of the pool, or waits up to
  /// 50 ms for a change when there is none to take. When a job of the group ended with an
  /// exception (out of memory, say), the first such exception is thrown here, on the owner's
  /// thread, once the group is idle: the owner's work fails the way it would without the pool.
  void waitIdle();
  /// Deletes every pending job without running it, then waits like `waitIdle` for the running
  /// ones, throwing nothing (an exception of a job is dropped). Owners of cancelled jobs must not
  /// rely on their results.
  void cancel();

  /// The number of pending jobs (for tests and diagnostics).
  [[nodiscard]] std::size_t pendingCount() const;

 private:
  friend class WorkerPool;

  /// Moves the most recent pending job into `job` and counts it as running; false when none is
  /// pending. Called by the pool with the pool's lock held.
  bool takeJob(std::unique_ptr<ParallelJobInfo>& job);
  /// Called after a job taken from this group was run and deleted, with the exception it ended
  /// with (null when none). The group may be destroyed by its owner as soon as this returns.
  void jobFinished(std::exception_ptr failure);
  /// Waits until no job is pending or running, helping as `waitIdle` does; throws nothing.
  void waitUntilIdle();

  WorkerPool& m_pool;
  mutable std::mutex m_mutex;
  std::vector<std::unique_ptr<ParallelJobInfo>> m_pending;
  std::uint32_t m_running = 0;
  /// The first exception a job of the group ended with, until `waitIdle` throws it.
  std::exception_ptr m_failure;
};

/// How a worker thread prepares itself and cleans up. `enter` runs first on the new thread with
/// the pool's thread priority; when it returns false the thread ends at once (its share of the
/// work is done by the other threads and by helping callers). `leave` runs last, when `enter`
/// succeeded.
struct WorkerThreadHooks {
  std::function<bool(int priority)> enter;
  std::function<void()> leave;
};

/// The hooks of production threads: the thread's text converters (`initThreadText`, which may
/// fail) and its priority through the platform layer; `leave` closes the converters.
[[nodiscard]] WorkerThreadHooks defaultWorkerThreadHooks();

/// A pool of worker threads that run the jobs of the groups registered in it. A pool is created
/// for one operation (placement, rendering) or lives as long as a window; it starts with no
/// thread. Groups must be destroyed before their pool.
///
/// Threads: `setThreadCount`, `runOne` and the destructor may be called from any thread; the
/// destructor must not be called by one of the pool's own jobs.
class WorkerPool {
 public:
  /// Larger requested thread counts start no thread at all.
  static constexpr std::uint32_t kMaxThreads = 5000;

  explicit WorkerPool(WorkerThreadHooks hooks = defaultWorkerThreadHooks());
  /// Sets the wanted count to 0 and returns once every worker thread has left; a thread that is
  /// running a job finishes it first.
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  /// Sets the wanted number of worker threads to `count` (a count above `kMaxThreads` is taken as
  /// 0) and starts as many new threads at `priority` (a thread priority level of
  /// `workerPriority`) as are missing. Threads above the wanted count leave by themselves as soon
  /// as they are between jobs. When the system refuses a thread, fewer threads run.
  void setThreadCount(std::uint32_t count, int priority);
  /// Takes the first pending job found visiting the registered groups from the back of the queue
  /// to the front, runs it on the calling thread and deletes it. False when no job was pending.
  bool runOne();

  /// The wanted number of worker threads.
  [[nodiscard]] std::uint32_t wantedThreadCount() const;
  /// The number of worker threads that have not left yet (including threads still starting).
  [[nodiscard]] std::uint32_t liveThreadCount() const;

 private:
  friend class JobGroup;

  void registerGroup(JobGroup* group, bool highPriority);
  void unregisterGroup(JobGroup* group);
  void workerMain(int priority);
  /// True when any registered group has a pending job. Pool lock held.
  bool anyPendingLocked() const;
  /// Waits up to `timeout` until a job is pending in any group or `ready` (evaluated with the
  /// pool's lock held) is true.
  void waitForChange(std::chrono::milliseconds timeout, const std::function<bool()>& ready);
  /// Wakes the threads blocked in `waitForChange`.
  void notifyChanged();

  WorkerThreadHooks m_hooks;
  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  std::atomic<int> m_sleepers{0};
  std::deque<JobGroup*> m_groups;
  std::uint32_t m_wanted = 0;
  std::uint32_t m_live = 0;
  std::vector<std::thread> m_threads;
  std::vector<std::thread::id> m_exited;
};

}  // namespace tg
