#!/usr/bin/env bash
# Opens the renderer's outputs in programs we did not write: ImageMagick's `identify` reads every
# format (JPEG, BMP, TIFF, BigTIFF, JPEG-compressed TIFF, PPM, PSD, PSB) and `tiffinfo` checks the
# TIFF files' directories. Pictures wider than Debian's ImageMagick policy allows are read under
# our own policy (bench/magick/policy.xml) through MAGICK_CONFIGURE_PATH.
#
# Usage: bench/check_outputs.sh BUILD_DIR [OUT_DIR]
#   BUILD_DIR  a build folder configured with -DTG_BUILD_BENCH=ON (render_bench is built there)
#   OUT_DIR    where the sample outputs go (default: a temporary folder, removed afterwards)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: check_outputs.sh BUILD_DIR [OUT_DIR]}
bench="$build/bin/render_bench"
[ -x "$bench" ] || { echo "check_outputs: $bench not built (configure with -DTG_BUILD_BENCH=ON)" >&2; exit 2; }
for tool in identify tiffinfo; do
  command -v "$tool" >/dev/null || { echo "check_outputs: $tool is missing (scripts/install-deps.sh)" >&2; exit 2; }
done

if [ $# -ge 2 ]; then
  out=$2
  mkdir -p "$out"
else
  out=$(mktemp -d)
  trap 'rm -rf "$out"' EXIT
fi
"$bench" --samples "$out"

export MAGICK_CONFIGURE_PATH="$here/magick"
failures=0
check() {  # file expected-format expected-size
  local file=$1 format=$2 size=$3 got
  if ! got=$(identify -format '%m %wx%h\n' "$file" 2>&1 | head -n 1); then
    echo "FAIL $file: identify: $got"; failures=$((failures + 1)); return
  fi
  if [ "$got" != "$format $size" ]; then
    echo "FAIL $file: identify says '$got', expected '$format $size'"; failures=$((failures + 1))
  else
    echo "ok   $file: $got"
  fi
}
check "$out/sample-jpeg.jpg" JPEG 480x360
check "$out/sample-bmp.bmp" BMP3 480x360
check "$out/sample-tiff.tiff" TIFF 480x360
check "$out/sample-tiff-alpha.tiff" TIFF 480x360
check "$out/sample-bigtiff.tiff" TIFF64 480x360
check "$out/sample-tiff-jpeg.tiff" TIFF 480x360
check "$out/sample-ppm.ppm" PPM 480x360
check "$out/sample-psd.psd" PSD 480x360
# ImageMagick reads PSB through its PSD coder and names it so.
check "$out/sample-psb.psb" PSD 480x360
check "$out/sample-wide.jpg" JPEG 20800x80
check "$out/sample-wide.psb" PSD 20800x80

for tiff in "$out"/sample-*.tiff; do
  if report=$(tiffinfo "$tiff" 2>&1) && ! grep -qi 'error' <<<"$report"; then
    echo "ok   $tiff: tiffinfo $(grep -o 'Compression Scheme: [A-Za-z ]*' <<<"$report" | head -n 1)"
  else
    echo "FAIL $tiff: tiffinfo: $report"; failures=$((failures + 1))
  fi
done
# The alpha sample is there and opaque.
if identify -format '%[channels] %[fx:minima.a]\n' "$out/sample-tiff-alpha.tiff" | grep -q '^srgba 1'; then
  echo "ok   sample-tiff-alpha.tiff: opaque alpha"
else
  echo "FAIL sample-tiff-alpha.tiff: alpha missing or not opaque"; failures=$((failures + 1))
fi

if [ "$failures" -ne 0 ]; then
  echo "check_outputs: $failures check(s) failed" >&2
  exit 1
fi
echo "check_outputs: every output opens"
