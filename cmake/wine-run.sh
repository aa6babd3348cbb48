#!/bin/bash
# SPDX-License-Identifier: MIT
# Runs a Windows program under Wine, as the cross-build's test emulator. The
# program's text-mode output ends its lines with CR LF; they leave here with
# LF, as the test tools that read them (gtest discovery) expect. The exit
# code is the program's.
set -o pipefail
wine=${OBEXSES_WINE:-$(command -v wine64 || echo /usr/lib/wine/wine64)}
export WINEDEBUG=${WINEDEBUG:--all}
"$wine" "$@" | tr -d '\r'
