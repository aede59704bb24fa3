#!/usr/bin/env bash
# Rebuilds the damaged sample pictures of this folder from pictures ImageMagick makes. Every
# file is named for what is wrong with it; the imaging tests expect each to be refused cleanly.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

convert -size 96x64 gradient:red-blue -quality 90 "$tmp/good.jpg"
convert -size 96x64 gradient:red-blue "$tmp/good.png"

python3 - "$tmp" <<'PY'
import struct, sys, zlib
tmp = sys.argv[1]
jpeg = open(f"{tmp}/good.jpg", "rb").read()
png = open(f"{tmp}/good.png", "rb").read()

def write(name, data):
    open(name, "wb").write(data)

# JPEG: the scan data ends after half of the file.
write("truncated-half.jpg", jpeg[: len(jpeg) // 2])
# JPEG: the headers only, without any scan.
sos = jpeg.index(b"\xff\xda")
write("headers-without-scan.jpg", jpeg[:sos])
# JPEG: a run of the scan data overwritten with bytes that are no valid entropy code.
body = bytearray(jpeg)
start = sos + 40
for i in range(start, min(start + 200, len(body) - 2)):
    body[i] = 0xFF if i % 7 == 0 else 0x00
write("corrupt-scan-data.jpg", bytes(body))
# JPEG: a frame header that claims 65,000 x 65,000 pixels, followed by the original scan.
sof = jpeg.index(b"\xff\xc0")
huge = bytearray(jpeg)
huge[sof + 5 : sof + 9] = struct.pack(">HH", 65000, 65000)
write("huge-dimensions-65000x65000.jpg", bytes(huge))
# A JPEG file given the name of a PNG, and the other way round.
write("jpeg-with-png-extension.png", jpeg)
write("png-with-jpeg-extension.jpg", png)
# Files that are no picture at all.
write("text-file.jpg", b"This is not a picture, just some text.\n" * 4)
write("text-file.png", b"This is not a picture, just some text.\n" * 4)
write("empty-file.jpg", b"")
write("empty-file.png", b"")
# PNG: the image data ends early.
idat = png.index(b"IDAT")
write("truncated-image-data.png", png[: idat + 30])
# PNG: the header chunk's checksum is wrong.
bad = bytearray(png)
bad[29] ^= 0xFF
write("bad-header-checksum.png", bytes(bad))
# PNG: a header that claims 65,000 x 65,000 pixels (with a correct checksum) and a few bytes of
# image data.
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
ihdr = bytearray(png[16:29])
ihdr[0:8] = struct.pack(">II", 65000, 65000)
write("huge-dimensions-65000x65000.png",
      png[:8] + chunk(b"IHDR", bytes(ihdr)) + chunk(b"IDAT", zlib.compress(b"\0" * 64))
      + chunk(b"IEND", b""))
# PNG: zero width in the header.
zero = bytearray(png[12:29])
zero[4:8] = struct.pack(">I", 0)
chunk = struct.pack(">I", 13) + bytes(zero) + struct.pack(">I", zlib.crc32(bytes(zero)))
write("zero-width.png", png[:8] + chunk + png[33:])
PY
