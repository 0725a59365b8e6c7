#!/usr/bin/env bash
# The same sequence of runs on a generated tree (gen_minute_tree --size) with one worker
# and with three: the main and errors logs (time stamps, thread and process ids and the
# folder masked), the archive trees and the minute trees must be the same byte for byte.
# The sequence covers every action that works on instruments at once (rebuild, add,
# addlast, insert, delete, conversion, changelot, changeprice), an instrument named twice
# in a change list and a damaged archive.
# usage: same_as_one_worker.sh BARSYNC GEN WORK SOURCE_DIR [EMULATOR]
set -u
barsync=$1 gen=$2 work=$3 src=$4 emulator=${5:-}
# shellcheck source=../sample_harness.sh
source "$src/tests/sample_harness.sh"

readonly SECURITIES=15 DATES=9

# A log of folder $1 (file $2) with time stamps, ids and the folder masked.
masked() {
  local bin=$1/bin
  local win="Z:${bin//\//\\}"
  local esc_bin esc_win
  esc_bin=$(printf '%s' "$bin" | sed 's/[][\\/.^$*&]/\\&/g')
  esc_win=$(printf '%s' "$win" | sed 's/[][\\/.^$*&]/\\&/g')
  tr -d '\r' <"$bin/$2" |
    sed -e "s/$esc_win/<bin>/g" -e "s/$esc_bin/<bin>/g" -e 's/\\/\//g' \
      -e 's/^[0-9][0-9]\.[0-9][0-9]\.[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]\.[0-9][0-9][0-9] ([0-9]*:/<time> (<tid>:/' \
      -e 's/PID=[0-9]*/PID=<pid>/'
}

# SHA-256 of every file below folder $1/bin/$2 but the run lock.
tree_digests() { (cd "$1/bin/$2" && find . -type f ! -name Barsync.lock | LC_ALL=C sort | xargs -r sha256sum); }

# The whole sequence in folder $1 with $2 workers.
sequence() {
  local dir=$1 threads=$2
  setup "$dir" empty
  sed -i -e 's/^DebugLevel=.*/DebugLevel=2/' -e "s/^\\[General\\]\\r\\?\$/&\\nThreads=$threads/" \
    "$dir/bin/Barsync.ini"
  (cd "$dir/bin" && launch "$dir/gen.txt" "$gen" --size "$SECURITIES" "$DATES" minutes) ||
    fail "the generator failed"
  settings "$dir" "[ChangeLot]" "1=TQBR,SBER0,1,10" "2=FUTN,SIH43,5,1" "3=TQBR,SBER0,10,1" \
    "[ChangePrice]" "1=TQBR,GAZP1,10" "2=CETS,USD000UTSTOM4,2,4" "3=TQBR,GAZP1,0.1"
  local days
  mapfile -t days < <(ls "$dir/bin/minutes")
  run_ok "$dir" -a rebuild
  # A damaged archive: every later action reports it and leaves it alone.
  printf 'xx' >>"$dir/bin/archive/TQBR/LKOH2.dat"
  run_ok "$dir" -a delete -d "${days[3]}"
  run_ok "$dir" -a insert -d "${days[3]}"
  for day in "${days[@]}"; do run_ok "$dir" -a add -d "$day"; done
  run_ok "$dir" -a addlast
  (cd "$dir/bin" && launch "$dir/gen.txt" "$gen" --legacy archive) || fail "the generator failed"
  run_ok "$dir" -a conversion
  run "$dir" -a changelot
  run "$dir" -a changeprice
  run_ok "$dir" -a delete -d "${days[0]}"
}

sequence "$work/one" 1
sequence "$work/three" 3
for log in Barsync.log Barsync.errors.log; do
  if ! diff <(masked "$work/one" "$log") <(masked "$work/three" "$log") >"$work/$log.diff"; then
    fail "$log differs between one and three workers"
    head -20 "$work/$log.diff"
  fi
done
[ "$(masked "$work/one" Barsync.log | grep -c 'Archive file .* saved')" -gt 100 ] ||
  fail "the sequence saved fewer archives than it should"
grep -q "contains errors" "$work/one/bin/Barsync.log" || fail "the damaged archive was not reported"
[ -f "$work/one/bin/archive/LEGACY/OLDSEC.dat" ] || fail "the legacy directory was not converted"
for tree in archive minutes; do
  [ "$(tree_digests "$work/one" "$tree")" = "$(tree_digests "$work/three" "$tree")" ] ||
    fail "the $tree trees differ between one and three workers"
done
exit $((failures > 0))
