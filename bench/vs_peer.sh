#!/usr/bin/env bash
# Tesselograph against the open-source peer metapixel, in one run on the same tiles, main image
# and cell count, printing for each case both programs' wall time and peak memory and the ratios
# (ours / metapixel; below 1 means we are faster or smaller), each as wall time, processor time
# (user and system) and peak memory:
#   list      building the tile list (tesselograph-cli list build / metapixel-prepare)
#   mosaic    the 4000 x 3000 mosaic of main1 with 40 cells across and duplicate spacing 5
#   together  the two above added up (peak: the larger of the two)
#   no-dup    every tile used at most once (our auction, metapixel's global search) with 7,500
#             cells over 10,000 tiles; a corpus of fewer tiles uses three cells for every four
#             tiles (1,000 tiles: 31 x 23 cells), said in the output
#
# Usage: bench/vs_peer.sh CORPUS [BUILD_DIR] [WORK_DIR]
#   CORPUS     a corpus of ../shared/tools/peer_corpus.sh N CORPUS (tiles/ and main/main1.jpg);
#              made here with 1,000 tiles when it does not exist yet
#   BUILD_DIR  an optimised build of this checkout with bin/tesselograph-cli (default: build-rel)
#   WORK_DIR   lists, libraries and mosaics (default: /tmp/tesselograph-vs-peer)
# Installs Debian's metapixel package when it is missing (root or sudo), and python3-pil when the
# corpus has to be made. SKIP_NODUP=1 leaves the no-duplicates case out.
# Run it on a quiet machine: our worker threads run at the lowest priority, so on a busy machine
# the wall times say more about the other programs than about ours (the processor times less so).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -ge 1 ] || { sed -n '2,20p' "$0" >&2; exit 2; }
corpus=$1
build=$(cd "${2:-$root/build-rel}" && pwd)
work=${3:-/tmp/tesselograph-vs-peer}
cli=$build/bin/tesselograph-cli
[ -x "$cli" ] || { echo "vs_peer: no $cli; build the tesselograph-cli target first" >&2; exit 2; }

as_root=()
if [ "$(id -u)" -ne 0 ]; then as_root=(sudo); fi
install_package() {
  echo "vs_peer: installing Debian's $1" >&2
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q --no-install-recommends "$1" \
    >/dev/null || {
    "${as_root[@]}" apt-get update -q >/dev/null
    DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q --no-install-recommends \
      "$1" >/dev/null
  }
}
command -v metapixel >/dev/null && command -v metapixel-prepare >/dev/null ||
  install_package metapixel

if [ ! -f "$corpus/main/main1.jpg" ]; then
  python3 -c 'import PIL' 2>/dev/null || install_package python3-pil
  bash "$root/../shared/tools/peer_corpus.sh" 1000 "$corpus"
fi
corpus=$(cd "$corpus" && pwd)
main=$corpus/main/main1.jpg
tiles=$(find "$corpus/tiles" -maxdepth 1 -name '*.jpg' | wc -l)
mkdir -p "$work"
export TESSELOGRAPH_CONFIG_PATH=$work/config
mkdir -p "$TESSELOGRAPH_CONFIG_PATH"

# measure NAME COMMAND...: runs the command, sets NAME_s (wall seconds), NAME_cpu (user and
# system seconds) and NAME_mb (peak MB).
measure() {
  local name=$1
  shift
  /usr/bin/time -f '%e %M %U %S' -o "$work/.time" "$@" >"$work/.out" 2>"$work/.err" || {
    echo "vs_peer: $name failed:" >&2
    tail -5 "$work/.err" >&2
    exit 1
  }
  local seconds kilobytes user system
  read -r seconds kilobytes user system <"$work/.time"
  printf -v "${name}_s" '%s' "$seconds"
  printf -v "${name}_cpu" '%s' "$(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }')"
  printf -v "${name}_mb" '%s' "$(awk -v k="$kilobytes" 'BEGIN { printf "%.0f", k / 1024 }')"
}

