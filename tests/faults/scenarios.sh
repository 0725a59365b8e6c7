#!/usr/bin/env bash
# One end-to-end scenario of Barsync under faults: the archive folder's run lock, leftover
# temporaries, and runs killed (SIGKILL) at random moments.
# usage: scenarios.sh SCENARIO BARSYNC GEN READER HOLDER WORK SOURCE_DIR [EMULATOR]
# BARSYNC, GEN (tools/gen_minute_tree), READER (tools/archive_csv) and HOLDER
# (tests/faults/lock_holder) are the built programs; EMULATOR is wine for the Windows build.
# Exit code 0 when every check held, 77 when wine could not start a program twice.
set -u
scenario=$1 barsync=$2 gen=$3 reader=$4 holder=$5 work=$6 src=$7 emulator=${8:-}
# shellcheck source=../sample_harness.sh
source "$src/tests/sample_harness.sh"

fresh_logs() { rm -f "$1/bin/Barsync.log" "$1/bin/Barsync.errors.log"; }
nth_date() { dates | sed -n "$1p"; }
main_log() { tr -d '\r' <"$1/bin/Barsync.log" 2>/dev/null | tr '\\' '/'; }
errors_log() { tr -d '\r' <"$1/bin/Barsync.errors.log" 2>/dev/null | tr '\\' '/'; }
log_has() { main_log "$1" | grep -qF -- "$2" || fail "the main log lacks: $2"; }
log_lacks() { main_log "$1" | grep -qF -- "$2" && fail "the main log has: $2"; }
errors_has() { errors_log "$1" | grep -qF -- "$2" || fail "the errors log lacks: $2"; }

# The days held by the day interval of archive $2 of folder $1, one a line.
days_of() {
  (cd "$1/bin" && launch "$1/csv.txt" "$reader" "archive/$2" -1 >/dev/null)
  tr -d '\r' <"$1/csv.txt" | tail -n +2 | cut -d, -f3
}

# Archive files (class/name.dat) of folder $1, sorted.
archives() { (cd "$1/bin/archive" && find . -name '*.dat' -type f | LC_ALL=C sort); }

# Digest lines ("hash  path") of every archive and minute file of folder $1: the lock file
# and temporaries are no archives.
state() {
  (cd "$1/bin" && find archive minutes -type f ! -name Barsync.lock ! -name '*.barsync.tmp' \
    ! -name '*.dat.tmp' ! -name Barsync.change.journal | LC_ALL=C sort | xargs -r sha256sum)
}

# Starts lock_holder on the archive folder of $1 and waits until it holds the lock; its
# process id is then in $1/held.
hold_lock() {
  rm -f "$1/held" "$1/release"
  (cd "$1/bin" && exec $emulator "$holder" archive/Barsync.lock ../held ../release \
    >"$1/holder.txt" 2>&1 </dev/null) &
  holder_pid=$!
  local waited=0
  # Bounded only against a holder that cannot start at all; the checks never depend on it.
  while [ ! -f "$1/held" ] && [ $waited -lt 1200 ]; do
    sleep 0.1
    waited=$((waited + 1))
  done
  [ -f "$1/held" ] || fail "the lock holder never took the lock: $(cat "$1/holder.txt")"
}
release_lock() {
  touch "$1/release"
  wait "$holder_pid"
}

# --- the run lock ---

second_run_times_out_cleanly() {
  local a=$work/a d1 d2 before pid
  setup "$a"
  d1=$(nth_date 1)
  d2=$(nth_date 2)
  run_ok "$a" -a add -d "$d1"
  settings "$a" "[General]" "LockWaitSeconds=1"
  before=$(state "$a")
  hold_lock "$a"
  pid=$(tr -d '\r' <"$a/held")
  fresh_logs "$a"
  run "$a" -a add -d "$d2"
  [ "$rc" = 2 ] || fail "a run refused by the lock exited with $rc, not 2"
  log_has "$a" "is in use by process $pid; waiting up to 1 seconds"
  errors_has "$a" "is still in use by process $pid after 1 seconds; nothing was done"
  log_lacks "$a" "Barsync finished"
  [ "$(state "$a")" = "$before" ] || fail "a refused run changed files"
  # The test action reads without the lock.
  fresh_logs "$a"
  run_ok "$a" -a test
  log_has "$a" "Number of corrupted archives: 0"
  # A rebuild refused by the lock clears nothing.
  run "$a" -a rebuild
  [ "$rc" = 2 ] || fail "a refused rebuild exited with $rc, not 2"
  [ "$(state "$a")" = "$before" ] || fail "a refused rebuild changed files"
  release_lock "$a"
  # Released (or its holder killed): the next run takes the lock at once.
  fresh_logs "$a"
  run_ok "$a" -a add -d "$d2"
  log_lacks "$a" "is in use by process"
}

