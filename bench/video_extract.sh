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
  # Scenes of 12 to 45 seconds from eight generated sources in turn (moving test pictures in
  # changing hues, gradients, cellular automata, a fractal, bars with grain), so that the scene
  # cutting has real cuts, still stretches and noisy stretches to work on; long key-frame groups
  # and B-frames as cameras and encoders write them. Takes a while: it is made once and kept.
  sources=(
    "testsrc2=s=1920x1080:r=25,hue=h=%H"
    "gradients=s=1920x1080:r=25:speed=0.02:seed=%S"
    "life=s=320x180:r=25:ratio=0.2:mold=8:seed=%S,scale=1920:1080:flags=neighbor"
    "smptehdbars=s=1920x1080:r=25,noise=alls=6:allf=t"
    "cellauto=s=320x180:r=25:rule=%R:seed=%S,scale=1920:1080:flags=neighbor"
    "sierpinski=s=1920x1080:r=25:seed=%S"
    "testsrc2=s=1920x1080:r=25,hue=h=%H:s=0.4"
    "rgbtestsrc=s=1920x1080:r=25,hue=h=%H"
  )
  lengths=(40 30 35 15 25 30 45 12)
  graph='' inputs='' n=0 total=0
  while [ "$total" -lt "$seconds" ]; do
    i=$((n % ${#sources[@]}))
    len=${lengths[$i]}
    [ $((total + len)) -gt "$seconds" ] && len=$((seconds - total))
    src=${sources[$i]//%H/$(((n * 67) % 360))}
    src=${src//%S/$((n + 1))}
    src=${src//%R/$((30 + 60 * (n % 3)))}
    graph+="$src,trim=duration=$len,setpts=PTS-STARTPTS,format=yuv420p,setsar=1[s$n];"
    inputs+="[s$n]"
    total=$((total + len)) n=$((n + 1))
  done
  graph+="${inputs}concat=n=$n:v=1:a=0[v]"
  ffmpeg -nostdin -v error -y -filter_complex "$graph" -map '[v]' -c:v libx264 -preset veryfast \
    -g 250 -bf 3 -pix_fmt yuv420p "$film.part.mp4"
  mv "$film.part.mp4" "$film"
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
# Frames the clips hold, from their names ("...-(0180).avi"): every one is decoded a second time
# and coded as a JPEG, so the share of the film they cover drives the extraction's cost.
clipFrames=$(find "$work" -path "*/film-${seconds}s_FRAMES* Video/*" -name '*.avi' -type f |
  sed -n 's/.*-(\([0-9]*\))\.avi$/\1/p' | awk '{ sum += $1 } END { print sum + 0 }')
ratio=$(awk "BEGIN { print $(cat "$work/.wall-extract") / $(cat "$work/.wall-decode") }")
cpu=$(awk "BEGIN { print $(cat "$work/.cpu-extract") / $(cat "$work/.cpu-decode") }")
printf 'images %d, clips %d; extraction takes %.2f times the wall time of the plain decode\n' \
  "$images" "$clips" "$ratio"
printf '(goal: 2.00) and %.2f times its processor time\n' "$cpu"
clipBytes=$(find "$work" -path "*/film-${seconds}s_FRAMES* Video/*" -name '*.avi' -type f \
  -printf '%s\n' | awk '{ sum += $1 } END { print sum + 0 }')
printf 'the clips hold %d frames in %.1f MB\n' "$clipFrames" "$(awk "BEGIN { print $clipBytes / 1e6 }")"
