#!/bin/sh
# SPDX-License-Identifier: MIT
# Usage: check_exports_windows.sh obexses.dll utils.dll [other binary...]
# Fails unless obexses.dll's export table names exactly the ten exports, it
# imports utils.dll by ordinal 9 and 8 and by nothing else, the other DLLs it
# imports are exactly the Windows DLLs whose functions it uses (no runtime
# DLL of the compiler), and utils.dll exports ordinals 8 and 9 and no name
# and imports only the C runtime and KERNEL32. Every binary given carries a
# version resource with VERSION and, with STRIPPED=1, no debug sections.
set -eu
dll=$1
utils_dll=$2
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
tables=$($objdump -p "$dll")
status=0

# Ordinals of a DLL's export address table, one a line.
export_ordinals() {
  $objdump -p "$1" | sed -n 's/.*+base\[ *\([0-9]*\)\].*Export RVA.*/\1/p'
}

expected_exports=$(cat "$(dirname "$0")/expected_exports.txt")
exports=$(printf '%s\n' "$tables" | awk '
  /^\[Ordinal\/Name Pointer\] Table/ { inside = 1; next }
  inside && /^[[:space:]]*$/ { inside = 0 }
  inside { print $NF }' | sort)
export_count=$(printf '%s\n' "$tables" |
  awk '/Export Address Table --/ { inside = 1; next }
       inside && /^[[:space:]]*$/ { inside = 0 }
       inside && /Export RVA/ { n++ } END { print n + 0 }')
if [ "$exports" != "$expected_exports" ] || [ "$export_count" != 10 ]; then
  echo "exports of $dll differ from the ten ($export_count entries):"
  printf '%s\n' "$exports"
  status=1
fi

# "DLL-name<TAB>member" per imported function; by-ordinal members as "#N".
imports=$(printf '%s\n' "$tables" | awk '
  /^[[:space:]]*DLL Name:/ { dll = tolower($3); next }
  /^[[:space:]]*vma:/ { next }
  /^[[:space:]]*$/ { dll = "" }
  dll != "" && NF >= 3 {
    if ($3 == "<none>") printf "%s\t#%d\n", dll, $2 + 0
    else printf "%s\t%s\n", dll, $3
  }')
utils=$(printf '%s\n' "$imports" | awk -F '\t' '$1 == "utils.dll" { print $2 }' | sort)
if [ "$utils" != "$(printf '#8\n#9')" ]; then
  echo "utils.dll is not imported by ordinal 8 and 9 alone:"
  printf '%s\n' "$utils"
  status=1
fi
# The DLLs a binary imports, lower case, one a line.
imported_dlls() {
  $objdump -p "$1" | awk '/^[[:space:]]*DLL Name:/ { print tolower($3) }' | sort -u
}
# Registry, file and process calls, the C runtime, the shell's folders and
# the PIDL they come in, PathFileExistsW, and the host's log.
expected_dlls=$(printf '%s\n' advapi32.dll kernel32.dll msvcrt.dll ole32.dll shell32.dll \
  shlwapi.dll utils.dll)
if [ "$(imported_dlls "$dll")" != "$expected_dlls" ]; then
  echo "$dll imports other DLLs than those it uses:"
  imported_dlls "$dll"
  status=1
fi
if [ "$(imported_dlls "$utils_dll")" != "$(printf 'kernel32.dll\nmsvcrt.dll')" ]; then
  echo "$utils_dll imports more than KERNEL32 and the C runtime:"
  imported_dlls "$utils_dll"
  status=1
fi

utils_ordinals=$(export_ordinals "$utils_dll" | sort -n | tr '\n' ' ')
utils_names=$($objdump -p "$utils_dll" | awk '
  /^\[Ordinal\/Name Pointer\] Table/ { inside = 1; next }
  inside && /^[[:space:]]*$/ { inside = 0 }
  inside { n++ } END { print n + 0 }')
if [ "$utils_ordinals" != "8 9 " ] || [ "$utils_names" != 0 ]; then
  echo "$utils_dll exports ordinals '$utils_ordinals' and $utils_names names, not 8 and 9 alone"
  status=1
fi

for binary in "$@"; do
  if ! strings -e l "$binary" | grep -qx "${VERSION:?}"; then
    echo "$binary has no version resource of $VERSION"
    status=1
  fi
  if [ "${STRIPPED:-0}" = 1 ] && $objdump -h "$binary" | grep -q ' \.debug_'; then
    echo "$binary ships with its debug sections"
    status=1
  fi
done

if [ "$status" = 0 ]; then
  echo "exactly the ten exports; utils.dll by ordinal 9 and 8; only the Windows DLLs used besides;"
  echo "utils.dll exports ordinals 8 and 9 without names; version $VERSION in every binary"
fi
exit "$status"
