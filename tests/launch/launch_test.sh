#!/usr/bin/env bash
# Checks tests/launch.sh with a stand-in emulator: each start takes the next line of a
# plan ("EXIT-CODE OUTPUT..."; "run" starts the program for real), and "cmd /c exit N",
# wine's own probe, exits with $probe.
# usage: launch_test.sh SOURCE_DIR WORK
set -u
src=$1 work=$2
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
rm -rf "$work"
mkdir -p "$work"
# shellcheck source=../launch.sh
source "$src/tests/launch.sh"

emulator=$work/fake_wine
cat >"$emulator" <<'FAKE'
#!/usr/bin/env bash
work=$(dirname "$0")
if [ "$1" = cmd ]; then exit "$(cat "$work/probe")"; fi
echo start >>"$work/starts"
line=$(sed -n 1p "$work/plan")
sed -i 1d "$work/plan"
[ "${line%% *}" = run ] && exec "$@"
printf '%s' "${line#* }"
exit "${line%% *}"
FAKE
chmod +x "$emulator"
program=$work/program
printf '#!/bin/sh\necho "program ran"\nexit "$1"\n' >"$program"
chmod +x "$program"

# One case: plan lines $2.., probe result $1; launch "$program 1"; sets rc, starts, out.
case_with() {
  echo "$1" >"$work/probe"
  shift
  printf '%s\n' "$@" >"$work/plan"
  rm -f "$work/starts"
  launch "$work/out.txt" "$program" 1 2>"$work/report.txt"
  rc=$?
  starts=$(wc -l <"$work/starts")
}
twice() { twice_failed_launches; }

case_with 7 "127 wine: could not load ntdll.so: No such file" run
[ "$rc" = 1 ] && [ "$starts" = 2 ] || fail "a failed start is not retried (rc $rc, $starts starts)"
grep -q "LAUNCH FAILURE (start 1 of 2, exit code 127" "$work/report.txt" || fail "no launch failure report"
grep -q "program ran" "$work/out.txt" || fail "the retried start's output is not kept"
[ "$(twice)" = 0 ] || fail "one failed start counts as a repeated one"

case_with 7 "134 wine64: dlls/ntdll/unix/virtual.c:2715: virtual_init: Assertion failed" run
[ "$rc" = 1 ] && [ "$starts" = 2 ] || fail "wine's abort is not taken for a launch failure"

case_with 0 "0 " run
[ "$rc" = 1 ] && [ "$starts" = 2 ] ||
  fail "an empty 0 while wine cannot start its probe is not a launch failure"

case_with 7 "0 " run
[ "$rc" = 0 ] && [ "$starts" = 1 ] ||
  fail "an empty 0 while wine works is taken for a launch failure (rc $rc, $starts starts)"

case_with 7 "5 wine: Unhandled page fault on read access" run
[ "$rc" = 5 ] && [ "$starts" = 1 ] || fail "a crash of the program is taken for a launch failure"

case_with 7 run
[ "$rc" = 1 ] && [ "$starts" = 1 ] || fail "the program's own exit code 1 is retried"

# A start that neither grew the program's log nor printed anything never reached it.
printf 'first run\n' >"$work/program.log"
launch_log=$work/program.log case_with 7 "1 " run
[ "$rc" = 1 ] && [ "$starts" = 2 ] || fail "a start that left no trace is not retried (rc $rc)"
printf '#!/bin/sh\necho "logged" >>"%s"\nexit "$1"\n' "$work/program.log" >"$work/logger"
chmod +x "$work/logger"
echo 7 >"$work/probe"
printf 'run\n' >"$work/plan"
rm -f "$work/starts"
launch_log=$work/program.log launch "$work/out.txt" "$work/logger" 1 2>/dev/null
[ $? = 1 ] && [ "$(wc -l <"$work/starts")" = 1 ] || fail "a start that wrote its log is retried"
rm -f "$work/program.log"
launch_log=$work/program.log case_with 7 "1 " run
[ "$rc" = 1 ] && [ "$starts" = 2 ] ||
  fail "a start that left no trace is not retried when the log did not exist before"
