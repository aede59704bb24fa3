#!/usr/bin/env bash
# The test command: installs the dependencies, checks the formatting, configures a build with
# AddressSanitizer and UndefinedBehaviorSanitizer, builds everything and runs every test.
# Any sanitizer report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/check-format.sh
build=${TG_BUILD_DIR:-build-asan}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTG_SANITIZE=ON -DTG_BUILD_BENCH=ON
cmake --build "$build"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
ctest --test-dir "$build" --output-on-failure --timeout 900 -j "$(nproc)"
# Every kept fuzz input replayed, then each parser fuzzed for a bounded time (clang build).
TG_FUZZ_SECONDS=${TG_FUZZ_SECONDS:-15} bash scripts/fuzz.sh
# The threaded parts under ThreadSanitizer, each test repeated up to 20 times.
bash scripts/tsan.sh
