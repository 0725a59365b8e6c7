# Starting the built programs from the end-to-end harnesses, natively or under wine
# ($emulator), so that a start that never reached the program is told apart from the
# program's own result. Sourced by the scenarios.sh of each group; needs $work.
#
# Wine can fail to start a program for reasons of its own, more often on a loaded machine.
# Seen on this kind of machine: with the temporary folder full, every start ends with exit
# code 0 and no output before the program runs; short of address space, wine's loader
# aborts (exit code 134, "wine64: ... Assertion ... failed"); when the wine server goes
# away during a start, the start ends with 0 and no output, or by a signal. A loader or
# shell that cannot start the program at all ends with 127. Barsync exits only with 0, 1
# or 2 and the test tools never with 127, so such an end is a launch failure when
#   - the exit code is 127, or
#   - the output holds one of wine's own start-up messages, or
#   - under wine, a start ended with 0 and no output and wine cannot run its own "cmd /c
#     exit 7" right after (it then cannot start programs at all), or
#   - under wine, a test tool (archive_csv, archive_chart, gen_minute_tree) ended with a
#     failure and no output: each of them says why on standard error whenever it fails.
#     Seen here in a full run of the win64 tests: archive_csv.exe ended with 1 and no
#     output while the archive it was given was sound.
# A launch failure is reported as "LAUNCH FAILURE" and the start is tried once more.
# When the second start fails as well, finish reports the scenario as not run (exit code
# 77, a skip), never as a failure of the program.

readonly launch_probe_code=7

launch_failures_file() { echo "$work/launch_failures.txt"; }

# True when wine itself cannot run a program now.
wine_cannot_start() {
  [ -n "$emulator" ] || return 1
  $emulator cmd /c exit "$launch_probe_code" >/dev/null 2>&1 </dev/null
  [ $? != "$launch_probe_code" ]
}

# The main log that Barsync run in folder $1/bin with the remaining arguments writes to:
# the value of -l, else [Output] Logs of the folder's Barsync.ini, a relative path taken
# from $1/bin; nothing when the lines go to the console (an empty value) or the settings
# cannot be read.
main_log_of() {
  local dir=$1 path="" given=""
  shift
  while [ $# -gt 0 ]; do
    if [ "$1" = -l ]; then
      given=1 path=${2:-}
      break
    fi
    shift
  done
  if [ -z "$given" ]; then
    [ -f "$dir/bin/Barsync.ini" ] || return
    path=$(tr -d '\r' <"$dir/bin/Barsync.ini" |
      awk -F= '/^\[/ { section = $0; next }
               section == "[Output]" && $1 == "Logs" { value = substr($0, 6) }
               END { print value }')
  fi
  [ -n "$path" ] || return
  case $path in
    /*) echo "$path" ;;
    *) echo "$dir/bin/$path" ;;
  esac
}

# The size of file $1, 0 when it does not exist.
file_size() { [ -f "$1" ] && wc -c <"$1" || echo 0; }

# True when program $1 explains on standard error every failure of its own.
explains_every_failure() {
  case $(basename "$1") in
    archive_csv | archive_csv.exe | archive_chart | archive_chart.exe | gen_minute_tree | \
      gen_minute_tree.exe) return 0 ;;
  esac
  return 1
}

# True when exit code $1 with output file $2 means that the program never ran.
# $3: the size the program's main log ($launch_log) had before the start; $4: the program.
launch_failed() {
  [ "$1" = 127 ] && return 0
  if [ -n "$emulator" ] && [ "$1" != 0 ] && [ ! -s "$2" ] && [ -n "${4:-}" ] &&
    explains_every_failure "$4"; then
    return 0
  fi
  # Barsync always writes its "Init log" line, to its main log or, when that cannot be
  # opened, to standard output: a start under wine that grew neither never reached it,
  # also when the log did not exist before (a scenario that removed it to read one run).
  if [ -n "$emulator" ] && [ -n "${launch_log:-}" ] &&
    [ "$(file_size "$launch_log")" = "${3:-0}" ] && [ ! -s "$2" ]; then
    return 0
  fi
  if grep -qE '^wine(64)?: (failed to|could not|cannot|.*Assertion)|^wine client error|wine server (seems|never|failed)|mysterious reason' \
    "$2" 2>/dev/null; then
    return 0
  fi
  [ "$1" = 0 ] && [ ! -s "$2" ] && wine_cannot_start
}

# launch OUT PROGRAM [ARGS...]: runs PROGRAM in the current directory with standard input
# from /dev/null; its standard output and error go to the file OUT ("-": to the caller's
# standard output). Returns the program's exit code.
launch() {
  local out=$1
  shift
  local file=$out rc attempt
  [ "$out" = - ] && file=$(mktemp)
  for attempt in 1 2; do
    local log_size
    log_size=$(file_size "${launch_log:-}")
    $emulator "$@" >"$file" 2>&1 </dev/null
    rc=$?
    # Every start's end is kept for the report of a failed check.
    { echo "== exit $rc: $*"; head -c 2000 "$file"; } >>"$work/starts.txt"
    launch_failed "$rc" "$file" "$log_size" "$1" || break
    echo "LAUNCH FAILURE (start $attempt of 2, exit code $rc, not the program's result):" \
      "${emulator:+$emulator }$*: $(head -c 400 "$file" | tr '\n' ' ')" >&2
    [ "$attempt" = 2 ] && echo "$rc $*" >>"$(launch_failures_file)"
  done
  if [ "$out" = - ]; then
    cat "$file"
    rm -f "$file"
  fi
  return "$rc"
}

# The number of starts that failed twice in a row so far.
twice_failed_launches() {
  [ -f "$(launch_failures_file)" ] || { echo 0; return; }
  wc -l <"$(launch_failures_file)"
}

# Ends the scenario $1: 77 when a program could not be started twice in a row (the checks
# after it say nothing about the program), 1 when a check failed, 0 when all held.
# The folder of a scenario that passed is removed: a full run of every preset would
# otherwise leave some 20 GB of trees and program copies behind. Failed and skipped
# scenarios keep theirs for inspection, and BARSYNC_KEEP_TEST_WORK=1 keeps every one.
finish() {
  local twice
  twice=$(twice_failed_launches)
  if [ "$twice" -gt 0 ]; then
    echo "$1: not run: wine could not start a program twice in a row ($twice time(s));" \
      "$failures check(s) failed after that"
    exit 77
  fi
  if [ "$failures" -ne 0 ]; then
    echo "$1: $failures check(s) failed; the last starts:"
    tail -n 60 "$work/starts.txt" 2>/dev/null
    echo "$1: $failures check(s) failed"
    exit 1
  fi
  echo "$1: passed"
  [ -n "${BARSYNC_KEEP_TEST_WORK:-}" ] || [ -z "$work" ] || rm -rf "$work"
  exit 0
}

mkdir -p "$work"
rm -f "$(launch_failures_file)" "$work/starts.txt"