# Two adds of different dates at once, $3 times: every archive ends with both dates, or the
# later date won the lock and the earlier date's run refused every archive in its errors
# log (an add never goes back in time); nothing is lost silently.
concurrent_pair() {
  local a=$1 d4=$2 d5=$3 f days
  (cd "$a/bin" && launch "$a/out4.txt" "./$program" -a add -d "$d4" -l run4.log -e errors4.log) &
  local p4=$!
  (cd "$a/bin" && launch "$a/out5.txt" "./$program" -a add -d "$d5" -l run5.log -e errors5.log) &
  local p5=$!
  local rc4 rc5
  wait $p4
  rc4=$?
  wait $p5
  rc5=$?
  [ "$rc4" = 1 ] || fail "add -d $d4 exited with $rc4"
  [ "$rc5" = 1 ] || fail "add -d $d5 exited with $rc5"
  for f in $(archives "$a"); do
    days=$(days_of "$a" "$f")
    echo "$days" | grep -qx "$d5" || fail "$f lacks $d5"
    if ! echo "$days" | grep -qx "$d4"; then
      tr -d '\r' <"$a/bin/errors4.log" 2>/dev/null | tr '\\' '/' | grep -F "Error replicating" |
        grep -qF "/archive/${f#./}" && grep -qF "Archive date is more recent" "$a/bin/errors4.log" ||
        fail "$f lacks $d4 and its run said nothing about it"
    fi
  done
}

concurrent_adds_keep_both_dates() {
  local a=$work/a d pid
  local -a ds
  mapfile -t ds < <(dates)
  # Started together: either may win the lock.
  for round in 1 2 3; do
    setup "$a"
    for d in "${ds[@]:0:3}"; do run_ok "$a" -a add -d "$d"; done
    concurrent_pair "$a" "${ds[3]}" "${ds[4]}"
  done
  # The earlier date holds the lock first: the later one waits, then both are in every
  # archive.
  setup "$a"
  for d in "${ds[@]:0:3}"; do run_ok "$a" -a add -d "$d"; done
  hold_lock "$a"
  (cd "$a/bin" && launch "$a/out4.txt" "./$program" -a add -d "${ds[3]}" -l run4.log \
    -e errors4.log) &
  local p4=$!
  pid=$(tr -d '\r' <"$a/held")
  until tr -d '\r' <"$a/bin/run4.log" 2>/dev/null | grep -qF "is in use by process $pid"; do
    sleep 0.1
  done
  release_lock "$a"
  # The first run now holds the lock (its id replaced the holder's), or is done already.
  until [ "$(tr -d '\r' <"$a/bin/archive/Barsync.lock")" != "$pid" ] || ! kill -0 $p4 2>/dev/null; do
    sleep 0.05
  done
  run_ok "$a" -a add -d "${ds[4]}" -l run5.log -e errors5.log
  wait $p4
  local rc4=$?
  [ "$rc4" = 1 ] || fail "add -d ${ds[3]} exited with $rc4"
  for f in $(archives "$a"); do
    days=$(days_of "$a" "$f")
    echo "$days" | grep -qx "${ds[3]}" || fail "$f lacks ${ds[3]}"
    echo "$days" | grep -qx "${ds[4]}" || fail "$f lacks ${ds[4]}"
  done
}

# --- temporaries ---

# The journal of an interrupted change of other entries stops a change run before it changes
# anything (completing one change with another's entries would mix two scales); the same
# change run again completes it and the journal goes.
interrupted_change_blocks_other_changes() {
  local a=$work/a before
  setup "$a"
  four_dates "$a"
  settings "$a" "[ChangePrice]" "1=TQBR,SBER,10,2"
  printf 'Barsync change journal\nchange changelot from [] to []; 1=TQBR,SBER,1,10\n' \
    >"$a/bin/archive/Barsync.change.journal"
  before=$(state "$a")
  fresh_logs "$a"
  run_ok "$a" -a changeprice
  errors_has "$a" "holds an interrupted change of other entries or dates (changelot from [] to []; 1=TQBR,SBER,1,10)"
  [ "$(state "$a")" = "$before" ] || fail "the refused change changed files"
  [ -e "$a/bin/archive/Barsync.change.journal" ] || fail "the journal went"
  settings "$a" "[ChangeLot]" "1=TQBR,SBER,1,10"
  fresh_logs "$a"
  run_ok "$a" -a changelot
  log_has "$a" "Completing the interrupted change recorded in"
  [ -e "$a/bin/archive/Barsync.change.journal" ] && fail "the completed change left its journal"
  [ "$(state "$a")" != "$before" ] || fail "the completed change changed nothing"
}

