#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs `obexsesctl demo` in a sandbox folder of its own and removes it after.
#   run_demo.sh OBEXSESCTL [demo options]
set -u
ctl=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$ctl" demo --data "$work" "$@"