# Wall time, processor time and peak of both, and the ratios ours / metapixel of the three.
row() {
  local label=$1 ours=$2 peer=$3
  local os=${ours}_s oc=${ours}_cpu om=${ours}_mb ps=${peer}_s pc=${peer}_cpu pm=${peer}_mb
  awk -v l="$label" -v os="${!os}" -v oc="${!oc}" -v om="${!om}" -v ps="${!ps}" -v pc="${!pc}" \
    -v pm="${!pm}" 'BEGIN {
    printf "%-34s %7.2f s %7.2f s %5d MB  %7.2f s %7.2f s %5d MB  %5.2f %5.2f %5.2f\n", l, os, oc,
      om, ps, pc, pm, (ps > 0 ? os / ps : 0), (pc > 0 ? oc / pc : 0), (pm > 0 ? om / pm : 0) }'
}

# The same 4000 x 3000 mosaic: 40 cells of 100 x 100 pixels across, 30 down.
common=(--set MosaicSizeUnit=pixel --set MosaicSizeWidth=4000 --set MosaicSizeHeight=3000
  --set TileUnit=tilesxrow --set FileFormat=jpg --set JPGQuality=95 --set ColorChange=0 --yes)

rm -f "$work/tiles.tg4"
measure ours_list "$cli" list build --include "$corpus/tiles" "$work/tiles.tg4"
rm -rf "$work/library" && mkdir -p "$work/library"
measure peer_list metapixel-prepare -r "$corpus/tiles" "$work/library" --width=100 --height=100

measure ours_mosaic "$cli" mosaic --list "$work/tiles.tg4" "${common[@]}" --set TileSize=40 \
  --set DuplicateSpacing=5 -i "$main" -o "$work/ours.jpg"
measure peer_mosaic metapixel --metapixel "$main" "$work/peer.png" --library="$work/library" \
  --width=100 --height=100 --distance=5

for who in ours peer; do
  s=${who}_list_s m=${who}_mosaic_s a=${who}_list_mb b=${who}_mosaic_mb
  c=${who}_list_cpu d=${who}_mosaic_cpu
  printf -v "${who}_both_s" '%s' "$(awk -v a="${!s}" -v b="${!m}" 'BEGIN { print a + b }')"
  printf -v "${who}_both_cpu" '%s' "$(awk -v a="${!c}" -v b="${!d}" 'BEGIN { print a + b }')"
  printf -v "${who}_both_mb" '%s' "$((${!a} > ${!b} ? ${!a} : ${!b}))"
done

if [ "${SKIP_NODUP:-0}" != 1 ]; then
  # Three cells for every four tiles at 4:3, at most 100 x 75 (7,500 cells over 10,000 tiles).
  across=$(awk -v n="$tiles" 'BEGIN { a = int(sqrt(n)); print (a > 100 ? 100 : a) }')
  side=$((4000 / across))
  down=$((3000 / side))
  measure ours_nodup "$cli" mosaic --list "$work/tiles.tg4" "${common[@]}" --set TileSize="$across" \
    --set TileDuplication=1 --set MosaicProcessing=standard1 -i "$main" -o "$work/ours-nodup.jpg"
  measure peer_nodup metapixel --metapixel "$main" "$work/peer-nodup.png" \
    --library="$work/library" --width="$side" --height="$side" --search=global
fi

echo "tiles: $tiles from $corpus; main image: $main"
printf '%-34s %-29s %-29s %s\n' "" "tesselograph" "metapixel" "ours / metapixel"
printf '%-34s %9s %9s %8s  %9s %9s %8s  %5s %5s %5s\n' "case" "wall" "cpu" "peak" "wall" "cpu" \
  "peak" "wall" "cpu" "peak"
row "list build" ours_list peer_list
row "mosaic 4000x3000, 40 across" ours_mosaic peer_mosaic
row "list + mosaic" ours_both peer_both
if [ "${SKIP_NODUP:-0}" != 1 ]; then
  row "no duplicates, $((across * down)) cells x $tiles" ours_nodup peer_nodup
fi
echo "outputs in $work"