rm -f "$work/program.log"
printf 'run\n' >"$work/plan"
rm -f "$work/starts"
launch_log=$work/program.log launch "$work/out.txt" "$work/logger" 1 2>/dev/null
[ $? = 1 ] && [ "$(wc -l <"$work/starts")" = 1 ] || fail "a start that made its log is retried"

# The log a run writes to: -l, else [Output] Logs of the folder's settings.
mkdir -p "$work/folder/bin"
printf '[General]\r\nLogs=wrong.log\r\n[Output]\r\nErrors=e.log\r\nLogs=logs/run.log\r\n' \
  >"$work/folder/bin/Barsync.ini"
[ "$(main_log_of "$work/folder" -a add)" = "$work/folder/bin/logs/run.log" ] ||
  fail "the main log is not read from [Output] Logs"
[ "$(main_log_of "$work/folder" -a add -l /var/x.log)" = /var/x.log ] ||
  fail "the main log given by -l is not taken"
[ -z "$(main_log_of "$work/folder" -a add -l "")" ] || fail "an empty -l does not mean the console"
printf '[Output]\nLogs=\n' >"$work/folder/bin/Barsync.ini"
[ -z "$(main_log_of "$work/folder" -a add)" ] || fail "an empty Logs does not mean the console"

# A test tool says why whenever it fails: a failure without a word is not its own.
tool=$work/archive_csv.exe
cp "$program" "$tool"
echo 7 >"$work/probe"
printf '%s\n' "1 " run >"$work/plan"
rm -f "$work/starts"
launch "$work/out.txt" "$tool" 1 2>/dev/null
[ $? = 1 ] && [ "$(wc -l <"$work/starts")" = 2 ] || fail "a tool's silent failure is not retried"
printf '%s\n' "1 x.dat cannot be read: there is no such file" run >"$work/plan"
rm -f "$work/starts"
launch "$work/out.txt" "$tool" 1 2>/dev/null
[ "$(wc -l <"$work/starts")" = 1 ] || fail "a tool's failure with its reason is retried"
printf '%s\n' "0 " run >"$work/plan"
rm -f "$work/starts"
launch "$work/out.txt" "$tool" 1 2>/dev/null
[ "$(wc -l <"$work/starts")" = 1 ] || fail "a tool's silent success is retried while wine works"
case_with 7 "1 " run
[ "$starts" = 1 ] || fail "a silent failure of a program that is not a test tool is retried"
emulator='' launch "$work/out.txt" "$tool" 3 2>/dev/null
[ $? = 3 ] || fail "without wine a tool's exit code is not passed on"

# launch - writes the output of the start that ran to standard output, once.
echo 7 >"$work/probe"
printf '%s\n' "127 wine: failed to start" run >"$work/plan"
[ "$(launch - "$program" 2 2>/dev/null)" = "program ran" ] || fail "launch - duplicates or loses output"

# Twice in a row: finish reports the scenario as not run (77), whatever failed after.
case_with 7 "127 wine: failed to start" "127 wine: failed to start"
[ "$rc" = 127 ] && [ "$starts" = 2 ] || fail "a second failed start is retried again"
[ "$(twice)" = 1 ] || fail "a start that failed twice is not counted"
(failures=1 finish demo >/dev/null)
[ $? = 77 ] || fail "finish does not skip after a start that failed twice"
rm -f "$(launch_failures_file)"
(failures=1 finish demo >/dev/null)
[ $? = 1 ] || fail "finish does not fail a scenario whose checks failed"
(failures=0 BARSYNC_KEEP_TEST_WORK=1 finish demo >/dev/null)
[ $? = 0 ] || fail "finish does not pass a scenario whose checks held"
[ -d "$work" ] || fail "finish removes the folder although BARSYNC_KEEP_TEST_WORK is set"
# A scenario that passed leaves no folder behind; one that failed keeps it.
scratch=$work/scenario
mkdir -p "$scratch/bin"
(work=$scratch failures=1 finish demo >/dev/null)
[ -d "$scratch/bin" ] || fail "finish removes the folder of a scenario that failed"
(work=$scratch failures=0 finish demo >/dev/null)
[ -e "$scratch" ] && fail "finish keeps the folder of a scenario that passed"

[ "$failures" = 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo passed
