#!/usr/bin/env bash
# End-to-end quality and speed: builds a Tile Images List from the 1000-tile peer corpus, makes
# the 4000 x 3000 mosaic of its main1 with 40 tiles per row and duplicate spacing 5, once without
# colour change and once with the default 30 %, and prints for each step the wall time and peak
# memory, and the fidelity of each mosaic (mean Delta-E and PSNR against the main image). Where
# metapixel is installed it builds the same mosaic with it and prints the ratios.
#
# Usage: bench/end_to_end.sh [BUILD_DIR] [WORK_DIR]
#   BUILD_DIR  a build of this checkout (default: build); needs bin/tesselograph-cli
#   WORK_DIR   where the corpus, list and mosaics go (default: /tmp/tesselograph-end-to-end);
#              the corpus is made once and kept
# Needs python3 with PIL (python3-pil) for the corpus and the fidelity measure.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
work=${2:-/tmp/tesselograph-end-to-end}
cli=$build/bin/tesselograph-cli
tools=$root/../shared/tools
[ -x "$cli" ] || { echo "end_to_end: no $cli; build the tesselograph-cli target first" >&2; exit 2; }
[ -d "$tools" ] || { echo "end_to_end: no $tools (peer_corpus.sh, mosaic_fidelity.py)" >&2; exit 2; }
python=/usr/bin/python3
command -v python3 >/dev/null && python3 -c 'import PIL' 2>/dev/null && python=python3

mkdir -p "$work"
corpus=$work/corpus
if [ ! -f "$corpus/main/main1.jpg" ]; then
  bash "$tools/peer_corpus.sh" 1000 "$corpus"
fi
export TESSELOGRAPH_CONFIG_PATH=$work/config
mkdir -p "$TESSELOGRAPH_CONFIG_PATH"
main=$corpus/main/main1.jpg

# measure LABEL COMMAND...: runs the command and prints its wall time and peak memory.
measure() {
  local label=$1
  shift
  local stats=$work/.time
  /usr/bin/time -f '%e %M' -o "$stats" "$@" >"$work/.out" 2>"$work/.err" || {
    echo "end_to_end: $label failed:" >&2
    tail -5 "$work/.err" >&2
    exit 1
  }
  read -r seconds kilobytes <"$stats"
  printf '%-34s %8.2f s %8.1f MB\n' "$label" "$seconds" "$(echo "$kilobytes / 1024" | bc -l)"
  eval "last_seconds=$seconds"
}

fidelity() {
  "$python" "$tools/mosaic_fidelity.py" "$main" "$1" | tr '\n' ' '
  echo
}

rm -f "$work/tiles.tg4"
measure "list build (1000 tiles, first)" "$cli" list build --include "$corpus/tiles" "$work/tiles.tg4"
ours_list=$last_seconds
measure "list build (unchanged, again)" "$cli" list build "$work/tiles.tg4"

common=(--set MosaicSizeUnit=pixel --set MosaicSizeWidth=4000 --set MosaicSizeHeight=3000
  --set TileUnit=tilesxrow --set TileSize=40 --set DuplicateSpacing=5 --set FileFormat=jpg
  --set JPGQuality=95 --yes)
measure "mosaic 4000x3000, colour change 0" "$cli" mosaic --list "$work/tiles.tg4" "${common[@]}" \
  --set ColorChange=0 -i "$main" -o "$work/mosaic-cc0.jpg"
ours_mosaic=$last_seconds
measure "mosaic 4000x3000, colour change 30" "$cli" mosaic --list "$work/tiles.tg4" "${common[@]}" \
  --set ColorChange=30 -i "$main" -o "$work/mosaic-cc30.jpg"
# The automatic detail level picks medium detail for 1000 tiles, which favours the likeness of
# each tile up close; very low detail matches the colours seen from afar more closely.
measure "mosaic 4000x3000, cc 0, low detail" "$cli" mosaic --list "$work/tiles.tg4" "${common[@]}" \
  --set ColorChange=0 --set ImageDetail=very_low_detail -i "$main" -o "$work/mosaic-cc0-low.jpg"
echo "fidelity, colour change 0:  $(fidelity "$work/mosaic-cc0.jpg")"
echo "fidelity, colour change 30: $(fidelity "$work/mosaic-cc30.jpg")"
echo "fidelity, cc 0, very low detail: $(fidelity "$work/mosaic-cc0-low.jpg")"

if command -v metapixel >/dev/null && command -v metapixel-prepare >/dev/null; then
  rm -rf "$work/metapixel-library"
  mkdir -p "$work/metapixel-library"
  measure "metapixel prepare" metapixel-prepare -r "$corpus/tiles" "$work/metapixel-library" \
    --width=100 --height=100
  peer_list=$last_seconds
  measure "metapixel mosaic" metapixel --metapixel "$main" "$work/metapixel.png" \
    --library="$work/metapixel-library" --width=100 --height=100 --distance=5
  peer_mosaic=$last_seconds
  echo "fidelity, metapixel:        $(fidelity "$work/metapixel.png")"
  printf 'time ratio ours/metapixel: list %.2f, mosaic %.2f\n' \
    "$(echo "$ours_list / $peer_list" | bc -l)" "$(echo "$ours_mosaic / $peer_mosaic" | bc -l)"
else
  echo "metapixel is not installed: no comparison"
fi
echo "mosaics in $work"
