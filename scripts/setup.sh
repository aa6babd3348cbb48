#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what the build and the tests need, when it is missing. Run as root
# on a fresh Debian machine it installs with apt-get; otherwise it only checks.
# Usage: scripts/setup.sh [demo|linux|windows|packages|bench]...   (default: linux)
#   demo      what scripts/demo.sh needs: the library and obexsesctl alone
#   linux     the whole Linux test suite (scripts/test.sh)
#   windows   the cross-build and its run under Wine (scripts/test_windows.sh)
#   packages  the Debian packages and their checks (scripts/test_packages.sh)
#   bench     the benchmarks and their baseline parser (scripts/bench.sh)
set -euo pipefail

# obexsesctl's command line, JSON and formatting, header-only on every
# platform (the Windows cross-build takes the same headers).
tool_packages=(libcli11-dev nlohmann-json3-dev libfmt-dev)
demo_packages=(cmake ninja-build g++ "${tool_packages[@]}")
linux_packages=(cmake ninja-build g++ clang libclang-rt-14-dev googletest libgtest-dev libgmock-dev
                pkg-config "${tool_packages[@]}"
                util-linux)  # flock and setpriv for obexsesctl's CLI tests
windows_packages=(cmake ninja-build g++-mingw-w64-x86-64-posix mingw-w64-tools wine64 googletest
                  "${tool_packages[@]}")
# CPack's Debian generator (dpkg-deb, dpkg-shlibdeps), the packages' checker,
# and the consumers built against what they install.
package_packages=(cmake ninja-build g++ dpkg-dev fakeroot file lintian pkg-config
                  "${tool_packages[@]}")
# The benchmarks and their baseline parser (scripts/bench.sh).
bench_packages=(cmake ninja-build g++ libbenchmark-dev libpugixml-dev "${tool_packages[@]}")

wanted=()
for group in "${@:-linux}"; do
  case "$group" in
    demo) wanted+=("${demo_packages[@]}") ;;
    linux) wanted+=("${linux_packages[@]}") ;;
    windows) wanted+=("${windows_packages[@]}") ;;
    packages) wanted+=("${package_packages[@]}") ;;
    bench) wanted+=("${bench_packages[@]}") ;;
    *) echo "unknown package group: $group" >&2; exit 2 ;;
  esac
done

missing=()
for package in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages: ${missing[*]}; install them (as root: scripts/setup.sh)" >&2
  exit 1
fi
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# Another apt-get or dpkg may be at work: wait for its lock, then retry.
apt_get() {
  for attempt in 1 2 3 4 5; do
    apt-get -o DPkg::Lock::Timeout=300 "$@" && return 0
    echo "apt-get $1 failed (attempt $attempt); retrying" >&2
    sleep 20
  done
  return 1
}
apt_get update -qq
apt_get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
