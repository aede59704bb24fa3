#!/usr/bin/env bash
# Builds the Debian package of Tesselograph from a Release build:
#   bash scripts/package.sh [OUT_DIR]      (default OUT_DIR: the current folder)
# then install it with: sudo apt install ./tesselograph_*.deb
set -euo pipefail
out=$(realpath -m "${1:-.}")
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build=${TG_BUILD_DIR:-build-release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTG_BUILD_TESTS=OFF
cmake --build "$build"
cpack --config "$build/CPackConfig.cmake" -B "$out"
rm -rf "$out/_CPack_Packages"
ls "$out"/tesselograph_*.deb
