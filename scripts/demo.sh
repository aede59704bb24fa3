#!/usr/bin/env bash
# The main job: installs the dependencies, builds the program and runs the demo.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --demo
build=${TG_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTG_BUILD_TESTS=OFF
cmake --build "$build" --target tesselograph-cli
# The demo builds a Tile Images List from the wallpaper photographs and a mosaic of one of them.
"$build/bin/tesselograph-cli" demo "${1:-tesselograph-demo}"