leftover_temporaries_are_no_archives() {
  local a=$work/a d1 d2
  setup "$a"
  d1=$(nth_date 1)
  d2=$(nth_date 2)
  run_ok "$a" -a add -d "$d1"
  # Leftovers of killed runs: the earlier name and the current one, 1000 bytes each.
  head -c 1000 /dev/zero >"$a/bin/archive/TQBR/SBER.dat.tmp"
  head -c 1000 /dev/zero >"$a/bin/archive/TQBR/GAZP_dat.barsync.tmp"
  head -c 1000 /dev/zero >"$a/bin/minutes/$d2/TQBR/SBER/1_dat.barsync.tmp"
  fresh_logs "$a"
  run_ok "$a" -a test
  log_has "$a" "Number of corrupted archives: 0"
  log_has "$a" "Total number of archives processed by the utility: 5"
  log_lacks "$a" "Invalid file size 1000"
  # delete walks the archive tree: a temporary is no security.
  fresh_logs "$a"
  run_ok "$a" -a delete -d 19990101
  log_lacks "$a" "SBER.dat.tmp is"
  log_has "$a" "Removed leftover temporary file "
  [ -e "$a/bin/archive/TQBR/SBER.dat.tmp" ] && fail "the earlier leftover was not removed"
  [ -e "$a/bin/archive/TQBR/GAZP_dat.barsync.tmp" ] && fail "the leftover was not removed"
  # The next add reads the minute file alone, never its leftover temporary.
  fresh_logs "$a"
  run_ok "$a" -a add -d "$d2"
  errors_log "$a" | grep -v "Init log: " | grep -q . && fail "the add reported errors: $(errors_log "$a")"
  [ "$(days_of "$a" TQBR/SBER.dat | tail -1)" = "$d2" ] || fail "SBER lacks $d2"
}

# --- killed runs ---

# Microseconds since the epoch.
now_us() { echo $(($(date +%s%N) / 1000)); }

# Checks that every file of folder $1 is byte for byte as in state $2 (before) or $3
# (after); a file may be missing only where it is missing in one of them.
each_file_before_or_after() {
  local now
  now=$(state "$1")
  awk -v label="$4" '
    FNR == 1 { part++ }
    { hash = $1; $1 = ""; path = substr($0, 2) }
    part == 1 { before[path] = hash; next }
    part == 2 { after[path] = hash; next }
    { seen[path] = 1
      if (hash != before[path] && hash != after[path]) { print label ": " path " is neither its state before nor after the run"; bad++ } }
    END {
      for (p in before) if (!(p in seen) && (p in after)) { print label ": " p " is missing"; bad++ }
      exit bad > 0 }' <(echo "$2") <(echo "$3") <(echo "$now") || fail "$4: files torn"
}

