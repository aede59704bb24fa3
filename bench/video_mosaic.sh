#!/usr/bin/env bash
# Video mosaic speed and memory: cuts 500 clips of 2 seconds (96 x 72, Motion JPEG) from one
# ffmpeg test source, makes a 1920 x 1080 video mosaic of 300 frames in cells of 40 pixels from
# them (uncompressed and Motion JPEG), and has ffmpeg encode the same 300 frames to Motion JPEG
# and H.264. Prints the processor time (user + system, the fair figure on a shared machine), the
# wall time and the peak memory of each step.
#
# A last step mixes 300 photographs (640 x 480 JPEG) into the clips and renders 60 frames:
# still cells show the same picture in every frame, so this one measures what they cost.
#
# Usage: bench/video_mosaic.sh [BUILD_DIR] [WORK_DIR] [stills]
#   BUILD_DIR  a build of this checkout (default: build); needs bin/tesselograph-cli
#   WORK_DIR   where the clips, list and videos go (default: /tmp/tesselograph-video-bench);
#              the clips are made once and kept; the videos take about 2.2 GB
#   stills     run only the last step (photographs and clips)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
work=${2:-/tmp/tesselograph-video-bench}
cli=$build/bin/tesselograph-cli
[ -x "$cli" ] || { echo "video_mosaic: no $cli; build the tesselograph-cli target first" >&2; exit 2; }
mkdir -p "$work/clips" "$work/out"
cd "$work"
export TESSELOGRAPH_CONFIG_PATH=$work/config
measure() {  # label command...
  local label=$1
  shift
  /usr/bin/time -f "$label: %U s user + %S s system, %e s wall, %M KB peak" "$@"
}

if [ ! -f clips/c499.avi ]; then
  ffmpeg -nostdin -v error -y -f lavfi \
    -i "gradients=s=96x72:r=25:speed=0.02:seed=7:nb_colors=3,hue=h=t*37:s=1+0.5*sin(t/7),noise=alls=12:allf=t" \
    -t 1000 -c:v mjpeg -q:v 3 -pix_fmt yuvj420p -f segment -segment_time 2 -reset_timestamps 1 \
    clips/c%03d.avi
fi
[ -f main.jpg ] || ffmpeg -nostdin -v error -y -f lavfi -i mandelbrot=s=1920x1080 -frames:v 1 main.jpg
"$cli" list build --video clips clips.tg4 >/dev/null 2>&1

settings=(--set MosaicSizeUnit=pixel --set MosaicSizeWidth=1920 --set MosaicSizeHeight=1080
  --set TileUnit=pixel --set TileSize=40 --set ResolutionUnit=ppi --set ResolutionSize=72
  --set DuplicateSpacing=2 --set Advanced.VideoMosaic.FrameCountFromVideoTile=300 --yes)

stills() {
  if [ ! -f stills/s300.jpg ]; then
    mkdir -p stills
    ffmpeg -nostdin -v error -y -f lavfi \
      -i "gradients=s=640x480:r=1:speed=0.5:seed=11:nb_colors=4,hue=h=t*53,noise=alls=16:allf=t" \
      -frames:v 300 -q:v 3 stills/s%03d.jpg
  fi
  "$cli" list build --include stills --video clips mixed.tg4 >/dev/null 2>&1
  measure "60 frames of photographs and clips, uncompressed" "$cli" mosaic --list mixed.tg4 \
    "${settings[@]}" --set Advanced.VideoMosaic.FrameCountFromVideoTile=60 --set TextReport=1 \
    --set FileFormat=avi_uncompressed -i main.jpg -o out/mixed.avi 2>&1 | tail -1
  echo "cells showing a photograph: $(grep -ac '\.jpg",' 'out/mixed Text Report.csv') of $(
    grep -ac '^[0-9]*,[0-9]*,40,40,' 'out/mixed Text Report.csv')"
}
if [ "${3:-}" = stills ]; then
  stills
  exit 0
fi
measure "one frame (list, placement, set-up)" "$cli" mosaic --list clips.tg4 "${settings[@]}" \
  --set Advanced.VideoMosaic.FrameCountFromVideoTile=1 --set FileFormat=avi_uncompressed \
  -i main.jpg -o out/one.avi 2>&1 | tail -1
measure "300 frames, uncompressed" "$cli" mosaic --list clips.tg4 "${settings[@]}" \
  --set FileFormat=avi_uncompressed -i main.jpg -o out/raw.avi 2>&1 | tail -1
measure "300 frames, Motion JPEG" "$cli" mosaic --list clips.tg4 "${settings[@]}" \
  --set FileFormat=avi_compressed --set Advanced.VideoMosaic.FourCC=MJPG \
  -i main.jpg -o out/mjpg.avi 2>&1 | tail -1
measure "ffmpeg: Motion JPEG of the same frames" ffmpeg -nostdin -v error -y -i out/raw.avi \
  -c:v mjpeg -q:v 3 -pix_fmt yuvj420p out/ffmpeg-mjpg.avi 2>&1 | tail -1
measure "ffmpeg: H.264 (medium, one thread) of the same frames" ffmpeg -nostdin -v error -y \
  -i out/raw.avi -c:v libx264 -preset medium -threads 1 out/ffmpeg-h264.mp4 2>&1 | tail -1
measure "ffmpeg: reading the uncompressed frames only" ffmpeg -nostdin -v error -i out/raw.avi \
  -f null - 2>&1 | tail -1
stills
