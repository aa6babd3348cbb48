#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Windows, under Wine: the demo runs in a sandbox of its own and leaves the
# user's own state as it found it: the settings key, the session files and
# tmp_lst in the shell's application-data folder, and no key of its sandbox.
#
#   demo_untouched.sh WINE_RUN OBEXSESCTL_EXE CLI_FOLDER
set -u
run=$1 ctl=$2 cli=$3
key='HKLM\Software\Velmora\Brindleway'
# The user's application-data folder, as obexsesctl settings names it.
appdata=$("$run" "$ctl" settings --output json |
  sed -n 's/^ *"app_data": "\(.*\)",$/\1/p' | sed 's/\\\\/\\/g')
folder=$("$run" winepath -u "$appdata")
[ -n "$appdata" ] && [ -d "$folder" ] || { echo "no application-data folder: '$appdata'"; exit 1; }

cleanup() {
  "$run" reg delete "$key" /f >/dev/null 2>&1
  rm -rf "$folder/Velmora"
}
trap cleanup EXIT
"$run" reg add "$key" /v ObexSesDebugLevel /t REG_DWORD /d 2 /f >/dev/null
mkdir -p "$folder/Velmora/Session"
{ printf '\377\376'; iconv -f UTF-8 -t UTF-16LE "$cli/data/client.xml"; } \
  >"$folder/Velmora/Session/ClientSession.xml"
printf 'C:\\users\\someone\\partial.tmp\r\n' >"$folder/Velmora/tmp_lst"

state() {
  "$run" reg query "$key"
  "$run" reg query 'HKCU\Software' | grep -i sandbox
  (cd "$folder/Velmora" && find . -type f | sort | xargs md5sum)
}
before=$(state)
"$run" "$ctl" demo >demo.out 2>demo.err
status=$?
after=$(state)
failed=0
if [ "$status" != 0 ]; then
  echo "the demo ended with status $status:" && cat demo.err
  failed=1
fi
if [ "$before" != "$after" ]; then
  echo "the demo changed the user's state:"
  diff <(echo "$before") <(echo "$after")
  failed=1
fi
rm -f demo.out demo.err
exit $failed
