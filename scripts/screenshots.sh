#!/usr/bin/env bash
# Starts the real window program under a virtual X server in several states and writes one PNG
# per state into OUT_DIR, so anyone can look at every window without a desktop.
#   bash scripts/screenshots.sh OUT_DIR        (the build folder comes from TG_BUILD_DIR, default build)
# Each state is one `shot` line at the end of this file; add a window or state with one more.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:?usage: scripts/screenshots.sh OUT_DIR}
build=${TG_BUILD_DIR:-build}
bin="$(pwd)/$build/bin"
for tool in Xvfb xvfb-run xdotool import convert; do
  command -v "$tool" >/dev/null || { echo "screenshots: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done
[ -x "$bin/tesselograph" ] && [ -x "$bin/tesselograph-cli" ] ||
  { echo "screenshots: build tesselograph and tesselograph-cli in $build first" >&2; exit 1; }

# Run the rest on a private X server of 1280 x 860 pixels.
if [ -z "${TG_SCREENSHOTS_INNER:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x860x24 -nolisten tcp -br" \
    env TG_SCREENSHOTS_INNER=1 bash "$0" "$@"
fi

mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Sample pictures: colourful plasma tiles and a main image, made here so no photograph is needed.
mkdir -p "$work/tiles"
for i in $(seq 1 60); do
  convert -seed "$i" -size 96x72 plasma:fractal "$work/tiles/tile$i.jpg"
done
convert -seed 7 -size 1200x800 plasma:fractal -blur 0x12 -modulate 100,160 "$work/main.jpg"
"$bin/tesselograph-cli" list build --include "$work/tiles" "$work/tiles.tg4" >/dev/null 2>&1
# A short letterboxed film for the video extraction.
ffmpeg -loglevel error -f lavfi -i testsrc2=size=320x180:rate=25 -frames:v 75 \
  -vf pad=320:240:0:30 -c:v mjpeg -q:v 3 "$work/film.avi"

# Configurations a state starts from (each shot copies one into its own folder).
# empty: nothing stored. list: "(Auto Save)" names the tile list and a mosaic of 30 tiles a row.
make_config_empty() { :; }
# The update mode is chosen in every configuration ("never"), so the first-run question of the
# automatic update check does not cover the windows three seconds after start.
choose_update_mode() {
  mkdir -p "$1/Tesselograph Standard"
  printf '\r\n[UserSettings]\r\nCheckVersion = 1\r\n' >>"$1/Tesselograph Standard/TesselographConfig.txt"
}
make_config_list() {
  local folder="$1/Tesselograph Standard"
  mkdir -p "$folder"
  "$bin/tesselograph-cli" settings --set TileUnit=tilesxrow --set TileSize=30 \
    --set MosaicSizeUnit=pixel --set MosaicSizeWidth=6000 --set MosaicSizeHeight=4000 \
    --write "$work/set.txt" >/dev/null
  sed -e 's/\[Mosaic Settings\]/[(Auto Save)]/' \
      -e "s|^TileList = .*|TileList = $work/tiles.tg4\r|" "$work/set.txt" \
    >"$folder/TesselographSettings12x12.txt"
}

# shot NAME CONFIG "KEYS" [ARGUMENTS...]
# Starts the program with ARGUMENTS on a fresh copy of configuration CONFIG, waits for its first
# window (the main window, or the start menu or about box that -m and -a show), presses KEYS
# (xdotool key names such as ctrl+Return, "" for none, "wait:N" sleeps N seconds), and saves the
# screen cut to the program's windows (a dialog the keys opened included) as OUT_DIR/NAME.png.
shot() {
  local name=$1 config=$2 keys=$3
  shift 3
  local home="$work/config-$name"
  mkdir -p "$home"
  "make_config_$config" "$home"
  choose_update_mode "$home"
  TESSELOGRAPH_CONFIG_PATH="$home" QT_QPA_PLATFORM=xcb "$bin/tesselograph" "$@" \
    >"$work/$name.log" 2>&1 &
  local pid=$!
  local window
  window=$(timeout 30 xdotool search --sync --onlyvisible --pid "$pid" --name 'Tesselograph' |
    head -1) || {
    echo "screenshots: $name: no window appeared" >&2
    cat "$work/$name.log" >&2
    kill "$pid" 2>/dev/null || true
    return 1
  }
  sleep 1.5
  for key in $keys; do
    case $key in
      wait:*) sleep "${key#wait:}" ;;
      *) xdotool windowfocus --sync "$window" key --clearmodifiers "$key" ;;
    esac
  done
  sleep 0.5
  # The screen is black around the windows (-br): cut it away.
  import -window root "$work/screen.png"
  convert "$work/screen.png" -trim +repage "$out/$name.png"
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  echo "$out/$name.png"
}

