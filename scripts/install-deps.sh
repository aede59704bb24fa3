#!/usr/bin/env bash
# Installs every Debian 12 package Tesselograph needs to build, test and run its demo.
# Safe to run again: apt-get skips what is already installed. Works as root or through sudo.
# With --demo it also installs the wallpaper packages whose photographs the demo uses as tiles
# (the test command needs only the smallest of them).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git clang-format gettext
  libjpeg-dev libpng-dev zlib1g-dev libtiff-dev libexif-dev
  libboost-regex-dev libicu-dev libsimpleini-dev libcurl4-openssl-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev ffmpeg
  qt6-base-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  imagemagick libtiff-tools
  bash-completion
  clang-14 libclang-rt-14-dev
  desktop-base xdg-utils
  xvfb xauth xdotool
  chromium
  pandoc groff ghostscript man-db  # the user guide PDF, the manual pages
  file dpkg-dev                    # the Debian package (CPack finds its dependencies)
  sway-backgrounds                 # a few pictures for the package test's demo
)
if [ "${1:-}" = "--demo" ]; then
  packages+=(mate-backgrounds ukui-wallpapers sway-backgrounds plasma-workspace-wallpapers)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1; then
  as_root=(sudo)
else
  echo "install-deps: need root or sudo to install: ${missing[*]}" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
