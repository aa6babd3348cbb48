#!/bin/bash
# Cross-builds the Windows DLL and the test suite (preset "mingw") and runs the
# tests under Wine in a throw-away prefix. Installs the toolchain, GoogleTest's
# sources and Wine (scripts/setup.sh windows) when they are missing.
#
#   scripts/test_windows.sh [extra ctest arguments]
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh windows

wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(dirname "$wine")/wineserver
export OBEXSES_WINE=$wine

SECONDS=0
cmake --preset mingw >/dev/null
cmake --build --preset mingw
echo "build: ${SECONDS}s"

# A fresh 64-bit prefix, quietly: no debug channels, no Mono or Gecko
# installer. One wineserver serves the whole run.
# The wineserver keeps its socket folder under TMPDIR: inside the work
# folder, so that it goes with it.
work=$(mktemp -d)
mkdir "$work/tmp"
export TMPDIR=$work/tmp
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  "$wineserver" -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
SECONDS=0
mkdir -p "$WINEPREFIX"
"$wineserver" -p
"$wine" wineboot -i >/dev/null 2>&1
echo "wine prefix: ${SECONDS}s"

SECONDS=0
ctest --preset mingw -j "$(nproc)" "$@"
echo "tests: ${SECONDS}s"
