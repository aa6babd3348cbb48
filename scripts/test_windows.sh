#!/bin/bash
# SPDX-License-Identifier: MIT
# Cross-builds the Windows DLL and the test suite (preset "mingw") and runs the
# tests under Wine in a throw-away prefix, then makes the Windows zip and
# builds and runs a consumer against it. Installs the toolchain, GoogleTest's
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

# The zip that CPack makes from the install components, unpacked as a user
# would: a C consumer is built against it through its CMake package and
# again against obexses.lib, and both run beside obexses.dll from bin/ and
# the utils.dll stand-in from tools/; the obexsesctl in tools/ runs its demo.
SECONDS=0
rm -rf build/mingw/packages
(cd build/mingw && cpack >/dev/null)
zip=$(echo "$PWD"/build/mingw/packages/obexses-*-win64.zip)
mkdir "$work/zip"
(cd "$work/zip" && cmake -E tar xf "$zip")
zip_root=$(echo "$work"/zip/obexses-*-win64)
consumer=$work/consumer
cmake -S tests/consumers -B "$consumer" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" -DOBEXSES_CONSUME=find_package \
  -Dobexses_DIR="$zip_root/lib/cmake/obexses" >/dev/null
cmake --build "$consumer" >/dev/null
x86_64-w64-mingw32-gcc-posix -std=c11 -Wall -Werror -I"$zip_root/include" tests/consumers/consumer.c \
  "$zip_root/lib/obexses.lib" -o "$consumer/consumer_msvc_lib.exe"
cp "$zip_root/bin/obexses.dll" "$zip_root/tools/utils.dll" "$consumer/"
for program in consumer.exe consumer_msvc_lib.exe; do
  output=$("$wine" "$consumer/$program" | tr -d '\r')
  echo "zip, $program: $output"
  grep -q "linked and working" <<<"$output"
done
"$wine" "$zip_root/tools/obexsesctl.exe" demo >"$work/demo.out" 2>&1 ||
  { cat "$work/demo.out"; exit 1; }
grep -q "files/partial.tmp deleted" "$work/demo.out" || { cat "$work/demo.out"; exit 1; }
echo "zip, tools/obexsesctl.exe demo: the sessions came back after the restart"
echo "zip: ${SECONDS}s"
