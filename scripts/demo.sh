#!/usr/bin/env bash
# The main job: installs the dependencies, builds the program and runs the demo. Where a display
# is available it then opens the window on the demo's tile list and main image.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --demo
build=${TG_BUILD_DIR:-build}
out=${1:-tesselograph-demo}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTG_BUILD_TESTS=OFF
cmake --build "$build" --target tesselograph-cli
# The demo builds a Tile Images List from the wallpaper photographs and a mosaic of one of them.
mkdir -p "$out"
"$build/bin/tesselograph-cli" demo "$out" 2> >(tee "$out/demo.log" >&2)

# The window, when there is a screen to show it on (TG_DEMO_WINDOW=0 skips it).
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || [ "${TG_DEMO_WINDOW:-1}" = 0 ]; then
  exit 0
fi
cmake --build "$build" --target tesselograph
main=$(sed -n 's/^Demo: .*, main image //p' "$out/demo.log" | head -n 1)
base=$(cd "$out" && pwd)
if [ -z "$main" ] || [ ! -f "$base/Demo Tiles.tg4" ]; then
  echo "demo: the demo left no main image or tile list; not opening the window" >&2
  exit 0
fi
# The window opens on a configuration folder of its own, so the user's settings stay as they
# were: its "(Auto Save)" holds the Default Settings the demo used, the demo's tile list and the
# demo folder for the mosaics (the main image lies in a system folder).
config="$base/window-config"
mkdir -p "$config/Tesselograph Standard"
"$build/bin/tesselograph-cli" settings --set "MosaicDirectory=$base" --write "$config/defaults.txt" >/dev/null
sed -e 's/\[Mosaic Settings\]/[(Auto Save)]/' -e "s|^TileList = .*|TileList = $base/Demo Tiles.tg4\r|" \
  "$config/defaults.txt" >"$config/Tesselograph Standard/TesselographSettings12x12.txt"
TESSELOGRAPH_CONFIG_PATH="$config" "$build/bin/tesselograph" -i "$main"
