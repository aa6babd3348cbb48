#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the library and obexsesctl (release preset) and runs the demo.
# Extra arguments go to `obexsesctl demo` (for example --trace or --data DIR).
# Needs a C++ compiler, CMake and Ninja, nothing else: the release preset
# builds no tests and no benchmarks, so it looks for neither library.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh demo
cmake --preset release >/dev/null
cmake --build --preset release --target obexses obexsesctl
exec build/release/obexsesctl demo "$@"
