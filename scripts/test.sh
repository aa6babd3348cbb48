#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds and runs the whole test suite:
#   1. dev preset (Debug, AddressSanitizer + UndefinedBehaviorSanitizer): every test, among
#      them the Windows build of the DLL and its suite under Wine (scripts/test_windows.sh)
#      and the kill loop (OBEXSES_KILLS kills, 100 by default);
#   2. tsan preset (ThreadSanitizer): the concurrency tests;
#   3. the Debian packages from a Release build: lintian, installed into a throw-away
#      root, used by the consumers, the examples and obexsesctl (scripts/test_packages.sh);
#   4. fuzz preset (clang, libFuzzer): each fuzz target for a bounded time.
# Stops at the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh linux windows packages

step() { printf '\n=== %s\n' "$*"; }
jobs=$(nproc)

step "dev: build"
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$jobs"
step "dev: tests"
ctest --preset dev -j "$jobs"

step "tsan: build and run the concurrency tests"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs" --target obexses_tests
ctest --preset tsan

step "packages: build, check, install and use the Debian packages"
scripts/test_packages.sh

step "fuzz: build and run the fuzz targets"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
scripts/run_fuzzers.sh build/fuzz/fuzz "${OBEXSES_FUZZ_SECONDS:-60}"

step "all tests passed"
