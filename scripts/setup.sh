#!/usr/bin/env bash
# Installs what the build and the tests need, when it is missing. Run as root
# on a fresh Debian machine it installs with apt-get; otherwise it only checks.
# Usage: scripts/setup.sh [demo|linux|windows|packages|bench]...   (default: linux)
#   demo      what scripts/demo.sh needs: the library and obexsesctl alone
#   linux     the whole Linux test suite (scripts/test.sh)
#   windows   the cross-build and its run under Wine (scripts/test_windows.sh)
#   packages  the Debian packages and their checks (scripts/test_packages.sh)
#   bench     the benchmarks and their baseline parser (scripts/bench.sh)
set -euo pipefail

demo_packages=(cmake ninja-build g++)
linux_packages=(cmake ninja-build g++ clang libclang-rt-14-dev googletest libgtest-dev libgmock-dev
                pkg-config
                help2man util-linux)  # obexsesctl: its manual page; flock for its CLI tests
windows_packages=(cmake ninja-build g++-mingw-w64-x86-64-posix mingw-w64-tools wine64 googletest)
# CPack's Debian generator (dpkg-deb, dpkg-shlibdeps), the packages' checker,
# and the consumers built against what they install.
package_packages=(cmake ninja-build g++ dpkg-dev fakeroot file lintian help2man pkg-config)
# The benchmarks and their baseline parser (scripts/bench.sh).
bench_packages=(cmake ninja-build g++ libbenchmark-dev libpugixml-dev)

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
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
