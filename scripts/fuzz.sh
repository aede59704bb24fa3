#!/usr/bin/env bash
# Builds the libFuzzer targets (clang 14, ASan + UBSan) in build-fuzz, replays every input kept
# in fuzz/corpus/<target>/ (seeds and inputs that once found a fault), then fuzzes each target.
#   bash scripts/fuzz.sh                  replay, then fuzz each target for TG_FUZZ_SECONDS (30)
#   bash scripts/fuzz.sh --runs N [T...]  fuzz the targets T (default all) for N executions each
# New inputs that reach new code go to build-fuzz/corpus/<target>/ (not the repository); an input
# that crashes, leaks or hangs is written to fuzz/corpus/<target>/crash-* and fails the run, so
# that it can be kept as a regression input once the fault is mended.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${TG_FUZZ_BUILD_DIR:-build-fuzz}
seconds=${TG_FUZZ_SECONDS:-30}
runs=""
if [ "${1:-}" = "--runs" ]; then
  runs=$2
  shift 2
fi
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(fuzz_tile_list fuzz_settings fuzz_units fuzz_command_line fuzz_mask_cells
           fuzz_image_decode fuzz_output_paths fuzz_video_open)
fi

CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTG_FUZZ=ON -DTG_BUILD_GUI=OFF -DTG_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
for target in "${targets[@]}"; do
  seeds=fuzz/corpus/$target
  work=$build/corpus/$target
  mkdir -p "$work"
  # Every kept input once, on its own: a fault mended must stay mended.
  find "$seeds" -type f -print0 | xargs -0 -r "$build/bin/$target" -rss_limit_mb=2048 \
    -timeout=20 >"$build/$target.replay.log" 2>&1 || {
      tail -40 "$build/$target.replay.log"
      echo "fuzz: $target fails on a kept input" >&2
      exit 1
    }
  if [ -n "$runs" ]; then
    limit=(-runs="$runs")
  else
    limit=(-max_total_time="$seconds")
  fi
  start=$(date +%s)
  "$build/bin/$target" "$work" "$seeds" "${limit[@]}" -rss_limit_mb=2048 -timeout=20 \
    -max_len=65536 -print_final_stats=1 -artifact_prefix="$seeds/" \
    >"$build/$target.log" 2>&1 || {
      tail -60 "$build/$target.log"
      echo "fuzz: $target found a fault (input kept in $seeds)" >&2
      exit 1
    }
  executions=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$build/$target.log" |
               grep -o '[0-9]*$' || echo "?")
  echo "fuzz: $target: $executions executions in $(( $(date +%s) - start )) s, no fault"
done
