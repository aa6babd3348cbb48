#!/bin/bash
# Cross-builds the Windows DLL and the test suite (preset "mingw") and runs the
# tests under Wine in a throw-away prefix. Installs the toolchain, GoogleTest's
# sources and Wine with apt-get when they are missing and we are root.
#
#   scripts/test_windows.sh [extra ctest arguments]
set -euo pipefail
cd "$(dirname "$0")/.."

packages=()
need() { # need PACKAGE PATH...: the package is wanted unless one of the paths exists
  local package=$1
  shift
  for path in "$@"; do [ -e "$path" ] && return 0; done
  packages+=("$package")
}
need g++-mingw-w64-x86-64-posix /usr/bin/x86_64-w64-mingw32-g++-posix
need binutils-mingw-w64-x86-64 /usr/bin/x86_64-w64-mingw32-objdump
need mingw-w64-tools /usr/bin/x86_64-w64-mingw32-pkg-config
need googletest /usr/src/googletest/googletest/CMakeLists.txt
need wine64 /usr/lib/wine/wine64 /usr/bin/wine64
need cmake /usr/bin/cmake
need ninja-build /usr/bin/ninja
if [ ${#packages[@]} -gt 0 ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "missing packages: ${packages[*]} (install them, or run as root)" >&2
    exit 1
  fi
  echo "installing ${packages[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
fi

wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(dirname "$wine")/wineserver
export OBEXSES_WINE=$wine

SECONDS=0
cmake --preset mingw >/dev/null
cmake --build --preset mingw
echo "build: ${SECONDS}s"

# A fresh 64-bit prefix, quietly: no debug channels, no Mono or Gecko
# installer. One wineserver serves the whole run.
work=$(mktemp -d)
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
