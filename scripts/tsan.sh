#!/usr/bin/env bash
# ThreadSanitizer run of the threaded parts: the worker pool, the renderer, the tile analysis
# and the auction and High Quality placement. The quick tests are repeated until one fails, at
# most TG_TSAN_REPEAT (20) times; the few that take a minute or more under ThreadSanitizer (whole
# placements on several thread counts) run TG_TSAN_SLOW_REPEAT (1) times, to keep CI short.
# Builds only those test programs, in build-tsan.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${TG_TSAN_BUILD_DIR:-build-tsan}
repeat=${TG_TSAN_REPEAT:-20}
slowRepeat=${TG_TSAN_SLOW_REPEAT:-1}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTG_TSAN=ON \
  -DTG_BUILD_GUI=OFF >/dev/null
cmake --build "$build" --target tg_tests_parallel tg_tests_output tg_tests_tiles tg_tests_engine
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
threaded='^(WorkerPool|WorkerPoolFailures|ParallelJobInfoC|Renderer|TileAnalyserTest|TileScan|'
threaded+='Auction|AuctionRows|AuctionStop|AuctionThreads|AuctionTies|HighQualityThreads)\.'
slow='^(HighQualityThreads\.|AuctionStop\.AStopAfterAnyBid|AuctionRows\.|AuctionTies\.|'
slow+='AuctionThreads\.)'
start=$(date +%s)
ctest --test-dir "$build" -R "$threaded" -E "$slow" --repeat until-fail:"$repeat" \
  --timeout 600 -j "$(nproc)" --output-on-failure
ctest --test-dir "$build" -R "$slow" --repeat until-fail:"$slowRepeat" --timeout 900 \
  -j "$(nproc)" --output-on-failure
echo "tsan: $(ctest --test-dir "$build" -N -R "$threaded" -E "$slow" | grep -c 'Test *#') tests" \
  "x $repeat and $(ctest --test-dir "$build" -N -R "$slow" | grep -c 'Test *#') x $slowRepeat," \
  "$(( $(date +%s) - start )) s, no report"
