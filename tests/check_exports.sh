#!/bin/sh
# Fails unless the library's dynamic symbol table defines exactly the ten exports.
set -eu
lib=$1
expected=$(cat "$(dirname "$0")/expected_exports.txt")
actual=$(${NM:-nm} -D --defined-only "$lib" | awk '{print $NF}' | sort)
if [ "$actual" != "$expected" ]; then
  echo "dynamic symbols of $lib differ from the ten exports:"
  printf '%s\n' "$actual"
  exit 1
fi
echo "exactly the ten exports"
