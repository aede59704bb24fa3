// SPDX-License-Identifier: GPL-3.0-or-later
#include "parallel/worker_pool.h"

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <new>
#include <numeric>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/thread_priority.h"
#include "platform/thread_text.h"

namespace tg {
namespace {

using namespace std::chrono_literals;

/// Waits (without asserting any timing) until `condition` holds; fails after a generous bound so
/// a broken pool ends the test instead of hanging it.
template <typename Condition>
bool eventually(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

/// Records the order in which jobs ran and on which thread.
struct RunLog {
  std::mutex mutex;
  std::vector<int> order;
  std::vector<std::thread::id> threads;

  void add(int index) {
    std::lock_guard lock(mutex);
    order.push_back(index);
    threads.push_back(std::this_thread::get_id());
  }
  std::vector<int> snapshot() {
    std::lock_guard lock(mutex);
    return order;
  }
};

/// A job that counts how often jobs of its kind ran and were deleted.
class CountingJob final : public ParallelJobInfo {
 public:
  CountingJob(std::atomic<int>& runs, std::atomic<int>& deletions)
      : m_runs(runs), m_deletions(deletions) {}
  ~CountingJob() override { ++m_deletions; }
  void run() override { ++m_runs; }

 private:
  std::atomic<int>& m_runs;
  std::atomic<int>& m_deletions;
};

WorkerThreadHooks plainHooks() {
  return {[](int) { return true; }, [] {}};
}

TEST(WorkerPool, WithoutThreadsTheWaitingCallerRunsEveryJobMostRecentFirst) {
  WorkerPool pool(plainHooks());
  pool.setThreadCount(0, 0);
  EXPECT_EQ(pool.liveThreadCount(), 0u);
  JobGroup group(pool, true);
  RunLog log;
  for (int i = 0; i < 10; ++i) group.submit(makeParallelJob([&log, i] { log.add(i); }));
  EXPECT_TRUE(group.isBusy());
  EXPECT_TRUE(log.snapshot().empty());
  group.waitIdle();
  EXPECT_FALSE(group.isBusy());
  EXPECT_EQ(log.snapshot(), (std::vector<int>{9, 8, 7, 6, 5, 4, 3, 2, 1, 0}));
  for (const auto& id : log.threads) EXPECT_EQ(id, std::this_thread::get_id());
}

TEST(WorkerPool, SubmittingToAFullGroupRunsTheNewestPendingJobFirst) {
  WorkerPool pool(plainHooks());
  JobGroup group(pool, true);
  RunLog log;
  for (int i = 0; i < 100; ++i) group.submit(makeParallelJob([&log, i] { log.add(i); }));
  EXPECT_EQ(group.pendingCount(), 100u);
  EXPECT_TRUE(log.snapshot().empty());
  // The 101st submission finds the group full: the submitter runs the newest job itself.
  group.submit(makeParallelJob([&log] { log.add(100); }));
  EXPECT_EQ(log.snapshot(), std::vector<int>{99});
  EXPECT_EQ(group.pendingCount(), 100u);
  group.waitIdle();
  std::vector<int> expected{99, 100};
  for (int i = 98; i >= 0; --i) expected.push_back(i);
  EXPECT_EQ(log.snapshot(), expected);
}

TEST(WorkerPool, HighPriorityGroupsAreServedBeforeOthers) {
  WorkerPool pool(plainHooks());
  JobGroup low(pool, false);
  JobGroup high(pool, true);
  JobGroup lowest(pool, false);  // registered at the front, behind everything
  RunLog log;
  low.submit(makeParallelJob([&log] { log.add(1); }));
  lowest.submit(makeParallelJob([&log] { log.add(0); }));
  high.submit(makeParallelJob([&log] { log.add(2); }));
  while (pool.runOne()) {
  }
  EXPECT_EQ(log.snapshot(), (std::vector<int>{2, 1, 0}));
  EXPECT_FALSE(pool.runOne());
}

TEST(WorkerPool, CancelDeletesPendingJobsUnrun) {
  WorkerPool pool(plainHooks());
  JobGroup group(pool, true);
  std::atomic<int> runs{0};
  std::atomic<int> deletions{0};
  for (int i = 0; i < 30; ++i) group.submit(std::make_unique<CountingJob>(runs, deletions));
  group.cancel();
  EXPECT_EQ(runs.load(), 0);
  EXPECT_EQ(deletions.load(), 30);
  EXPECT_FALSE(group.isBusy());
  // The group stays usable after a cancel.
  group.submit(std::make_unique<CountingJob>(runs, deletions));
  group.waitIdle();
  EXPECT_EQ(runs.load(), 1);
}

TEST(WorkerPool, DestroyingAGroupDropsPendingJobsAndWaitsForTheRunningOne) {
  WorkerPool pool(plainHooks());
  pool.setThreadCount(1, 0);
  auto group = std::make_unique<JobGroup>(pool, true);
  std::promise<void> started;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<bool> blockerFinished{false};
  group->submit(makeParallelJob([&started, released, &blockerFinished] {
    started.set_value();
    released.wait();
    blockerFinished = true;
  }));
  started.get_future().wait();  // the only worker is now busy with the blocker

  std::atomic<int> runs{0};
  std::atomic<int> deletions{0};
  for (int i = 0; i < 50; ++i) group->submit(std::make_unique<CountingJob>(runs, deletions));

  std::thread releaser([&] {
    // Let the blocker go only once the 50 pending jobs are gone.
    EXPECT_TRUE(eventually([&] { return deletions.load() == 50; }));
    release.set_value();
  });
  group.reset();
  EXPECT_TRUE(blockerFinished.load());
  EXPECT_EQ(runs.load(), 0);
  EXPECT_EQ(deletions.load(), 50);
  releaser.join();
}

TEST(WorkerPool, LoweringTheThreadCountLetsSurplusThreadsLeave) {
  WorkerPool pool(plainHooks());
  pool.setThreadCount(4, 0);
  EXPECT_EQ(pool.liveThreadCount(), 4u);
  pool.setThreadCount(1, 0);
  EXPECT_EQ(pool.wantedThreadCount(), 1u);
  EXPECT_TRUE(eventually([&] { return pool.liveThreadCount() == 1; }));

  // The remaining thread still works: nobody helps here.
  JobGroup group(pool, true);
  std::promise<std::thread::id> ranOn;
  group.submit(makeParallelJob([&ranOn] { ranOn.set_value(std::this_thread::get_id()); }));
  auto future = ranOn.get_future();
  ASSERT_EQ(future.wait_for(20s), std::future_status::ready);
  EXPECT_NE(future.get(), std::this_thread::get_id());
  group.waitIdle();

  // Raising the count again starts only the missing threads.
  pool.setThreadCount(3, 0);
  EXPECT_EQ(pool.liveThreadCount(), 3u);
}

TEST(WorkerPool, CountsAboveTheLimitStartNoThread) {
  WorkerPool pool(plainHooks());
  pool.setThreadCount(5001, 0);
  EXPECT_EQ(pool.wantedThreadCount(), 0u);
  EXPECT_EQ(pool.liveThreadCount(), 0u);
  pool.setThreadCount(static_cast<std::uint32_t>(-1), 0);  // "thread count − 1" with count 0
  EXPECT_EQ(pool.liveThreadCount(), 0u);
}

TEST(WorkerPool, ThreadsThatFailToStartLeaveTheWorkToTheCaller) {
  std::atomic<int> entered{0};
  std::atomic<int> priorities{0};
  WorkerPool pool({[&](int priority) {
                     ++entered;
                     priorities += priority;
                     return false;
                   },
                   [] { ADD_FAILURE() << "leave after a failed enter"; }});
  pool.setThreadCount(3, -2);
  EXPECT_TRUE(eventually([&] { return pool.liveThreadCount() == 0; }));
  EXPECT_EQ(entered.load(), 3);
  EXPECT_EQ(priorities.load(), -6);

  JobGroup group(pool, true);
  std::atomic<int> runs{0};
  std::atomic<int> deletions{0};
  for (int i = 0; i < 250; ++i) group.submit(std::make_unique<CountingJob>(runs, deletions));
  group.waitIdle();
  EXPECT_EQ(runs.load(), 250);
  EXPECT_EQ(deletions.load(), 250);
}

TEST(WorkerPool, ManyJobsOnManyThreadsRunExactlyOnce) {
  WorkerPool pool(plainHooks());
  pool.setThreadCount(4, 0);
  JobGroup group(pool, true);
  constexpr int kJobs = 5000;
  std::vector<std::atomic<int>> hits(kJobs);
  for (int i = 0; i < kJobs; ++i) {
    group.submit(makeParallelJob([&hits, i] { hits[static_cast<size_t>(i)].fetch_add(1); }));
    if (i == kJobs / 2) pool.setThreadCount(1, 0);  // lower the count while jobs run
    if (i == kJobs * 3 / 4) pool.setThreadCount(3, 0);
  }
  group.waitIdle();
  for (int i = 0; i < kJobs; ++i) ASSERT_EQ(hits[static_cast<size_t>(i)].load(), 1) << i;
}

TEST(WorkerPool, JobsMaySubmitToTheSamePoolAndWait) {
  for (const std::uint32_t threads : {0u, 1u, 3u}) {
    WorkerPool pool(plainHooks());
    pool.setThreadCount(threads, 0);
    JobGroup outer(pool, true);
    std::vector<long> sums(12, 0);
    for (size_t o = 0; o < sums.size(); ++o) {
      outer.submit(makeParallelJob([&pool, &sums, o] {
        JobGroup inner(pool, true);
        std::vector<long> parts(150, 0);  // more than one pending window
        for (size_t i = 0; i < parts.size(); ++i) {
          inner.submit(makeParallelJob([&parts, i, o] { parts[i] = static_cast<long>(i + o); }));
        }
        inner.waitIdle();
        sums[o] = std::accumulate(parts.begin(), parts.end(), 0L);
      }));
    }
    outer.waitIdle();
    for (size_t o = 0; o < sums.size(); ++o) {
      EXPECT_EQ(sums[o], 149L * 150 / 2 + 150L * static_cast<long>(o)) << threads;
    }
  }
}

TEST(WorkerPool, DestroyingThePoolWaitsForTheJobInProgress) {
  std::atomic<bool> finished{false};
  std::atomic<int> left{0};
  {
    WorkerPool pool({[](int) { return true; }, [&left] { ++left; }});
    pool.setThreadCount(2, 0);
    std::promise<void> started;
    {
      JobGroup group(pool, true);
      group.submit(makeParallelJob([&started, &finished] {
        started.set_value();
        std::this_thread::sleep_for(20ms);  // still running when the pool goes away
        finished = true;
      }));
      started.get_future().wait();
      // The group is destroyed here and waits for the job; the pool then waits for its threads.
    }
  }
  EXPECT_TRUE(finished.load());
  EXPECT_EQ(left.load(), 2);
}

TEST(WorkerPool, ProductionThreadsGetTheirConvertersAndPriority) {
  struct Seen {
    bool hasText = false;
    bool idle = false;
    int nice = 0;
  };
  for (const int level : {-15, -1}) {
    WorkerPool pool;  // the default hooks
    pool.setThreadCount(1, level);
    JobGroup group(pool, true);
    std::promise<Seen> seen;
    group.submit(makeParallelJob([&seen] {
      seen.set_value(
          Seen{currentThreadText() != nullptr, currentThreadIsIdle(), currentThreadNice()});
    }));
    auto future = seen.get_future();
    ASSERT_EQ(future.wait_for(20s), std::future_status::ready);  // run by the worker, not by us
    const Seen result = future.get();
    EXPECT_TRUE(result.hasText);
    if (level == -15) {
      EXPECT_TRUE(result.idle);
    } else {
      EXPECT_FALSE(result.idle);
      EXPECT_EQ(result.nice, 10);
    }
    group.waitIdle();
  }
  // The caller's own thread keeps its priority.
  EXPECT_FALSE(currentThreadIsIdle());
}

struct Accumulator {
  std::atomic<long> total{0};
  void add(std::vector<int>& values) {
    long sum = 0;
    for (int v : values) sum += v;
    total += sum;
    values.clear();  // the job's own copy: the submitter's vector is untouched
  }
};

TEST(ParallelJobInfoC1, CallsTheMemberWithItsOwnCopyOfThePayload) {
  WorkerPool pool(plainHooks());
  pool.setThreadCount(2, 0);
  JobGroup group(pool, true);
  Accumulator accumulator;
  std::vector<int> values{1, 2, 3};
  for (int i = 0; i < 20; ++i)
    group.submit(makeParallelJob(&accumulator, &Accumulator::add, values));
  group.waitIdle();
  EXPECT_EQ(accumulator.total.load(), 120);
  EXPECT_EQ(values.size(), 3u);
}

}  // namespace
}  // namespace tg

namespace tg {
namespace {

// A job that throws (out of memory, say) ends neither its worker thread nor the program, and
// leaves no running count behind: the owner gets the exception from waitIdle, once.
TEST(WorkerPoolFailures, AJobThatThrowsReachesItsOwnerAndNothingHangs) {
  WorkerPool pool(WorkerThreadHooks{});
  pool.setThreadCount(2, 0);
  std::atomic<int> runs{0};
  {
    JobGroup group(pool, true);
    for (int i = 0; i < 40; ++i) {
      group.submit(makeParallelJob([&runs, i] {
        ++runs;
        if (i % 10 == 3) throw std::bad_alloc();
      }));
    }
    EXPECT_THROW(group.waitIdle(), std::bad_alloc);
    EXPECT_FALSE(group.isBusy());
    EXPECT_EQ(runs.load(), 40);
    group.waitIdle();  // the failure was handed over once

    // The pool still works, and a failing job on a cancelled group is simply dropped.
    group.submit(makeParallelJob([] { throw std::runtime_error("late"); }));
    group.submit(makeParallelJob([&runs] { ++runs; }));
  }  // the destructor cancels and waits without throwing
  EXPECT_EQ(pool.liveThreadCount(), 2u);

  // Without threads the helping owner runs the throwing job itself.
  WorkerPool alone(WorkerThreadHooks{});
  JobGroup solo(alone, false);
  solo.submit(makeParallelJob([] { throw std::bad_alloc(); }));
  EXPECT_THROW(solo.waitIdle(), std::bad_alloc);
  EXPECT_FALSE(solo.isBusy());
}

}  // namespace
}  // namespace tg
