#!/usr/bin/env bash
# ThreadSanitizer run of the threaded parts: the worker pool, the renderer, the tile analysis
# and the auction and High Quality placement, each test repeated until it fails, at most
# TG_TSAN_REPEAT (20) times. Builds only those test programs, in build-tsan.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${TG_TSAN_BUILD_DIR:-build-tsan}
repeat=${TG_TSAN_REPEAT:-20}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTG_TSAN=ON \
  -DTG_BUILD_GUI=OFF >/dev/null
cmake --build "$build" --target tg_tests_parallel tg_tests_output tg_tests_tiles tg_tests_engine
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
filter='^(WorkerPool|WorkerPoolFailures|ParallelJobInfoC|Renderer|TileAnalyserTest|TileScan|'
filter+='Auction|AuctionRows|AuctionStop|AuctionThreads|AuctionTies|HighQualityThreads)\.'
start=$(date +%s)
ctest --test-dir "$build" -R "$filter" --repeat until-fail:"$repeat" --timeout 600 \
  -j "$(nproc)" --output-on-failure
echo "tsan: $(ctest --test-dir "$build" -N -R "$filter" | grep -c 'Test *#') tests x $repeat," \
  "$(( $(date +%s) - start )) s, no report"
