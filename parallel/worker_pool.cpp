// SPDX-License-Identifier: GPL-3.0-or-later
#include "parallel/worker_pool.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "parallel/synchronizer.h"

namespace tg {

namespace {
constexpr std::chrono::milliseconds kHelperWait{50};
constexpr std::chrono::milliseconds kIdleWorkerWait{500};
}  // namespace

// ---------------------------------------------------------------------------------------------
// JobGroup

JobGroup::JobGroup(WorkerPool& pool, bool highPriority) : m_pool(pool) {
  m_pool.registerGroup(this, highPriority);
}

JobGroup::~JobGroup() {
  m_pool.unregisterGroup(this);
  cancel();
}

void JobGroup::submit(std::unique_ptr<ParallelJobInfo> job) {
  if (!job) return;
  for (;;) {
    {
      CSynchronizer lock(m_mutex);
      if (lock.isLocked() && m_pending.size() < kMaxPendingJobs) {
        m_pending.push_back(std::move(job));
        break;
      }
    }
    // The group is full: help until one of its jobs (or any other) has been taken.
    if (!m_pool.runOne()) {
      m_pool.waitForChange(kHelperWait, [this] { return pendingCount() < kMaxPendingJobs; });
    }
  }
  m_pool.notifyChanged();
}

bool JobGroup::isBusy() const {
  CSynchronizer lock(m_mutex);
  return !lock.isLocked() || !m_pending.empty() || m_running > 0;
}

void JobGroup::waitUntilIdle() {
  while (isBusy()) {
    if (m_pool.runOne()) continue;
    m_pool.waitForChange(kHelperWait, [this] { return !isBusy(); });
  }
}

void JobGroup::waitIdle() {
  waitUntilIdle();
  std::exception_ptr failure;
  {
    CSynchronizer lock(m_mutex);
    if (lock.isLocked()) failure.swap(m_failure);
  }
  if (failure) std::rethrow_exception(failure);
}

void JobGroup::cancel() {
  std::vector<std::unique_ptr<ParallelJobInfo>> dropped;
  {
    CSynchronizer lock(m_mutex);
    if (lock.isLocked()) dropped.swap(m_pending);
  }
  // The cancelled jobs are deleted outside the lock: their destructors may take other locks.
  dropped.clear();
  m_pool.notifyChanged();
  waitUntilIdle();
  CSynchronizer lock(m_mutex);
  if (lock.isLocked()) m_failure = nullptr;
}

std::size_t JobGroup::pendingCount() const {
  CSynchronizer lock(m_mutex);
  return m_pending.size();
}

bool JobGroup::takeJob(std::unique_ptr<ParallelJobInfo>& job) {
  CSynchronizer lock(m_mutex);
  if (!lock.isLocked() || m_pending.empty()) return false;
  job = std::move(m_pending.back());
  m_pending.pop_back();
  ++m_running;
  return true;
}

void JobGroup::jobFinished(std::exception_ptr failure) {
  CSynchronizer lock(m_mutex);
  if (failure && !m_failure) m_failure = std::move(failure);
  --m_running;
}

// ---------------------------------------------------------------------------------------------
// WorkerPool

WorkerPool::WorkerPool(WorkerThreadHooks hooks) : m_hooks(std::move(hooks)) {}

WorkerPool::~WorkerPool() {
  {
    CSynchronizer lock(m_mutex);
    m_wanted = 0;
    m_changed.notify_all();
  }
  // Every thread leaves between jobs once it sees the wanted count at 0; joining also waits for
  // the clean-up that follows, so nothing of the pool is used after it is gone.
  for (std::thread& thread : m_threads) {
    if (thread.joinable()) thread.join();
  }
}

void WorkerPool::setThreadCount(std::uint32_t count, int priority) {
  if (count > kMaxThreads) count = 0;
  std::vector<std::thread> finished;
  {
    CSynchronizer lock(m_mutex);
    if (!lock.isLocked()) return;
    m_wanted = count;
    // Threads that left earlier are joined outside the lock.
    for (const std::thread::id id : m_exited) {
      auto it = std::find_if(m_threads.begin(), m_threads.end(),
                             [id](const std::thread& t) { return t.get_id() == id; });
      if (it != m_threads.end()) {
        finished.push_back(std::move(*it));
        m_threads.erase(it);
      }
    }
    m_exited.clear();
    while (m_live < m_wanted) {
      try {
        m_threads.emplace_back([this, priority] { workerMain(priority); });
      } catch (const std::system_error&) {
        break;  // the system refuses more threads; the helping callers still do the work
      }
      ++m_live;
    }
    m_changed.notify_all();
  }
  for (std::thread& thread : finished) thread.join();
}

bool WorkerPool::runOne() {
  std::unique_ptr<ParallelJobInfo> job;
  JobGroup* group = nullptr;
  {
    CSynchronizer lock(m_mutex);
    if (!lock.isLocked()) return false;
    for (auto it = m_groups.rbegin(); it != m_groups.rend(); ++it) {
      if ((*it)->takeJob(job)) {
        group = *it;
        break;
      }
    }
  }
  if (!job) return false;
  // An exception of a job must neither end a worker thread (that would end the program) nor
  // leave the group counting a running job for ever: the group keeps it for its owner.
  std::exception_ptr failure;
  try {
    job->run();
  } catch (...) {
    failure = std::current_exception();
  }
  job.reset();
  group->jobFinished(std::move(failure));
  // The group may be gone as soon as its count dropped (its owner was waiting for exactly that),
  // so only the pool is told.
  notifyChanged();
  return true;
}

std::uint32_t WorkerPool::wantedThreadCount() const {
  CSynchronizer lock(m_mutex);
  return m_wanted;
}

std::uint32_t WorkerPool::liveThreadCount() const {
  CSynchronizer lock(m_mutex);
  return m_live;
}

void WorkerPool::registerGroup(JobGroup* group, bool highPriority) {
  CSynchronizer lock(m_mutex);
  if (highPriority) {
    m_groups.push_back(group);
  } else {
    m_groups.push_front(group);
  }
}

void WorkerPool::unregisterGroup(JobGroup* group) {
  CSynchronizer lock(m_mutex);
  m_groups.erase(std::remove(m_groups.begin(), m_groups.end(), group), m_groups.end());
}

void WorkerPool::workerMain(int priority) {
  if (m_hooks.enter && !m_hooks.enter(priority)) {
    CSynchronizer lock(m_mutex);
    --m_live;
    m_exited.push_back(std::this_thread::get_id());
    m_changed.notify_all();
    return;
  }
  for (;;) {
    {
      CSynchronizer lock(m_mutex);
      if (m_wanted < m_live) {
        --m_live;
        m_exited.push_back(std::this_thread::get_id());
        break;
      }
    }
    if (!runOne()) {
      waitForChange(kIdleWorkerWait, [this] { return m_wanted < m_live; });
    }
  }
  if (m_hooks.leave) m_hooks.leave();
}

bool WorkerPool::anyPendingLocked() const {
  return std::any_of(m_groups.begin(), m_groups.end(),
                     [](const JobGroup* group) { return group->pendingCount() > 0; });
}

void WorkerPool::waitForChange(std::chrono::milliseconds timeout,
                               const std::function<bool()>& ready) {
  std::unique_lock<std::mutex> lock(m_mutex);
  // Counting the sleeper before looking at the state pairs with notifyChanged(), which changes
  // the state first and then looks at the count: a change is either seen here or notified.
  m_sleepers.fetch_add(1);
  m_changed.wait_for(lock, timeout, [&] { return anyPendingLocked() || ready(); });
  m_sleepers.fetch_sub(1);
}

void WorkerPool::notifyChanged() {
  if (m_sleepers.load() == 0) return;
  CSynchronizer lock(m_mutex);
  m_changed.notify_all();
}

}  // namespace tg
