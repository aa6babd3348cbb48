#!/bin/sh
# SPDX-License-Identifier: MIT
# Usage: check_exports.sh libobexses.so libobexses-hostlog.so
# Fails unless the library's dynamic symbol table defines exactly the ten
# exports, each under the version node OBEXSES_0.2; the host log defines its
# two entries alone, under OBEXSES_HOSTLOG_0.2; and neither of them records a
# library that it does not use.
set -eu
lib=$1
hostlog=$2
status=0

# expect_exports FILE NODE NAME...: the defined dynamic symbols are exactly
# NAME@@NODE for each name, and the node itself.
expect_exports() {
  file=$1
  node=$2
  shift 2
  expected=$({
    for name in "$@"; do echo "$name@@$node"; done
    echo "$node"
  } | sort)
  actual=$(${NM:-nm} -D --defined-only "$file" | awk '{print $NF}' | sort)
  if [ "$actual" != "$expected" ]; then
    echo "dynamic symbols of $file differ from $* under $node:"
    printf '%s\n' "$actual"
    status=1
  fi
}

# shellcheck disable=SC2046 # one export name a line
expect_exports "$lib" OBEXSES_0.2 $(cat "$(dirname "$0")/expected_exports.txt")
expect_exports "$hostlog" OBEXSES_HOSTLOG_0.2 UtilsLogFormat UtilsLogText

for file in "$lib" "$hostlog"; do
  if ! unused=$(ldd -u "$file" 2>&1); then
    echo "$file records libraries it does not use:"
    printf '%s\n' "$unused"
    status=1
  fi
done

if [ "$status" = 0 ]; then
  echo "exactly the ten exports under OBEXSES_0.2; the host log's two under OBEXSES_HOSTLOG_0.2;"
  echo "no library recorded that is not used"
fi
exit "$status"
