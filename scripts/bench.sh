#!/usr/bin/env bash
# Builds the benchmarks (bench preset: Release) and runs them; the table of
# ratios against the baselines is printed at the end. Extra arguments go to
# the benchmark binary (for example --benchmark_filter=Restore). Set
# OBEXSES_BENCH_DIR to put the session files on another file system.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh bench
cmake --preset bench >/dev/null
cmake --build --preset bench -j 2 --target obexses_bench
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')," \
  "files on $(df -T "${OBEXSES_BENCH_DIR:-${TMPDIR:-/tmp}}" | awk 'NR==2 {print $2 " (" $1 ")"}')"
exec build/bench/bench/obexses_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
  "$@"
