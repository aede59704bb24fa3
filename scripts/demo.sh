#!/usr/bin/env bash
# The main job: installs the dependencies, builds the program and runs the demo.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build=${TG_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build "$build"
"$build/bin/tesselograph-cli" --help