shot main-window-empty empty ""
shot main-window-main-image list "" -i "$work/main.jpg"
shot main-window-job-running list "ctrl+Return wait:3" -i "$work/main.jpg"
shot start-menu empty "" -m
shot about-box empty "" -a

# The dialog windows: dialog_shot NAME CONFIG "KEYS" TITLE [ARGUMENTS...] works like `shot` but
# saves the window whose title matches TITLE (a regular expression) once the keys are pressed.
# A key "focus:REGEX" gives the keyboard to the window whose title matches (there is no window
# manager to do it when a dialog opens); "type:TEXT" types TEXT (a path into a file dialog).
make_config_split() {
  make_config_list "$1"
  sed -i 's/^SplitMosaic = 0/SplitMosaic = 1/' "$1/Tesselograph Standard/TesselographSettings12x12.txt"
}
dialog_shot() {
  local name=$1 config=$2 keys=$3 title=$4
  shift 4
  local home="$work/config-$name"
  mkdir -p "$home"
  "make_config_$config" "$home"
  choose_update_mode "$home"
  TESSELOGRAPH_CONFIG_PATH="$home" QT_QPA_PLATFORM=xcb "$bin/tesselograph" "$@" \
    >"$work/$name.log" 2>&1 &
  local pid=$!
  local window dialog
  window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Tesselograph$' | head -1) || {
    echo "screenshots: $name: no window appeared" >&2
    kill "$pid" 2>/dev/null || true
    return 1
  }
  sleep 1.5
  xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
  for key in $keys; do
    case $key in
      wait:*) sleep "${key#wait:}" ;;
      focus:*) xdotool search --sync --onlyvisible --name "${key#focus:}" windowfocus --sync ;;
      type:*) xdotool type --delay 20 "${key#type:}" ;;
      *) xdotool key --clearmodifiers "$key" ;;
    esac
  done
  dialog=$(timeout 20 xdotool search --sync --onlyvisible --name "$title" | head -1) || {
    echo "screenshots: $name: no window titled $title appeared" >&2
    cat "$work/$name.log" >&2
    kill "$pid" 2>/dev/null || true
    return 1
  }
  sleep 1
  import -window "$dialog" "$out/$name.png"
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  echo "$out/$name.png"
}

dialog_shot tile-images list "ctrl+t" '^Tesselograph - Tile Images$'
# The same list with 1,500 new photographs in a folder of it: Save List (Ctrl+S) analyses them
# (large enough that the analysis is still running when the picture is taken).
make_config_analysis() {
  make_config_list "$1"
  if [ ! -d "$work/more" ]; then
    mkdir -p "$work/more"
    "$bin/tesselograph-cli" list build --include "$work/tiles" --include "$work/more" \
      "$work/tiles.tg4" >/dev/null 2>&1
    convert -seed 3 -size 1600x1200 plasma:fractal -duplicate 1499 +adjoin "$work/more/new%d.jpg"
  fi
}
dialog_shot tile-images-analysing analysis "ctrl+t focus:Tile.Images$ ctrl+s" \
  '^Tesselograph - Tile Images$'
dialog_shot more-options list "ctrl+m" '^Tesselograph - More Options$'
dialog_shot advanced-settings list "ctrl+m focus:More.Options$ alt+a" '^Tesselograph - Advanced Settings$'
dialog_shot save-settings list "ctrl+s" '^Tesselograph - Save Settings$'
dialog_shot split split "ctrl+Return" '^Tesselograph - Split Mosaic$' -i "$work/main.jpg"
dialog_shot preview list "ctrl+i" 'main\.jpg$' -i "$work/main.jpg"
dialog_shot video-extract list \
  "ctrl+t focus:Tile.Images$ ctrl+e wait:1 Return wait:1 type:$work/film.avi Return" \
  '^Tesselograph - Extract Video$'
