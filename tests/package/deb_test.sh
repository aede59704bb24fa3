#!/usr/bin/env bash
# The Debian package from end to end: CPack builds it from BUILD_DIR; it must declare library
# packages that this Debian provides and hold the programs, their data, the manual pages and
# the translation; dpkg installs it into a fresh root under WORK_DIR (never into this system);
# the installed tesselograph-cli runs from there (version, the demo mosaic, German messages from
# the installed catalogue); dpkg removes it and nothing of it may remain.
# Usage: deb_test.sh BUILD_DIR WORK_DIR VERSION. Exit 77 (skipped) without dpkg or cpack.
set -euo pipefail
build=$1
work=$2
version=$3

for tool in dpkg dpkg-deb cpack; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is missing"
    exit 77
  fi
done

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

rm -rf "$work"
mkdir -p "$work"
if ! cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  fail "cpack could not build the package"
fi
debs=("$work"/out/tesselograph_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one package in $work/out"
deb=${debs[0]}
echo "package: $(basename "$deb")"

# Control fields: the name, the version, and library dependencies this system satisfies.
[ "$(dpkg-deb -f "$deb" Package)" = tesselograph ] || fail "wrong package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version is not $version"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for library in libc6 libjpeg62-turbo libpng16-16 libtiff6 libavformat59 libicu72 libcurl4; do
  grep -q "\b$library\b" <<<"$depends" || fail "Depends lacks $library"
done
provided=$(dpkg-query -W -f='${db:Status-Abbrev}|${Provides}\n' | awk -F'|' '/^ii/ { print $2 }' |
  tr ',' '\n' | awk '{ print $1 }')
IFS=',' read -ra clauses <<<"$depends"
for clause in "${clauses[@]}"; do
  satisfied=no
  IFS='|' read -ra alternatives <<<"$clause"
  for alternative in "${alternatives[@]}"; do
    read -r name relation wanted <<<"$(tr -d '()' <<<"$alternative")"
    installed=$(dpkg-query -W -f='${db:Status-Abbrev}|${Version}' "$name" 2>/dev/null || true)
    if [[ $installed != ii* ]]; then
      # A virtual package some installed package provides (unversioned).
      if [ -z "${relation:-}" ] && grep -qxF "$name" <<<"$provided"; then
        satisfied=yes
        break
      fi
      continue
    fi
    installed=${installed#*|}
    if [ -z "${relation:-}" ] || dpkg --compare-versions "$installed" "$relation" "$wanted"; then
      satisfied=yes
      break
    fi
  done
  [ $satisfied = yes ] || fail "this system does not satisfy the dependency '$clause'"
done

# Contents: the programs on PATH, their data in share/tesselograph, manual pages.
contents=$(dpkg-deb -c "$deb" | awk '{ $1=$2=$3=$4=$5=""; sub(/^ +/, ""); print }')
for path in ./usr/bin/tesselograph-cli ./usr/share/tesselograph/package.txt \
  ./usr/share/tesselograph/locale/locale.txt \
  ./usr/share/tesselograph/locale/de/LC_MESSAGES/tesselograph.mo \
  "./usr/share/tesselograph/MaskFile Examples/Heart.png" \
  ./usr/share/man/man1/tesselograph-cli.1.gz ./usr/share/doc/tesselograph/copyright; do
  grep -qxF "$path" <<<"$contents" || fail "the package lacks $path"
done
if [ -f "$build/bin/TesselographManual.pdf" ]; then
  grep -qxF ./usr/share/tesselograph/TesselographManual.pdf <<<"$contents" ||
    fail "the package lacks the user guide"
fi
if grep -q 'tg_tests_\|bench' <<<"$contents"; then
  fail "the package holds test or benchmark programs"
fi

# A fresh root with its own, empty package database; the libraries come from this system.
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
dpkg_root=(dpkg --root="$root" --force-not-root --force-depends --log=/dev/null)
"${dpkg_root[@]}" -i "$deb" >"$work/install.log" 2>&1 || {
  cat "$work/install.log"
  fail "dpkg could not install the package"
}
cli=$root/usr/bin/tesselograph-cli
[ -x "$cli" ] || fail "no $cli after installing"

export TESSELOGRAPH_CONFIG_PATH=$work/config
unset LANGUAGE LC_ALL LC_MESSAGES
export LANG=C.UTF-8
if "$cli" --help | grep -q -- '--version'; then
  "$cli" --version >"$work/version.txt" || fail "--version failed"
  grep -qF "$version" "$work/version.txt" || fail "--version does not print $version"
  echo "version: $(head -n 1 "$work/version.txt")"
else
  echo "note: this tesselograph-cli has no --version yet"
fi

"$cli" demo "$work/demo" >"$work/demo.log" 2>&1 || {
  cat "$work/demo.log"
  fail "the installed demo failed"
}
mosaic="$work/demo/Demo Mosaic.jpg"
[ "$(head -c 3 "$mosaic" | od -An -tx1 | tr -d ' ')" = ffd8ff ] || fail "no JPEG demo mosaic"
echo "demo: $(tail -n 1 "$work/demo.log")"

# The user's LANG decides the language when none was chosen; the catalogue is the installed one.
if LANG=de_DE.UTF-8 "$cli" list info "$work/missing.tg4" 2>"$work/german.txt"; then
  fail "a missing list was reported as success"
fi
grep -qF "Fehler beim Lesen der Bilderliste!" "$work/german.txt" ||
  fail "no German message with LANG=de_DE.UTF-8: $(cat "$work/german.txt")"
"$cli" list info "$work/missing.tg4" 2>"$work/english.txt" || true
grep -qF "Error while reading the Images List!" "$work/english.txt" ||
  fail "no English message under C.UTF-8: $(cat "$work/english.txt")"

if command -v man >/dev/null; then
  MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/tesselograph-cli.1.gz" \
    >"$work/man.txt" 2>"$work/man-warnings.txt"
  [ ! -s "$work/man-warnings.txt" ] || fail "man warns: $(cat "$work/man-warnings.txt")"
  grep -q 'list build' "$work/man.txt" || fail "the manual page lacks the list build command"
fi

# Removal leaves nothing behind but the package database.
"${dpkg_root[@]}" --purge tesselograph >"$work/remove.log" 2>&1 || {
  cat "$work/remove.log"
  fail "dpkg could not remove the package"
}
left=$(cd "$root" && find . -mindepth 1 -not -path './var' -not -path './var/lib' \
  -not -path './var/lib/dpkg' -not -path './var/lib/dpkg/*')
[ -z "$left" ] || fail "left after removal: $left"
rm -rf "$root" "$work/out"
echo "installed, ran and removed cleanly"
