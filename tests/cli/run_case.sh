#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs one case of cases.txt against obexsesctl as a person would at a
# shell: in a fresh folder of its own (removed afterwards) that holds the
# case's files, with a pinned present, time zone and settings file. Compares
# the exit status, standard output and standard error with the expected ones;
# OBEXSESCTL_UPDATE=1 writes the expected files instead.
#
#   run_case.sh OBEXSESCTL CLI_FOLDER NAME
set -u
ctl=$1 cli=$2 name=$3
line=$(grep "^$name|" "$cli/cases.txt") || { echo "no case $name in cases.txt"; exit 1; }
IFS='|' read -r _ want set commands <<<"$line"

work=$(mktemp -d)
# Cases take permissions away from folders of their own: give them back first.
trap 'chmod -R u+rwX "$work"; rm -rf "$work"' EXIT
cd "$work" || exit 1

# A session file as the library writes it: byte-order mark, then UTF-16LE.
session_file() {
  mkdir -p data/Velmora/Session
  { printf '\377\376'; iconv -f UTF-8 -t UTF-16LE "$cli/data/$1"; } >"data/Velmora/Session/$2"
}

# Files every case has: the transfer files the fixtures name, with the times
# their sessions saved (or other times), and a file that is no session file.
mkdir -p bin data files inbox
ln -s "$ctl" bin/obexsesctl
echo JFIF >files/photo.jpg && touch -d @1699998000 files/photo.jpg
echo '%PDF' >files/résumé.pdf && touch -d @1699990500 files/résumé.pdf
echo ID3 >inbox/song.mp3 && touch -d @1699999900 inbox/song.mp3
echo hello >notes.xml
case $set in
  good) session_file client.xml ClientSession.xml && session_file server.xml ServerSession.xml ;;
  damaged) session_file damaged.xml ClientSession.xml ;;
  cut) session_file cut.xml ServerSession.xml ;;
  none) ;;
  *) echo "unknown file set $set"; exit 1 ;;
esac

# Root reads and writes whatever the modes say: cases about permissions run
# their command without the capabilities that override them (unprivileged
# COMMAND...), as the same user, who can still reach the build.
unprivileged() {
  if [ "$(id -u)" = 0 ]; then
    setpriv --bounding-set -dac_override,-dac_read_search -- "$@"
  else
    "$@"
  fi
}
export -f unprivileged
export PATH="$work/bin:$PATH" TZ=UTC LC_ALL=C.UTF-8 OBEXSESCTL_NOW=1700000000 HOME="$work/home"
export OBEXSES_REGISTRY="$cli/data/registry.reg" ASAN_OPTIONS=detect_leaks=0 CLI_DIR="$cli"
unset XDG_DATA_HOME
bash -o pipefail -c "$commands" >"$work/stdout" 2>"$work/stderr"
status=$?
# The folders of the case, the fixtures and the build read the same on every
# machine; so do the times that the library takes from the clock and the
# file system, the addresses of records in its trace, and the client file
# that holds two sessions (in an order that follows their keys' hashes).
build=$(dirname "$ctl")
for stream in stdout stderr; do
  sed -E -e "s#$work#<case>#g" -e "s#$cli#<cli>#g" -e "s#$build#<build>#g" \
      -e 's/(create_time_stamp=\\?")[0-9A-F]{16}/\1<now>/g' \
      -e 's#(<FO_timeStamp>)[0-9A-F]{8}#\1<file time>#g' \
      -e 's/ [0-9A-F]{16}( |$)/ <address>\1/g' \
      -e 's#<client_session><session .*<session .*</client_session>#<client_session>(two sessions)</client_session>#' \
      "$work/$stream" >"$work/$stream.shown"
done

# A case that expects nothing on a stream has no file for it.
expected=$cli/expected/$name
if [ "${OBEXSESCTL_UPDATE:-0}" = 1 ]; then
  for stream in out err; do
    shown=$work/std$stream.shown
    if [ -s "$shown" ]; then cp "$shown" "$expected.$stream"; else rm -f "$expected.$stream"; fi
  done
fi
compare() {
  failed=0
  if [ "$status" != "$want" ]; then
    echo "exit status $status, expected $want"
    failed=1
  fi
  if [ -e "$expected.out" ]; then
    diff -u "$expected.out" "$work/stdout.shown" || failed=1
  elif [ -s "$work/stdout.shown" ]; then
    echo "unexpected standard output:" && cat "$work/stdout.shown"
    failed=1
  fi
  if [ -e "$expected.err" ]; then
    diff -u "$expected.err" "$work/stderr.shown" || failed=1
  elif [ -s "$work/stderr.shown" ]; then
    echo "unexpected standard error:" && cat "$work/stderr.shown"
    failed=1
  fi
  return $failed
}
# What a broken tool printed may not be UTF-8; the report always is.
compare >"$work/report" 2>&1
failed=$?
iconv -c -f UTF-8 -t UTF-8 "$work/report"
exit $failed
