#!/usr/bin/env bash
# Video tile extraction against one plain decode: makes a 1080p H.264 film with cuts (made once
# and kept), times the ffmpeg tool decoding its frame range once on all cores, then times
# `tesselograph-cli extract-video` taking 500 images and the scene clips from the same range,
# and prints both wall times, their ratio and the processor use of the extraction
# ((user + system) / wall: 2.0 means both cores of a 2-core machine were busy).
#
# Usage: bench/video_extract.sh [BUILD_DIR] [WORK_DIR] [SECONDS]
#   BUILD_DIR  a build of this checkout without sanitizers (default: build); needs
#              bin/tesselograph-cli
#   WORK_DIR   where the film and the extracted files go (default: /tmp/tesselograph-video-bench)
#   SECONDS    length of the film (default 600: ten minutes at 25 frames per second)
# Clips are written with the MJPG codec (uncompressed 1080p clips would need tens of GB).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
work=${2:-/tmp/tesselograph-video-bench}
seconds=${3:-600}
cli=$build/bin/tesselograph-cli
[ -x "$cli" ] || { echo "video_extract: no $cli; build the tesselograph-cli target first" >&2; exit 2; }
command -v ffmpeg >/dev/null || { echo "video_extract: the ffmpeg tool is needed" >&2; exit 2; }

mkdir -p "$work"
film=$work/film-${seconds}s.mp4
if [ ! -f "$film" ]; then
  # A moving test picture whose hue jumps every 8 seconds (a cut), with long key-frame groups
  # and B-frames as cameras and encoders write them.
  ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=s=1920x1080:r=25:d=$seconds" \
    -vf "hue=h='floor(t/8)*67'" -c:v libx264 -preset veryfast -g 250 -bf 3 -pix_fmt yuv420p \
    "$film"
fi
export TESSELOGRAPH_CONFIG_PATH=$work/config
mkdir -p "$TESSELOGRAPH_CONFIG_PATH"

# measure LABEL COMMAND...: runs the command, prints its wall time and processor use.
measure() {
  local label=$1
  shift
  local stats=$work/.time
  /usr/bin/time -f '%e %U %S %M' -o "$stats" "$@" >"$work/.out" 2>"$work/.err" || {
    echo "video_extract: $label failed:" >&2
    tail -5 "$work/.err" >&2
    exit 1
  }
  read -r wall user system peak <"$stats"
  printf '%-28s %8.2f s wall  %5.2f s processor  %5.2f cores  %7d KB peak\n' "$label" "$wall" \
    "$(awk "BEGIN { print $user + $system }")" "$(awk "BEGIN { print ($user + $system) / $wall }")" \
    "$peak"
  awk "BEGIN { print $user + $system }" >"$work/.cpu-$label"
  echo "$wall"  >"$work/.wall-$label"
}

echo "film: $film ($(ffprobe -v error -count_packets -select_streams v:0 \
  -show_entries stream=nb_read_packets -of csv=p=0 "$film") frames)"
measure decode ffmpeg -nostdin -v error -threads 0 -i "$film" -f null -

rm -rf "$work"/film-"${seconds}"s_FRAMES*
measure extract "$cli" extract-video "$film" --images 500 --clips \
  --set Advanced.VideoMosaic.FourCC=MJPG --set Advanced.Options.ThreadCount=0
tail -1 "$work/.err"
images=$(find "$work" -path "*/film-${seconds}s_FRAMES* Image/*" -type f | wc -l)
clips=$(find "$work" -path "*/film-${seconds}s_FRAMES* Video/*" -type f | wc -l)
ratio=$(awk "BEGIN { print $(cat "$work/.wall-extract") / $(cat "$work/.wall-decode") }")
cpu=$(awk "BEGIN { print $(cat "$work/.cpu-extract") / $(cat "$work/.cpu-decode") }")
printf 'images %d, clips %d; extraction takes %.2f times the wall time of the plain decode\n' \
  "$images" "$clips" "$ratio"
printf '(goal: 2.00) and %.2f times its processor time\n' "$cpu"
