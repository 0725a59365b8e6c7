#!/usr/bin/env bash
# Starts a GoogleTest program under wine: `tools/wine-gtest.sh EMULATOR PROGRAM.exe ARGS...`,
# the launcher of the Windows presets' unit tests (and of their test lists).
#
# Wine can lose a start: on a loaded machine a program may end before its code runs, with
# a failing exit code and no output at all (seen once in a full win64 run: a test that
# failed in 0.00 s without a word, and passed when run again). A GoogleTest program
# always prints before it runs a test or lists them, so a failing start with an empty
# standard output and error is taken for a lost one: it is reported ("LAUNCH FAILURE")
# and started once more. Any other end, whatever its code, is the program's own.
set -u
emulator=$1
shift
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
for attempt in 1 2; do
  # Files, not pipes: processes that wine starts beside the program can keep a pipe open
  # long after the program ended.
  "$emulator" "$@" >"$out" 2>"$err" </dev/null
  rc=$?
  if [ "$rc" = 0 ] || [ -s "$out" ] || [ -s "$err" ] || [ "$attempt" = 2 ]; then
    break
  fi
  echo "LAUNCH FAILURE (start $attempt of 2, exit code $rc, no output: not the program's" \
    "result): $emulator $*" >&2
done
cat "$out"
cat "$err" >&2
exit "$rc"
