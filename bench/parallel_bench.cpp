// SPDX-License-Identifier: GPL-3.0-or-later
// Many small jobs on a worker pool: one thread (the caller alone) against every processor (n − 1
// pool threads plus the helping caller), the way placement and rendering use the pool.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "parallel/worker_pool.h"
#include "parallel/worker_settings.h"

namespace {

/// A job of roughly a cell's worth of work: a few thousand integer operations on its own slot.
std::uint64_t smallWork(std::uint64_t seed, int rounds) {
  std::uint64_t x = seed | 1;
  for (int i = 0; i < rounds; ++i) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
  }
  return x;
}

void manySmallJobs(benchmark::State& state) {
  const auto threads = static_cast<std::uint32_t>(state.range(0));
  const int jobs = static_cast<int>(state.range(1));
  const int rounds = static_cast<int>(state.range(2));
  tg::WorkerPool pool;
  pool.setThreadCount(threads - 1, tg::kPriorityNormal);
  std::vector<std::uint64_t> results(static_cast<size_t>(jobs));
  for (auto _ : state) {
    tg::JobGroup group(pool, true);
    for (int j = 0; j < jobs; ++j) {
      group.submit(tg::makeParallelJob([&results, j, rounds] {
        results[static_cast<size_t>(j)] = smallWork(static_cast<std::uint64_t>(j), rounds);
      }));
    }
    group.waitIdle();
    benchmark::DoNotOptimize(results.data());
  }
  state.SetItemsProcessed(state.iterations() * jobs);
  state.counters["threads"] = threads;
}

void registerAll() {
  const auto all = static_cast<long>(std::max(1u, tg::systemProcessorCount()));
  for (const long rounds : {20000L, 2000L}) {
    for (const long threads : {1L, all}) {
      benchmark::RegisterBenchmark("manySmallJobs", manySmallJobs)
          ->Args({threads, 10000, rounds})
          ->UseRealTime()
          ->Unit(benchmark::kMillisecond);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  registerAll();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
