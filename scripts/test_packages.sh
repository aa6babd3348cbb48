#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian packages from a Release build installed into /usr
# (build/package, CPack), checks them with lintian (an error fails the run),
# installs them with dpkg into a throw-away root, and uses what they
# installed: the consumer built through the CMake package and through
# pkg-config, the examples built against the installed package, and the
# installed obexsesctl's demo, each run in a folder of its own. Installs what
# it needs (scripts/setup.sh packages) when it is missing.
#
#   scripts/test_packages.sh        the packages are left in build/package/packages
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh packages

step() { printf '\n--- %s\n' "$*"; }
jobs=$(nproc)
build=build/package
started=$SECONDS

step "packages: build (release, installed into /usr) and cpack"
cmake --preset release -B "$build" -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$build" -j "$jobs"
rm -rf "$build/packages"
(cd "$build" && cpack >/dev/null)
debs=("$PWD/$build"/packages/*.deb)
for deb in "${debs[@]}"; do
  echo "$(basename "$deb"): $(dpkg-deb -f "$deb" Depends)"
done

step "packages: lintian"
lintian --fail-on error "${debs[@]}"

# A throw-away root with an empty dpkg database. The library package's
# postinst (written by CPack) calls ldconfig; outside a chroot, which the
# bare root cannot serve, it meets a stand-in that does nothing, so the
# machine's own loader cache is left alone. The packages' dependencies on
# the system's libraries are not in this database, hence --force-depends.
step "packages: dpkg -i into a throw-away root"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$work/bin"
touch "$root/var/lib/dpkg/status"
printf '#!/bin/sh\nexit 0\n' >"$work/bin/ldconfig"
chmod +x "$work/bin/ldconfig"
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(fakeroot)
PATH=$work/bin:$PATH "${as_root[@]}" dpkg --root="$root" --log="$work/dpkg.log" \
  --force-depends --force-script-chrootless --force-not-root -i "${debs[@]}" >"$work/dpkg.out" 2>&1 ||
  { cat "$work/dpkg.out"; exit 1; }
dpkg --root="$root" -l | grep '^ii'
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
libdir=$root/usr/lib/$multiarch
if [ -e "$libdir/libobexses-hostlog.so" ] || [ ! -e "$libdir/libobexses-hostlog.so.0" ]; then
  echo "the host log is not installed as the library's private part" >&2
  exit 1
fi

# The tool comes with its manual page and its bash completion.
for file in share/man/man1/obexsesctl.1.gz share/bash-completion/completions/obexsesctl; do
  [ -f "$root/usr/$file" ] || { echo "obexses-tools does not install /usr/$file" >&2; exit 1; }
done

# Where the library keeps its files while the consumers run.
export XDG_DATA_HOME=$work/appdata OBEXSES_REGISTRY=$work/no-settings.reg
export PKG_CONFIG_PATH=$libdir/pkgconfig
for way in find_package pkg_config; do
  step "packages: consumer through $way"
  cmake -S tests/consumers -B "$work/$way" -G Ninja -DOBEXSES_CONSUME="$way" \
    -DCMAKE_PREFIX_PATH="$root/usr" >/dev/null
  if [ "$way" = find_package ]; then
    grep -q "^obexses_DIR:PATH=$libdir/cmake/obexses$" "$work/$way/CMakeCache.txt" ||
      { echo "find_package did not take the installed package" >&2; exit 1; }
  fi
  cmake --build "$work/$way" >/dev/null
  "$work/$way/consumer" | tee "$work/consumer.out"
  grep -q "linked and working" "$work/consumer.out"
done

step "packages: the examples against the installed package"
cmake -S examples -B "$work/examples" -G Ninja -DCMAKE_PREFIX_PATH="$root/usr" >/dev/null
cmake --build "$work/examples" >/dev/null
mkdir "$work/tmp"
TMPDIR=$work/tmp "$work/examples/minimal_host" "$libdir/libobexses.so.0" | tail -n 1
[ -z "$(ls -A "$work/tmp")" ] || { echo "minimal_host left its folder behind" >&2; exit 1; }

step "packages: the installed obexsesctl demo"
"$root/usr/bin/obexsesctl" demo --data "$work/demo" >"$work/demo.out" 2>&1 ||
  { cat "$work/demo.out"; exit 1; }
grep -E "^ +loaded " "$work/demo.out" | head -n 1
grep -q "files/partial.tmp deleted" "$work/demo.out" || { cat "$work/demo.out"; exit 1; }
echo "the sessions came back after the restart"

echo "packages: all checks passed in $((SECONDS - started))s"
