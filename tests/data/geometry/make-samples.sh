#!/usr/bin/env bash
# Rebuilds the mask pictures of this folder with ImageMagick. The good ones hold two regions
# with a black line between them; the others are named for what is wrong with them and must be
# refused (or, for the cut JPEG, loaded as far as the data goes) without harm.
set -euo pipefail
cd "$(dirname "$0")"

draw=(-size 240x120 xc:white +antialias
      -fill 'rgb(200,30,30)' -draw 'rectangle 10,10 109,109'
      -fill black -draw 'rectangle 110,10 113,109'
      -fill 'rgb(30,180,40)' -draw 'rectangle 114,10 213,109')
convert "${draw[@]}" -define png:color-type=2 two-regions-mask.png
# The same at JPEG quality 85: compression noise and ringing around the edges.
convert "${draw[@]}" -quality 85 two-regions-quality85-mask.jpg
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
convert "${draw[@]}" -quality 90 "$tmp/good.jpg"

python3 - "$tmp" <<'PY'
import struct, sys, zlib
tmp = sys.argv[1]
jpeg = open(f"{tmp}/good.jpg", "rb").read()
png = open("two-regions-mask.png", "rb").read()

def write(name, data):
    open(name, "wb").write(data)

# The JPEG mask cut after half of its bytes.
write("truncated-half-mask.jpg", jpeg[: len(jpeg) // 2])
# A PNG mask whose header claims 65,000 x 65,000 pixels (with a valid checksum).
ihdr = png.index(b"IHDR")
header = bytearray(png[ihdr : ihdr + 17])
header[4:12] = struct.pack(">II", 65000, 65000)
crc = struct.pack(">I", zlib.crc32(bytes(header)) & 0xFFFFFFFF)
write("huge-dimensions-mask.png", png[:ihdr] + bytes(header) + crc + png[ihdr + 21 :])
# Text saved under a picture's name.
write("text-file-mask.png", b"This is a shopping list, not a mask.\n")
PY
