#!/usr/bin/env bash
# Builds and runs the whole test suite:
#   1. dev preset (Debug, AddressSanitizer + UndefinedBehaviorSanitizer): every test;
#   2. tsan preset (ThreadSanitizer): the concurrency tests;
#   3. fuzz preset (clang, libFuzzer): each fuzz target for a bounded time;
#   4. Windows: the mingw build of the DLL and the suite under Wine (scripts/test_windows.sh),
#      when that script exists.
# Stops at the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh linux

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

step "fuzz: build and run the fuzz targets"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
scripts/run_fuzzers.sh build/fuzz/fuzz "${OBEXSES_FUZZ_SECONDS:-60}"

if [ -x scripts/test_windows.sh ]; then
  step "windows: the DLL and the suite under Wine"
  scripts/test_windows.sh
fi
step "all tests passed"
