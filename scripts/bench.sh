#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the benchmarks (bench preset: Release) and runs them; the table of
# comparisons is printed at the end. Extra arguments go to the benchmark
# binary (for example --benchmark_filter=Restore). Each side of a row is the
# median of the repetitions (5 here; 15 fresh processes for the start-up rows,
# 15 short runs, each beside its baseline, for the file writes and the warm
# parses and restores) with their spread, the repetitions of all benchmarks
# interleaved in a random order. Files on the disk go below
# $OBEXSES_BENCH_DIR (else $TMPDIR, else /tmp), files in memory below
# /dev/shm where there is one.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh bench
cmake --preset bench >/dev/null
cmake --build --preset bench -j 2 --target obexses_bench

file_system() { df -T "$1" | awk 'NR==2 {print $2 " (" $1 ")"}'; }
disk="${OBEXSES_BENCH_DIR:-${TMPDIR:-/tmp}}"
memory="none"
[ -d /dev/shm ] && memory="$(file_system /dev/shm)"
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')," \
  "disk files on $(file_system "$disk"), memory files on $memory"
exec build/bench/bench/obexses_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_enable_random_interleaving=true \
  "$@"