# Kill trials of one action: $1 the action's name, $2 the set-up function of the folder
# before the run, $3 "same" when running the action again must give the complete run's
# state, "completes_killed" when it must after a killed run only, the rest the arguments of
# the run.
kill_trials() {
  local name=$1 prepare=$2 again=$3
  shift 3
  local base=$work/base ref=$work/ref t=$work/t
  local trials=${KILL_TRIALS:-${BARSYNC_KILL_TRIALS:-8}}
  local seed=${KILL_SEED:-$(($(date +%s) % 100000))}
  echo "kill $name: $trials trials, seed $seed (rerun with KILL_SEED=$seed KILL_TRIALS=$trials)"
  setup "$base"
  "$prepare" "$base"
  fresh_logs "$base"
  local before after start duration
  before=$(state "$base")
  # The kills are spread over the shortest of three complete runs, so that a slow one (a
  # busy machine) does not put most of them after the end.
  local n took
  duration=
  for n in 1 2 3; do
    rm -rf "$ref"
    cp -a "$base" "$ref"
    start=$(now_us)
    run_ok "$ref" "$@"
    took=$(($(now_us) - start))
    [ -z "$duration" ] || [ "$took" -lt "$duration" ] && duration=$took
  done
  after=$(state "$ref")
  [ "$before" != "$after" ] || fail "$name: the complete run changed nothing"
  RANDOM=$seed
  local i delay pid killed=0 lat
  for ((i = 1; i <= trials; i++)); do
    rm -rf "$t"
    cp -a "$base" "$t"
    delay=$((((RANDOM << 15) | RANDOM) % (duration + duration / 10 + 1)))
    (cd "$t/bin" && exec $emulator "./$program" "$@" >"$t/out.txt" 2>&1 </dev/null) &
    pid=$!
    sleep "$(printf '%d.%06d' $((delay / 1000000)) $((delay % 1000000)))"
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    local ended=$?
    [ $ended = 137 ] && killed=$((killed + 1))
    lat="$name trial $i (seed $seed, after ${delay} us)"
    # A change killed after its journal went had completed: the next run changes again, as
    # after one that ended by itself. The journal goes only after the closing line, so such
    # a run must have logged it: an operator who sees no closing line finds the journal.
    local complete=no
    [ $ended = 137 ] && [ ! -e "$t/bin/archive/Barsync.change.journal" ] &&
      [ "$(state "$t")" = "$after" ] && complete=yes
    if [ "$again" = completes_killed ] && [ $complete = yes ]; then
      main_log "$t" | awk '/Barsync, version/ { f = 0 } / Barsync finished/ { f = 1 } END { exit !f }' ||
        fail "$lat: a change killed before its closing line left no journal"
    fi
    each_file_before_or_after "$t" "$before" "$after" "$lat"
    fresh_logs "$t"
    run_ok "$t" -a test
    main_log "$t" | grep -qF "Number of corrupted archives: 0" ||
      fail "$lat: the test action found damage: $(main_log "$t" | grep -F "contains errors" | head -3)"
    fresh_logs "$t"
    run_ok "$t" "$@"
    log_has "$t" " Barsync finished"
    log_lacks "$t" "is in use by process"
    [ -n "$(find "$t/bin/archive" -name '*.barsync.tmp')" ] && fail "$lat: temporaries left"
    # A change is not run twice on purpose: after one that ended by itself, the next run
    # changes again, so only the killed ones must be completed by it.
    if { [ "$again" = same ] ||
      { [ "$again" = completes_killed ] && [ $ended = 137 ] && [ $complete = no ]; }; } &&
      [ "$(state "$t")" != "$after" ]; then
      fail "$lat: the next run did not complete the killed one"
    fi
    [ -e "$t/bin/archive/Barsync.change.journal" ] && fail "$lat: the change journal was left"
  done
  echo "kill $name: $killed of $trials runs killed before they ended (the shortest complete run took ${duration} us)"
}

add_dates() {
  local dir=$1 d
  shift
  for d in "$@"; do run_ok "$dir" -a add -d "$d"; done
}
# The archives of four dates, the third left out (for insert).
four_dates() { add_dates "$1" "$(nth_date 1)" "$(nth_date 2)" "$(nth_date 4)" "$(nth_date 5)"; }
lot_entries() {
  four_dates "$1"
  settings "$1" "[ChangeLot]" "1=TQBR,SBER,1,10" "2=TQBR,GAZP,10,100" "3=FUTN,SIH4,1,2" \
    "4=CETS,USD000UTSTOM,1000,1"
}
price_entries() {
  four_dates "$1"
  settings "$1" "[ChangePrice]" "1=TQBR,SBER,10,2" "2=TQBR,GAZP,8,4" "3=FUTN,SIH4,100" \
    "4=CETS,USD000UTSTOM,10,2"
}

kill_add() { kill_trials add four_dates same -a add -d "$(nth_date 6)"; }
kill_insert() { kill_trials insert four_dates same -a insert -d "$(nth_date 3)"; }
kill_delete() { kill_trials delete four_dates same -a delete -d "$(nth_date 4)"; }
kill_rebuild() { kill_trials rebuild four_dates same -a rebuild; }
# A killed lot or price change run again completes it: the files the killed run changed
# are not rescaled twice (the change journal), so the result is that of one complete run.
kill_changeprice() { kill_trials changeprice price_entries completes_killed -a changeprice; }
kill_changelot() { kill_trials changelot lot_entries completes_killed -a changelot; }

"$scenario"
finish "$scenario"
