#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs every fuzz target in BUILD_DIR for a share of SECONDS, starting from the
# seed corpus in fuzz/corpus/<target>. Fails on the first finding; the input
# that caused it is left as crash-*/leak-*/timeout-* in the work folder named.
set -euo pipefail
build_dir=$(cd "$1" && pwd)
seconds=${2:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
targets=("$build_dir"/*_fuzz)
share=$(( seconds / ${#targets[@]} ))
[ "$share" -ge 5 ] || share=5
work=$(mktemp -d "${TMPDIR:-/tmp}/obexses-fuzz.XXXXXX")
for target in "${targets[@]}"; do
  name=$(basename "$target")
  mkdir -p "$work/$name/corpus"
  seeds="$root/fuzz/corpus/$name"
  echo "fuzzing $name for ${share}s (work folder $work/$name)"
  corpora=(corpus)
  [ -d "$seeds" ] && corpora+=("$seeds")
  status=0
  (cd "$work/$name" &&
    "$target" -max_total_time="$share" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      "${corpora[@]}" >fuzz.log 2>&1) || status=$?
  tail -n 8 "$work/$name/fuzz.log"
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$work/$name/fuzz.log" >&2
    echo "$name found a failure; the input is in $work/$name" >&2
    exit 1
  fi
done
rm -rf "$work"
echo "fuzzing found nothing"
