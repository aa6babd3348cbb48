#!/usr/bin/env bash
# Builds the library and obexsesctl (release preset) and runs the demo.
# Extra arguments go to `obexsesctl demo` (for example --trace or --data DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh linux
cmake --preset release >/dev/null
cmake --build --preset release --target obexses obexsesctl
exec build/release/obexsesctl demo "$@"
