#!/usr/bin/env bash
# One end-to-end scenario of Barsync on the generated sample tree.
# usage: scenarios.sh SCENARIO BARSYNC GEN READER WORK SOURCE_DIR [EMULATOR]
# BARSYNC, GEN (tools/gen_minute_tree) and READER (tools/archive_csv) are the built
# programs; EMULATOR is wine for the Windows build. Exit code 0 when every check held.
set -u
scenario=$1 barsync=$2 gen=$3 reader=$4 work=$5 src=$6 emulator=${7:-}
expected=$src/tests/e2e/expected
# shellcheck source=../sample_harness.sh
source "$src/tests/sample_harness.sh"


# The archive file $2 of folder $1 as CSV (only interval $3 when given).
csv() { (cd "$1/bin" && launch - "$reader" "archive/$2" ${3:+"$3"} | tr -d '\r'); }

# SHA-256 of every file of the archive tree of folder $1 (classes $2.. only, when given).
digests() {
  local dir=$1
  shift
  (cd "$dir/bin/archive" && find "${@:-.}" -type f ! -name Barsync.lock | LC_ALL=C sort | xargs -r sha256sum)
}

# The main log of folder $1 with time stamps, thread and process ids and the folder masked.
masked_log() {
  local bin=$1/bin
  local win="Z:${bin//\//\\}"
  local esc_bin esc_win
  esc_bin=$(printf '%s' "$bin" | sed 's/[][\\/.^$*&]/\\&/g')
  esc_win=$(printf '%s' "$win" | sed 's/[][\\/.^$*&]/\\&/g')
  tr -d '\r' <"$bin/Barsync.log" |
    sed -e "s/$esc_win/<bin>/g" -e "s/$esc_bin/<bin>/g" -e 's/\\/\//g' \
      -e 's/^[0-9][0-9]\.[0-9][0-9]\.[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]\.[0-9][0-9][0-9] ([0-9]*:/<time> (<tid>:/' \
      -e 's/PID=[0-9]*/PID=<pid>/'
}

# The archive files of folder $1, sorted, on one line.
archive_files() { (cd "$1/bin/archive" && find . -type f ! -name Barsync.lock | LC_ALL=C sort | tr '\n' ' '); }

# The log file $1 with the separators of Windows paths turned into "/".
slashed() { tr '\\' '/' <"$1"; }
log_has() { slashed "$1/bin/Barsync.log" | grep -qF -- "$2" || fail "the main log lacks: $2"; }
errors_has() { slashed "$1/bin/Barsync.errors.log" | grep -qF -- "$2" || fail "the errors log lacks: $2"; }

same_digests() {
  [ "$1" = "$2" ] || {
    fail "$3"
    diff <(echo "$1") <(echo "$2") | head -20
  }
}

# Writes the bytes given as printf escapes at byte offset $2 of file $1.
poke() { printf "$3" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none; }
# A little-endian 32-bit integer as printf escapes.
le32() {
  local v=$1
  printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((v & 255)) $(((v >> 8) & 255)) $(((v >> 16) & 255)) \
    $(((v >> 24) & 255))
}
readonly RECORD=48 DATE_FIELD=40 TIME_FIELD=44
readonly VOLUME=0 OPEN=8 HIGH=16 LOW=24 CLOSE=32
readonly NAN='\x00\x00\x00\x00\x00\x00\xf8\x7f' INF='\x00\x00\x00\x00\x00\x00\xf0\x7f'
readonly NEG_INF='\x00\x00\x00\x00\x00\x00\xf0\xff'
# Removes record $2 (from 0) of the candle file $1.
drop_record() {
  { head -c $(($2 * RECORD)) "$1" && tail -c +$((($2 + 1) * RECORD + 1)) "$1"; } >"$1.cut" &&
    mv "$1.cut" "$1"
}
# The first record of interval $3 of archive $2 (folder $1), counted from the file's start.
first_record() { csv "$1" "$2" | awk -F, -v c="$3" 'NR > 1 && NR <= 17 { if ($2 == c) { print 16 + n; exit } n += $3 }'; }

add_all() {
  local dir=$1 skip=${2:-none} d
  for d in $(dates); do
    [ "$d" = "$skip" ] || run_ok "$dir" -a add -d "$d"
  done
}

# Adds the dates from $2 to $3 but $4. Six days of the sample fit the one-minute interval
# (3000 candles): trees of at most six days can be compared whole.
add_range() {
  local dir=$1 from=$2 to=$3 skip=${4:-none} d
  for d in $(dates); do
    [ "$d" -ge "$from" ] && [ "$d" -le "$to" ] && [ "$d" != "$skip" ] && run_ok "$dir" -a add -d "$d"
  done
}

# Removes the logs of folder $1, so that the checks see the next run alone.
fresh_logs() { rm -f "$1/bin/Barsync.log" "$1/bin/Barsync.errors.log"; }
log_lacks() { slashed "$1/bin/Barsync.log" | grep -qF -- "$2" && fail "the main log has: $2"; }

# --- scenarios ---

sample_tree_matches_expected_bytes() {
  local a=$work/a
  setup "$a"
  add_all "$a"
  run_ok "$a" -a addlast
  errors_has "$a" "Archive date is more recent"
  log_has "$a" "Total number of archives processed by the utility: 5"
  log_has "$a" "Number of corrupted archives: 0"
  same_digests "$(digests "$a")" "$(cat "$expected/sample_tree.sha256")" \
    "the archive tree differs from the expected bytes (tests/e2e/expected/sample_tree.sha256)"
}

addlast_takes_newest_date() {
  local a=$work/a
  setup "$a"
  mkdir -p "$a/bin/minutes/20991231_old/TQBR/SBER" "$a/bin/minutes/tmp"
  cp "$a/bin/minutes/20240130/TQBR/SBER/1.dat" "$a/bin/minutes/20991231_old/TQBR/SBER/"
  run_ok "$a" -a addlast
  log_has "$a" "  [date]    = 20240304"
  local days
  days=$(csv "$a" TQBR/SBER.dat -1 | tail -n +2 | cut -d, -f3)
  [ "$days" = 20240304 ] || fail "the day interval holds [$days], expected 20240304 only"
}

addlast_without_dates() {
  local a=$work/a
  setup "$a" empty
  run_ok "$a" -a addlast
  errors_has "$a" "Date is not specified"
  [ -z "$(ls -A "$a/bin/archive" | grep -vx Barsync.lock)" ] || fail "archives were written"
}

insert_between_stored_days() {
  local a=$work/a b=$work/b
  setup "$a"
  setup "$b"
  add_range "$a" 20240202 20240304 20240227
  run_ok "$a" -a insert -d 20240227
  add_range "$b" 20240202 20240304
  # The evening session of FUTN reaches into the next date, so its days overlap; the
  # other classes must come out exactly as when the days were added in order.
  same_digests "$(digests "$a" TQBR CETS)" "$(digests "$b" TQBR CETS)" \
    "inserting a day between stored days differs from adding the days in order"
  local futn
  futn=$(csv "$a" FUTN/SIH4.dat -1 | cut -d, -f3 | grep -c '^20240227$')
  [ "$futn" = 1 ] || fail "FUTN day interval holds $futn candles of 20240227"
}

insert_stored_day_replaces_exactly() {
  local a=$work/a
  setup "$a"
  add_all "$a"
  local before
  before=$(digests "$a")
  run_ok "$a" -a insert -d 20240228
  same_digests "$(digests "$a")" "$before" "inserting a stored day again changed the archives"
  log_has "$a" "  [date]    = 20240228"
  log_has "$a" "Total number of archives processed by the utility: 5"
}

grown_export_readded() {
  local a=$work/a b=$work/b
  setup "$a"
  setup "$b"
  local full=$work/full
  rm -rf "$full"
  cp -r "$a/bin/minutes/20240229" "$full"
  local f
  for f in "$a"/bin/minutes/20240229/*/*/1.dat; do
    head -c $((300 * 48)) "$f" >"$f.part" && mv "$f.part" "$f"
  done
  add_range "$a" 20240202 20240229
  rm -rf "$a/bin/minutes/20240229"
  cp -r "$full" "$a/bin/minutes/20240229"
  run_ok "$a" -a add -d 20240229
  log_has "$a" "already holds a part of 20240229: the day is replaced"
  add_range "$a" 20240301 20240304
  add_range "$b" 20240202 20240304
  same_digests "$(digests "$a" TQBR CETS)" "$(digests "$b" TQBR CETS)" \
    "a day added in two parts differs from the day added whole"
}

# Keeps the minute records of the export file $1 whose time is $2 (HHMMSS) or later.
cut_export_before() {
  local file=$1 from=$2 index
  index=$(launch - "$reader" --bare "$file" | tr -d '\r' | tail -n +2 |
    awk -F, -v t="$from" '$4 + 0 >= t + 0 { print NR - 1; exit }')
  tail -c +$((index * 48 + 1)) "$file" >"$file.part" && mv "$file.part" "$file"
}

# An insert of a day older than the whole one-minute run (3000 candles, the normal state of
# an archive more than a few days old) must give every interval what adding the dates in
# order gives: the evening session of FUTN reaches into the next stored day, whose day,
# week and month candles keep the part that the next export contributed.
insert_day_older_than_full_minute_run() {
  local a=$work/a b=$work/b
  setup "$a"
  setup "$b"
  add_all "$a" 20240130
  local ones oldest
  ones=$(csv "$a" FUTN/SIH4.dat 1 | tail -n +2 | wc -l)
  oldest=$(csv "$a" FUTN/SIH4.dat 1 | sed -n 2p | cut -d, -f3)
  [ "$ones" = 3000 ] && [ "$oldest" -gt 20240131 ] ||
    fail "the one-minute run holds $ones candles from $oldest, not a full run after 20240131"
  run_ok "$a" -a insert -d 20240130
  add_all "$b"
  same_digests "$(digests "$a")" "$(digests "$b")" \
    "inserting the oldest day differs from adding every date in order"
  local day
  day=$(csv "$a" FUTN/SIH4.dat -1 | grep '^-1,[0-9]*,20240131,' | cut -d, -f9)
  [ "$day" = 100627 ] || fail "FUTN day 20240131 has volume $day, not 100627"
}

# A partial export of a stored day (minutes from 15:00 on) inserted again replaces only
# what it covers: the day, week and month candles keep the morning, as the minute
# candles do, and the archive stays byte for byte as it was.
reinsert_partial_export_keeps_whole_day() {
  local a=$work/a
  setup "$a"
  add_all "$a"
  local before
  before=$(digests "$a")
  cut_export_before "$a/bin/minutes/20240131/TQBR/SBER/1.dat" 150000
  run_ok "$a" -a insert -d 20240131
  same_digests "$(digests "$a")" "$before" "re-inserting a partial export changed the archives"
  local day
  day=$(csv "$a" TQBR/SBER.dat -1 | grep '^-1,[0-9]*,20240131,' | cut -d, -f9)
  [ "$day" = 112632 ] || fail "SBER day 20240131 has volume $day, not 112632"
}

# Once every date is added, SBER's one-minute run (3000 candles) reaches 20240202 only
# from 14:59; the 5-minute interval holds the whole day. A partial export of that day
# from 15:02 inserted again rebuilds the 5-minute slot of 15:00, which keeps 15:00 and
# 15:01 as the one-minute interval holds them, and the day keeps them too: each stretch
# before the insert is read from the finest interval that holds it (5-minute candles up
# to 14:59, one-minute candles from 15:00). The day, week and month candles stay as they
# were.
reinsert_reads_each_stretch_from_finest_interval() {
  local a=$work/a code before oldest
  setup "$a"
  add_all "$a"
  oldest=$(csv "$a" TQBR/SBER.dat 1 | sed -n 2p | cut -d, -f3,4)
  [ "$oldest" = 20240202,145900 ] || fail "SBER's one-minute run starts at $oldest, not 20240202,145900"
  for code in -1 -2 -3; do before[code + 3]=$(interval_lines "$a" "$code"); done
  cut_export_before "$a/bin/minutes/20240202/TQBR/SBER/1.dat" 150200
  run_ok "$a" -a insert -d 20240202
  for code in -1 -2 -3; do
    same_digests "$(interval_lines "$a" "$code")" "${before[code + 3]}" \
      "re-inserting a partial export changed interval $code"
  done
  local folded
  folded=$(csv "$a" TQBR/SBER.dat 1 | awk -F, '$3 == 20240202 && $4 >= 150000 && $4 < 150500 {
      if (!n++) open = $5; volume += $9 } END { printf "%s,%d", open, volume }')
  csv "$a" TQBR/SBER.dat 5 | grep -q "^5,[0-9]*,20240202,150000,${folded%,*},.*,${folded#*,}\$" ||
    fail "the 5-minute slot of 15:00 is not the fold of the one-minute candles 15:00 to 15:04 ($folded)"
  csv "$a" TQBR/SBER.dat 5 | grep -q '^5,[0-9]*,20240202,150000,275.82,.*,939$' &&
    fail "the 5-minute slot of 15:00 holds the re-inserted 15:02 to 15:04 alone"
}

# Intervals 1 and 1439: the 1439-minute slot of 20240131 holds FUTN's part after midnight
# of the 20240130 export beside the evening of 20240131, and that of 20240201 the night of
# 20240131 beside the evening of 20240201. Inserting 20240131 again rebuilds both slots and
# keeps there what the one-minute interval holds outside the export: every candle equals
# what adding in order gives.
insert_again_keeps_shared_slots_as_the_finer_interval_holds() {
  local a=$work/a b=$work/b dir code
  for dir in "$a" "$b"; do
    setup "$dir"
    set_intervals "$dir" 1 1439
    add_range "$dir" 20240130 20240202
  done
  run_ok "$a" -a insert -d 20240131
  for code in 1 1439; do
    same_digests "$(interval_lines "$a" "$code")" "$(interval_lines "$b" "$code")" \
      "interval $code after inserting 20240131 again differs from adding in order"
  done
}

# With the one-minute interval alone beside the calendar ones, every date added leaves its
# full run (3000 candles) past FUTN's night of 20240130/31. That export, sent again with a
# minute after midnight less, is inserted: the day of 20240131 takes the new night and
# keeps the 20240131 export's own evening (read from the minute tree, as no minute interval
# holds it any more), as adding every date with the new export gives.
insert_exported_again_older_than_minute_run_takes_new_night() {
  local a=$work/a b=$work/b code dir
  setup "$a"
  setup "$b"
  set_intervals "$a" 1 day week month
  set_intervals "$b" 1 day week month
  add_all "$a"
  csv "$a" FUTN/SIH4.dat 1 | sed -n 2p | grep -q ',202402[0-9][0-9],' ||
    fail "FUTN's one-minute run still reaches 20240131"
  for dir in "$a" "$b"; do drop_minute "$dir/bin/minutes/20240130/FUTN/SIH4/1.dat" 3000; done
  run_ok "$a" -a insert -d 20240130
  add_all "$b"
  for code in -1 -2 -3; do
    same_digests "$(interval_lines "$a" "$code")" "$(interval_lines "$b" "$code")" \
      "interval $code differs from that of adding every date with the new export"
  done
}

# Replaces the [Intervals] section of folder $1's settings by the keys $2.. (value 3000).
set_intervals() {
  local dir=$1 keys
  shift
  keys=$(printf '%s=3000\\n' "$@")
  sed -i "/^\[Intervals\]/,/^\[/{/^\[Intervals\]/!{/^\[/!d}}" "$dir/bin/Barsync.ini"
  sed -i "s/^\[Intervals\]/[Intervals]\n${keys%\\n}/" "$dir/bin/Barsync.ini"
}

# The candles of interval $2 of every archive of folder $1 as CSV lines, each prefixed
# with its archive's name, the interval column changed to $3 when given.
interval_lines() {
  local dir=$1 code=$2 as=${3:-} f
  for f in $(cd "$dir/bin/archive" && find . -name '*.dat' | LC_ALL=C sort); do
    csv "$dir" "${f#./}" "$code" | tail -n +2 | sed "s|^[^,]*|$f,${as:-$code}|"
  done
}

# With only calendar intervals, adding the next date of FUTN (whose evening session runs
# past midnight) keeps the part after midnight that the previous export stored for that
# date: day, week and month candles are those of an archive with minute intervals.
calendar_only_night_session_keeps_after_midnight_part() {
  local a=$work/a b=$work/b code
  setup "$a"
  setup "$b"
  set_intervals "$a" day week month
  add_all "$a"
  add_all "$b"
  for code in -1 -2 -3; do
    same_digests "$(interval_lines "$a" "$code")" "$(interval_lines "$b" "$code")" \
      "interval $code of calendar-only archives differs from that of archives with minutes"
  done
  local day
  day=$(csv "$a" FUTN/SIH4.dat -1 | grep '^-1,[0-9]*,20240131,' | cut -d, -f9)
  [ "$day" = 100627 ] || fail "FUTN day 20240131 has volume $day, not 100627"
  log_has "$a" "Total number of archives processed by the utility: 5"
  slashed "$a/bin/Barsync.log" | grep -q "already holds a part" &&
    fail "a calendar-only archive replaced a day that the previous export began"
}

# With only calendar intervals, an export that ends before midnight (FUTN's of 20240201,
# cut at 23:59) still extends the day that the previous export's part after midnight
# began: the archive cannot tell that part from an earlier add of the same export, the
# previous export in the minute tree can. Adding every date, and a rebuild, give the day,
# week and month candles of an archive with minute intervals.
calendar_only_export_ending_before_midnight_keeps_previous_night() {
  local a=$work/a b=$work/b code dir
  setup "$a"
  setup "$b"
  for dir in "$a" "$b"; do cut_export_after "$dir/bin/minutes/20240201/FUTN/SIH4/1.dat" 235900; done
  set_intervals "$a" day week month
  add_all "$a"
  add_all "$b"
  for code in -1 -2 -3; do
    same_digests "$(interval_lines "$a" "$code")" "$(interval_lines "$b" "$code")" \
      "interval $code of calendar-only archives differs from that of archives with minutes"
  done
  slashed "$a/bin/Barsync.log" | grep -q "already holds a part" &&
    fail "a calendar-only archive replaced the day that the previous export began"
  run_ok "$a" -a rebuild
  for code in -1 -2 -3; do
    same_digests "$(interval_lines "$a" "$code")" "$(interval_lines "$b" "$code")" \
      "interval $code of rebuilt calendar-only archives differs from that of archives with minutes"
  done
}

# An export that holds only the part of its session after midnight (FUTN's of 20240131
# cut to its minutes from midnight on, every one dated 20240201; FUTN without a time
# window) would have its minutes stored under 20240131, beside the part after midnight
# that the export of 20240130 stored there. It is skipped with a line in the errors log:
# add, insert and rebuild leave every archive as a tree without that file gives it.
export_of_the_next_date_only_is_skipped() {
  local a=$work/a b=$work/b dir before
  setup "$a"
  setup "$b"
  for dir in "$a" "$b"; do sed -i '/^Classes=FUTN/d' "$dir/bin/Barsync.ini"; done
  keep_export_after_midnight "$a/bin/minutes/20240131/FUTN/SIH4/1.dat"
  rm "$b/bin/minutes/20240131/FUTN/SIH4/1.dat"
  add_all "$a"
  add_all "$b"
  same_digests "$(digests "$a")" "$(digests "$b")" \
    "an export holding only the next date's minutes changed an archive"
  errors_has "$a" "FUTN/SIH4/1.dat is skipped: it holds no minute of 20240131, every minute is dated 20240201"
  before=$(digests "$a")
  run_ok "$a" -a insert -d 20240131
  same_digests "$before" "$(digests "$a")" "an insert of such an export changed an archive"
  run_ok "$a" -a rebuild
  run_ok "$b" -a rebuild
  same_digests "$(digests "$a")" "$(digests "$b")" \
    "a rebuild took the minutes of an export holding only the next date's"
}

# Folder $1 adds 20240130, FUTN's export of 20240131 up to the minute $2 (HHMMSS), the
# same export again grown up to $3 (whole when empty), then 20240201 and 20240202.
add_futn_export_in_two_parts() {
  local dir=$1 file=$1/bin/minutes/20240131/FUTN/SIH4/1.dat
  cp "$file" "$dir/whole.dat"
  run_ok "$dir" -a add -d 20240130
  cut_export_after "$file" "$2"
  run_ok "$dir" -a add -d 20240131
  cp "$dir/whole.dat" "$file"
  [ -z "$3" ] || cut_export_after "$file" "$3"
  run_ok "$dir" -a add -d 20240131
  add_range "$dir" 20240201 20240202
}

# Folder $1 adds 20240130 to 20240202 with FUTN's export of 20240131 up to $2 (whole when
# empty): what the grown export added in order gives.
add_futn_export_grown() {
  [ -z "$2" ] || cut_export_after "$1/bin/minutes/20240131/FUTN/SIH4/1.dat" "$2"
  add_range "$1" 20240130 20240202
}

# The day, week and month candles of folders $1 and $2 are the same; with 1441 in the
# keys $3.., the 1441-minute candles of $1 are its day candles.
same_calendar_candles() {
  local a=$1 b=$2 code
  shift 2
  for code in -1 -2 -3; do
    same_digests "$(interval_lines "$a" "$code")" "$(interval_lines "$b" "$code")" \
      "interval $code ($*) differs from that of the grown export added in order"
  done
  case " $* " in *" 1441 "*)
    same_digests "$(interval_lines "$a" 1441 -1)" "$(interval_lines "$a" -1)" \
      "the 1441-minute candles ($*) are not the day candles" ;;
  esac
}

# With no minute interval that can tell (only calendar intervals, or a slot of a day or
# more), FUTN's export of 20240131 added up to 23:00 and added again grown (up to 23:30,
# or whole, past midnight) replaces only what its first part stored: the day of 20240131
# keeps the previous export's part after midnight and counts the evening once, as adding
# the grown export in order gives.
grown_export_without_minute_interval_keeps_previous_night() {
  local b=$work/b keys grown n=0
  for grown in 233000 ""; do
    setup "$b"
    add_futn_export_grown "$b" "$grown"
    for keys in "day week month" "1441 day week month"; do
      n=$((n + 1))
      setup "$work/a$n"
      # shellcheck disable=SC2086
      set_intervals "$work/a$n" $keys
      add_futn_export_in_two_parts "$work/a$n" 230000 "$grown"
      # shellcheck disable=SC2086
      same_calendar_candles "$work/a$n" "$b" $keys
    done
  done
}

# With no minute interval that can tell, FUTN's export of 20240131 added up to 01:00 (past
# midnight) and added again whole replaces what its first part stored, night included:
# nothing is refused, and the day of 20240201 holds the whole night once.
grown_export_past_midnight_without_minute_interval_replaces_its_part() {
  local b=$work/b keys n=0
  setup "$b"
  add_futn_export_grown "$b" ""
  for keys in "day week month" "1441 day week month"; do
    n=$((n + 1))
    setup "$work/a$n"
    # shellcheck disable=SC2086
    set_intervals "$work/a$n" $keys
    add_futn_export_in_two_parts "$work/a$n" 10000 ""
    slashed "$work/a$n/bin/Barsync.errors.log" | grep -q "20240131.*more recent\|Error replicating" &&
      fail "the grown export ($keys) was refused"
    # shellcheck disable=SC2086
    same_calendar_candles "$work/a$n" "$b" $keys
  done
}

# As above, while the export of 20240201 lies in the tree, cut to its first two minutes and
# never added: the day of 20240201 is the grown export's night alone (the next export's own
# part, a volume far below the stored stretch of the night, was never stored beside it),
# as adding the grown export in order gives.
grown_export_past_midnight_leaves_next_export_not_added_out() {
  local b=$work/b keys a file n=0
  setup "$b"
  add_range "$b" 20240130 20240131
  for keys in "day week month" "1441 day week month"; do
    n=$((n + 1))
    a=$work/a$n
    file=$a/bin/minutes/20240131/FUTN/SIH4/1.dat
    setup "$a"
    # shellcheck disable=SC2086
    set_intervals "$a" $keys
    cp "$file" "$a/whole.dat"
    run_ok "$a" -a add -d 20240130
    cut_export_after "$file" 10000
    run_ok "$a" -a add -d 20240131
    cut_export_after "$a/bin/minutes/20240201/FUTN/SIH4/1.dat" 190100
    cp "$a/whole.dat" "$file"
    run_ok "$a" -a add -d 20240131
    # shellcheck disable=SC2086
    same_calendar_candles "$a" "$b" $keys
  done
}

# FUTN's export of 20240131 (its session runs past midnight) is added, its date deleted
# (the part after midnight stays, dated 20240201), and the export added again, as it was
# or grown from a first part up to 01:00: the add stores the date as a first add would,
# with calendar intervals only, a slot of a day or more, or minute intervals. The archives
# end byte-equal to those of adding 20240130, deleting 20240131 (which takes the part
# after midnight of 20240130's export, dated 20240131) and adding 20240131.
deleted_date_added_again_is_stored() {
  local a b keys first file n=0
  for keys in "day week month" "1441 day week month" "1 5 day week month"; do
    n=$((n + 1))
    b=$work/b$n
    setup "$b"
    # shellcheck disable=SC2086
    set_intervals "$b" $keys
    run_ok "$b" -a add -d 20240130
    run_ok "$b" -a delete -d 20240131
    run_ok "$b" -a add -d 20240131
    for first in "" 10000; do
      a=$work/a$n${first:+p}
      setup "$a"
      # shellcheck disable=SC2086
      set_intervals "$a" $keys
      file=$a/bin/minutes/20240131/FUTN/SIH4/1.dat
      cp "$file" "$a/whole.dat"
      run_ok "$a" -a add -d 20240130
      [ -z "$first" ] || cut_export_after "$file" "$first"
      run_ok "$a" -a add -d 20240131
      run_ok "$a" -a delete -d 20240131
      cp "$a/whole.dat" "$file"
      fresh_logs "$a"
      run_ok "$a" -a add -d 20240131
      slashed "$a/bin/Barsync.errors.log" | grep -q "more recent\|Error replicating" &&
        fail "the export added again after its date was deleted ($keys) was refused"
      same_digests "$(digests "$a")" "$(digests "$b")" \
        "archives ($keys${first:+, first part up to $first}) differ from a first add of the date"
    done
  done
}

# Sets to 1 the volume of every record of the export file $1 whose time (HHMMSS) is
# from $2 to $3.
volumes_one() {
  local file=$1 index
  for index in $(launch - "$reader" --bare "$file" | tr -d '\r' | tail -n +2 |
    awk -F, -v lo="$2" -v hi="$3" '$4 + 0 >= lo + 0 && $4 + 0 <= hi + 0 { print NR - 1 }'); do
    poke "$file" $((index * RECORD + VOLUME)) '\x00\x00\x00\x00\x00\x00\xf0\x3f'
  done
}

# Folder $1 with a volume of 1 a minute in FUTN's night of 20240130 and evening of 20240131.
flat_futn_volumes() {
  volumes_one "$1/bin/minutes/20240130/FUTN/SIH4/1.dat" 0 115959
  volumes_one "$1/bin/minutes/20240131/FUTN/SIH4/1.dat" 190000 235959
}

# Makes the last minute of the export file $1 one still forming, as an export written during
# the session can end: half its volume, its close halfway from its open to its close.
form_last_minute() {
  perl -e '
    open(my $f, "+<", $ARGV[0]) or die "$ARGV[0]: $!";
    binmode $f;
    seek($f, -48, 2) or die "no record";
    read($f, my $record, 48) == 48 or die "short record";
    my ($volume, $open, $high, $low, $close, $date, $time) = unpack("d<5 l<2", $record);
    die "volume $volume cannot be halved\n" if $volume < 2;
    $volume = int($volume / 2);
    $close = sprintf("%.2f", ($open + $close) / 2) + 0;
    seek($f, -48, 2);
    print $f pack("d<5 l<2", $volume, $open, $high, $low, $close, $date, $time);
    close($f) or die "$!";' "$1" || fail "cannot form the last minute of $1"
}

# With no minute interval that can tell, FUTN's export of 20240131 added when its last
# minute (23:00, or 01:00 past midnight) was still forming, then added again grown, counts
# that part once: the day, week and month candles equal those of adding the grown export
# in order, with the previous export's part after midnight kept.
grown_export_whose_last_minute_was_forming_counts_it_once() {
  local keys cuts cut grown a b n=0
  for cuts in 230000: 10000: 200000:10000; do
    cut=${cuts%%:*} grown=${cuts#*:}
    b=$work/b$n
    setup "$b"
    add_futn_export_grown "$b" "$grown"
    for keys in "day week month" "1441 day week month"; do
      n=$((n + 1))
      a=$work/a$n
      setup "$a"
      # shellcheck disable=SC2086
      set_intervals "$a" $keys
      local file=$a/bin/minutes/20240131/FUTN/SIH4/1.dat
      cp "$file" "$a/whole.dat"
      run_ok "$a" -a add -d 20240130
      cut_export_after "$file" "$cut"
      form_last_minute "$file"
      run_ok "$a" -a add -d 20240131
      cp "$a/whole.dat" "$file"
      [ -z "$grown" ] || cut_export_after "$file" "$grown"
      run_ok "$a" -a add -d 20240131
      slashed "$a/bin/Barsync.errors.log" | grep -q "SIH4" &&
        fail "the grown export ($keys, first part up to $cut) was refused"
      add_range "$a" 20240201 20240202
      # shellcheck disable=SC2086
      same_calendar_candles "$a" "$b" $keys
    done
  done
}

# Minute intervals only: FUTN's export of 20240131 added when it held its first minute or
# hour, then added again grown past midnight, gives every interval what adding the grown
# export in order gives. A 1439-minute slot holds the previous export's part after midnight
# beside the evening's start; it keeps that part whether a finer interval can tell the
# earlier add (1) or none can (1439 alone, or every newest candle in the export's first
# slot), and the stored minutes are counted once.
grown_add_past_midnight_with_minute_intervals_only_counts_once() {
  local keys cut a b code n=0
  for keys in "1 1439" "1439" "3 30 180 1439" "5 60"; do
    b=$work/b$n
    setup "$b"
    # shellcheck disable=SC2086
    set_intervals "$b" $keys
    add_futn_export_grown "$b" ""
    for cut in 190000 200000; do
      n=$((n + 1))
      a=$work/a$n
      setup "$a"
      # shellcheck disable=SC2086
      set_intervals "$a" $keys
      add_futn_export_in_two_parts "$a" "$cut" ""
      for code in $keys; do
        same_digests "$(interval_lines "$a" "$code" | grep SIH4)" \
          "$(interval_lines "$b" "$code" | grep SIH4)" \
          "interval $code ($keys, first part up to $cut) differs from the grown export added in order"
      done
    done
  done
}

# Raises every price of the records of export file $1 timed before $2 (HHMMSS) by 1%,
# volumes unchanged: an export sent again with corrected prices.
raise_prices_before() {
  perl -e '
    open(my $f, "+<", $ARGV[0]) or die "$ARGV[0]: $!";
    binmode $f;
    my $at = 0;
    while (read($f, my $record, 48) == 48) {
      my ($volume, @rest) = unpack("d<5 l<2", $record);
      if ($rest[5] < $ARGV[1]) {
        $rest[$_] = sprintf("%.2f", $rest[$_] * 1.01) + 0 for 0 .. 3;
        seek($f, $at, 0);
        print $f pack("d<5 l<2", $volume, @rest);
        seek($f, $at + 48, 0);
      }
      $at += 48;
    }
    close($f) or die "$!";' "$1" "$2" || fail "cannot raise the prices of $1"
}

# Minutes outside a class's window are passed over with a line: a file none of whose
# minutes reaches the window's start says that nothing is stored from it (FUTN's export of
# 20240131 cut to its first hour, all before 19:00), unless it holds the next date's
# minutes alone (the skip line of such a file), and at DebugLevel 2 every file that loses
# minutes to its window says how many (TQBR's exports start at 07:00, before 10:00).
minutes_outside_the_window_are_reported() {
  local a=$work/a
  setup "$a"
  sed -i 's/^DebugLevel=1/DebugLevel=2/' "$a/bin/Barsync.ini"
  local file=$a/bin/minutes/20240131/FUTN/SIH4/1.dat
  head -c $((60 * RECORD)) "$file" >"$file.part" && mv "$file.part" "$file"
  run_ok "$a" -a add -d 20240131
  log_has "$a" "FUTN/SIH4/1.dat: none of its 60 minutes reaches the start 190000 of the window 190000-020000 of class FUTN"
  slashed "$a/bin/Barsync.log" |
    grep -qE "TQBR/SBER/1.dat: [1-9][0-9]* minutes before and [1-9][0-9]* after the window 100000-184500 are passed over" ||
    fail "the main log does not count the minutes of TQBR/SBER outside its window"
  [ -e "$a/bin/archive/FUTN/SIH4.dat" ] && fail "a file with no minute inside its window made an archive"
  sed -i 's/^DebugLevel=2/DebugLevel=1/' "$a/bin/Barsync.ini"
  # An export of the part after midnight alone also lies before the window's start, yet
  # it is the file the skip line is for.
  keep_export_after_midnight "$a/bin/minutes/20240201/FUTN/SIH4/1.dat"
  fresh_logs "$a"
  run_ok "$a" -a add -d 20240201
  log_lacks "$a" "after the window 100000-184500 are passed over"
  log_lacks "$a" "reaches the start 190000"
  errors_has "$a" "FUTN/SIH4/1.dat is skipped: it holds no minute of 20240201, every minute is dated 20240202"
}

# Intervals 1 and 1439: after the previous export was added, it left the tree, or came
# back with other prices for its part after midnight (same volumes, so the day's volume
# still fits it). The part after midnight that the 1439-minute slot of 20240131 holds
# beside the evening's start is then one the tree no longer gives. A grown add of FUTN's
# export keeps it there from the 1-minute candles: every interval equals what adding in
# order gives.
grown_add_keeps_in_a_shared_slot_a_night_the_tree_no_longer_gives() {
  local a b=$work/b code previous
  setup "$b"
  set_intervals "$b" 1 1439
  add_futn_export_grown "$b" ""
  for previous in removed repriced; do
    a=$work/a-$previous
    setup "$a"
    set_intervals "$a" 1 1439
    local file=$a/bin/minutes/20240131/FUTN/SIH4/1.dat
    local prev=$a/bin/minutes/20240130/FUTN/SIH4/1.dat
    cp "$file" "$a/whole.dat"
    cp "$prev" "$a/prev.dat"
    run_ok "$a" -a add -d 20240130
    if [ "$previous" = removed ]; then rm "$prev"; else raise_prices_before "$prev" 120000; fi
    cut_export_after "$file" 200000
    run_ok "$a" -a add -d 20240131
    cp "$a/whole.dat" "$file"
    run_ok "$a" -a add -d 20240131
    cp "$a/prev.dat" "$prev"
    add_range "$a" 20240201 20240202
    for code in 1 1439; do
      same_digests "$(interval_lines "$a" "$code" | grep SIH4)" \
        "$(interval_lines "$b" "$code" | grep SIH4)" \
        "interval $code (previous export $previous) differs from the grown export added in order"
    done
  done
}

# Minute intervals only (5 and 60): the previous export left the tree, so its part after
# midnight that the archive holds is one the tree no longer gives. FUTN's export of
# 20240131 added when its second minute was still forming, then added grown past
# midnight: the newest candle is an earlier part of the export and is replaced (the
# forming minute counted once), the part after midnight stays in its own slots.
grown_add_after_a_forming_first_slot_beside_a_lost_night_counts_once() {
  local a=$work/a b=$work/b dir code
  for dir in "$a" "$b"; do
    setup "$dir"
    set_intervals "$dir" 5 60
    run_ok "$dir" -a add -d 20240130
    mv "$dir/bin/minutes/20240130/FUTN/SIH4/1.dat" "$dir/prev.dat"
  done
  local file=$a/bin/minutes/20240131/FUTN/SIH4/1.dat
  cp "$file" "$a/whole.dat"
  cut_export_after "$file" 190100
  form_last_minute "$file"
  run_ok "$a" -a add -d 20240131
  cp "$a/whole.dat" "$file"
  run_ok "$a" -a add -d 20240131
  run_ok "$b" -a add -d 20240131
  for code in 5 60; do
    same_digests "$(interval_lines "$a" "$code" | grep SIH4)" "$(interval_lines "$b" "$code" | grep SIH4)" \
      "interval $code differs from the grown export added in order"
  done
}

# With calendar intervals only: FUTN's export of 20240131 is added up to 23:00 after the
# whole export of 20240130, which is then inserted again cut before midnight. The day of
# 20240131 holds a part after midnight the tree no longer gives, ending with that first
# stretch of the export: an add of the export grown past midnight cannot tell the stretch
# from a night that ends as it does, so it is refused with a line in the errors log and
# changes nothing (extending the day would count the stretch twice). The recoveries the
# line names: the previous date inserted again whole, then the add (what adding in order
# gives); or an insert of the date (as the tree gives it). A stored night alone, ending
# otherwise, is extended.
grown_add_beside_a_night_the_tree_no_longer_gives_is_refused() {
  local a=$work/a b=$work/b c=$work/c d=$work/d e=$work/e f=$work/f dir before
  for dir in "$a" "$b" "$c" "$d" "$e" "$f"; do
    setup "$dir"
    set_intervals "$dir" day week month
    cp "$dir/bin/minutes/20240131/FUTN/SIH4/1.dat" "$dir/whole31.dat"
  done
  local day30=minutes/20240130/FUTN/SIH4/1.dat day31=minutes/20240131/FUTN/SIH4/1.dat
  run_ok "$a" -a add -d 20240130
  cut_export_after "$a/bin/$day31" 230000
  run_ok "$a" -a add -d 20240131
  cut_export_after "$a/bin/$day30" 230000
  [ -s "$a/bin/$day30" ] || fail "the export of 20240130 has no minute of 23:00"
  run_ok "$a" -a insert -d 20240130
  cp "$a/whole31.dat" "$a/bin/$day31"
  before=$(digests "$a" FUTN)
  run_ok "$a" -a add -d 20240131
  errors_has "$a" "archive/FUTN/SIH4.dat: the stored day 20240131 holds minutes the minute tree no longer gives and may end with a part of"
  same_digests "$before" "$(digests "$a" FUTN)" "the refused add changed the archive"
  cp "$a/bin/archive/FUTN/SIH4.dat" "$a/refused.dat"
  run_ok "$a" -a insert -d 20240131
  cut_export_after "$b/bin/$day30" 230000
  add_range "$b" 20240130 20240131
  same_calendar_candles "$a" "$b" "day week month, inserted after the refusal"

  # the same refused state; the previous export put back whole and inserted, then the add
  cp "$e/bin/$day30" "$e/whole30.dat"
  cp "$a/refused.dat" "$e/bin/archive/FUTN/SIH4.dat"
  run_ok "$e" -a insert -d 20240130
  run_ok "$e" -a add -d 20240131
  add_range "$f" 20240130 20240131
  same_digests "$(interval_lines "$e" -1)" "$(interval_lines "$f" -1)" \
    "the day candles after the previous date inserted again whole differ from adding in order"
  for code in -2 -3; do
    same_digests "$(interval_lines "$e" "$code" | grep SIH4)" "$(interval_lines "$f" "$code" | grep SIH4)" \
      "interval $code of FUTN/SIH4 after the previous date inserted again whole differs"
  done

  run_ok "$c" -a add -d 20240130
  cut_export_after "$c/bin/$day30" 230000
  run_ok "$c" -a insert -d 20240130
  fresh_logs "$c"
  run_ok "$c" -a add -d 20240131
  slashed "$c/bin/Barsync.errors.log" | grep -q "SIH4" && fail "the add onto a night alone was refused"
  add_range "$d" 20240130 20240131
  cut_export_after "$d/bin/$day30" 230000
  run_ok "$d" -a insert -d 20240130
  same_calendar_candles "$c" "$d" "day week month, a night alone extended"
}

# FUTN's export of 20240130 is in the tree but never added. The export of 20240131 is
# added when it holds as many minutes of its evening as that export's night (volume 1 a
# minute: the stored day has the night's volume), then added again grown: the first part
# is an earlier part of this export (its prices tell), replaced and counted once. With no
# minute interval that can tell, the day, week and month candles equal those of adding
# the grown export alone.
grown_export_with_the_volume_of_a_never_added_night_counts_once() {
  local a b c=$work/c keys n=0 night upto file
  setup "$c"
  set_intervals "$c" day
  flat_futn_volumes "$c"
  run_ok "$c" -a add -d 20240130
  night=$(csv "$c" FUTN/SIH4.dat -1 | awk -F, '$3 == 20240131 { print $9 + 0 }')
  [ -n "$night" ] && [ "$night" -gt 1 ] || fail "no night of 20240130 stored ($night)"
  for keys in "day week month" "1441 day week month"; do
    n=$((n + 1))
    a=$work/a$n b=$work/b$n
    for dir in "$a" "$b"; do
      setup "$dir"
      # shellcheck disable=SC2086
      set_intervals "$dir" $keys
      flat_futn_volumes "$dir"
    done
    run_ok "$b" -a add -d 20240131
    file=$a/bin/minutes/20240131/FUTN/SIH4/1.dat
    cp "$file" "$a/whole.dat"
    upto=$(launch - "$reader" --bare "$file" | tr -d '\r' | tail -n +2 |
      awk -F, -v n="$night" '$4 + 0 >= 190000 && ++k == n { print $4; exit }')
    cut_export_after "$file" "$upto"
    run_ok "$a" -a add -d 20240131
    cp "$a/whole.dat" "$file"
    run_ok "$a" -a add -d 20240131
    # shellcheck disable=SC2086
    same_calendar_candles "$a" "$b" $keys
  done
}

# With only calendar intervals, inserting a date that was never added (FUTN's 20240131,
# whose session, like the one before, runs past midnight) keeps the previous export's
# part after midnight (the day held it alone) and the next date's own day: the day, week
# and month candles are those of adding every date in order. A delete and an insert of
# that date give what they give with minute intervals.
calendar_only_insert_keeps_neighbouring_nights() {
  local a=$work/a b=$work/b code
  setup "$a"
  setup "$b"
  set_intervals "$a" day week month
  add_all "$a" 20240131
  run_ok "$a" -a insert -d 20240131
  add_all "$b"
  for code in -1 -2 -3; do
    same_digests "$(interval_lines "$a" "$code")" "$(interval_lines "$b" "$code")" \
      "interval $code after inserting a missing date differs from adding in order"
  done
  for dir in "$a" "$b"; do
    run_ok "$dir" -a delete -d 20240131
    run_ok "$dir" -a insert -d 20240131
  done
  for code in -1 -2 -3; do
    same_digests "$(interval_lines "$a" "$code")" "$(interval_lines "$b" "$code")" \
      "interval $code after a delete and an insert differs from that with minute intervals"
  done
}

# With only calendar intervals, FUTN's 20240131 (its night passes into 20240201) added and
# inserted again, while the export of 20240201 lies in the tree cut to its first two
# minutes and never added: the day of 20240201 stays the night alone, as before the insert.
calendar_only_reinsert_leaves_next_export_not_added_out() {
  local a=$work/a before
  setup "$a"
  set_intervals "$a" day week month
  add_range "$a" 20240130 20240131
  cut_export_after "$a/bin/minutes/20240201/FUTN/SIH4/1.dat" 190100
  before=$(interval_lines "$a" -1 | grep '^./FUTN/.*,20240201,')
  [ -n "$before" ] || fail "no day of 20240201 after adding 20240131"
  run_ok "$a" -a insert -d 20240131
  same_digests "$(interval_lines "$a" -1 | grep '^./FUTN/.*,20240201,')" "$before" \
    "the day of 20240201 took the never added export of that date"
}

# The candles of interval $2 of folder $1's TQBR archives (whose sessions end before
# midnight: a delete takes nothing of another export).
tqbr_lines() { interval_lines "$1" "$2" | grep '^./TQBR/'; }

# Week or month without a day interval beside minute intervals (1441, 1439 and month
# here; 1, 5 and week): the archive keeps a day interval, so a delete and an insert of a
# stored date recompute the month and week candles: the delete takes the day out of
# them, the insert puts it back once.
period_without_day_beside_minute_intervals_survives_delete_and_insert() {
  local a=$work/a b=$work/b c=$work/c keys code
  for keys in "1441 1439 month" "1 5 week"; do
    for dir in "$a" "$b" "$c"; do
      setup "$dir"
      # shellcheck disable=SC2086
      set_intervals "$dir" $keys
    done
    add_all "$a"
    add_all "$b" 20240201
    add_all "$c"
    log_has "$a" "TQBR/SBER.dat keeps a day interval in slot"
    run_ok "$a" -a delete -d 20240201
    for code in -2 -3; do
      same_digests "$(tqbr_lines "$a" "$code")" "$(tqbr_lines "$b" "$code")" \
        "interval $code ($keys) after a delete differs from never adding the date"
    done
    run_ok "$a" -a insert -d 20240201
    for code in -1 -2 -3; do
      same_digests "$(tqbr_lines "$a" "$code")" "$(tqbr_lines "$c" "$code")" \
        "interval $code ($keys) after a delete and an insert differs from adding in order"
    done
  done
}

# A minute interval of a whole day or more (1441 minutes: one candle per date, the first
# minute interval applied when there is no one-minute key) keeps the part after midnight
# that the previous export stored: each of its candles equals the day candle of its date.
day_long_minute_interval_keeps_after_midnight_part() {
  local a=$work/a b=$work/b code
  setup "$a"
  setup "$b"
  set_intervals "$a" 1441 7 day week month
  add_all "$a"
  add_all "$b"
  for code in -1 -2 -3; do
    same_digests "$(interval_lines "$a" "$code")" "$(interval_lines "$b" "$code")" \
      "interval $code differs from that of the sample's intervals"
  done
  same_digests "$(interval_lines "$a" 1441 -1)" "$(interval_lines "$b" -1)" \
    "the 1441-minute candles are not the day candles"
}

# Removes the first minute timed $2 from the export file $1.
drop_minute() {
  local index
  index=$(launch - "$reader" --bare "$1" | tr -d '\r' |
    awk -F, -v t="$2" 'NR > 1 && $4 + 0 == t + 0 { print NR - 2; exit }')
  [ -n "$index" ] && drop_record "$1" "$index"
}

# Removes the minute timed $2 from every export of FUTN/SIH4 of folder $1.
drop_futn_minute() {
  local f
  for f in "$1"/bin/minutes/*/FUTN/SIH4/1.dat; do drop_minute "$f" "$2"; done
}

# Keeps the minutes of export $1 up to and including the first one timed $2.
cut_export_after() {
  local file=$1 upto=$2 index
  index=$(launch - "$reader" --bare "$file" | tr -d '\r' | tail -n +2 |
    awk -F, -v t="$upto" '$4 + 0 == t + 0 { print NR; exit }')
  head -c $((index * 48)) "$file" >"$file.part" && mv "$file.part" "$file"
}

# Keeps of the export file $1 only its records from the first one dated another day than
# the first record (its part after midnight).
keep_export_after_midnight() {
  local file=$1 index
  index=$(launch - "$reader" --bare "$file" | tr -d '\r' | tail -n +2 |
    awk -F, 'NR == 1 { first = $3 } $3 != first { print NR - 1; exit }')
  [ -n "$index" ] || fail "$file never passes midnight"
  tail -c +$((index * 48 + 1)) "$file" >"$file.part" && mv "$file.part" "$file"
}

# Per archive and date, the summed volume of the candles of interval $2 of folder $1.
volumes_by_date() {
  interval_lines "$1" "$2" | awk -F, '{ v[$1 "," $4] += $10 } END { for (k in v) printf "%s,%d\n", k, v[k] }' |
    LC_ALL=C sort
}

# A minute interval just under a day (1439: slot 0 runs from 00:00 to 23:58) holds the
# end of an evening and the start of the next date in the same slot when no minute falls
# at 23:59: the part after midnight is still dated with the next date, never merged into
# the evening's candle. Each date's 1439-minute candles add up to its day candle, and the
# day, week and month candles (filled by the 1439-minute interval, the first applied) are
# those of the sample's intervals.
minute_slot_just_under_a_day_keeps_dates_apart() {
  local a=$work/a b=$work/b code
  setup "$a"
  setup "$b"
  drop_futn_minute "$a" 235900
  drop_futn_minute "$b" 235900
  set_intervals "$a" 1439 7 day week month
  add_all "$a"
  add_all "$b"
  for code in -1 -2 -3; do
    same_digests "$(interval_lines "$a" "$code")" "$(interval_lines "$b" "$code")" \
      "interval $code differs from that of the sample's intervals"
  done
  same_digests "$(volumes_by_date "$a" 1439)" "$(volumes_by_date "$b" -1)" \
    "the 1439-minute candles of a date do not add up to its day candle"
  csv "$a" FUTN/SIH4.dat 1439 | grep -q ',20240201,000000,' ||
    fail "FUTN has no 1439-minute candle of 20240201 00:00"
}

# A partial export of a day whose session passes midnight (up to 00:05 of the next date)
# inserted again leaves the 1441-minute candle of the next date with those minutes alone,
# while the 2-minute interval keeps the rest of that night. Adding the next date takes the
# stored night from the finest interval that holds it: the day, week and month candles
# (filled by the 1441-minute interval, the first applied) are those of adding every date.
add_after_partial_reinsert_takes_night_from_finest_interval() {
  local a=$work/a b=$work/b code d
  setup "$a"
  setup "$b"
  set_intervals "$a" 1441 2 day week month
  add_range "$a" 20240101 20240131
  cut_export_after "$a/bin/minutes/20240131/FUTN/SIH4/1.dat" 500
  run_ok "$a" -a insert -d 20240131
  add_range "$a" 20240201 20991231
  add_all "$b"
  for code in -1 -2 -3; do
    same_digests "$(interval_lines "$a" "$code")" "$(interval_lines "$b" "$code")" \
      "interval $code differs from that of adding every date"
  done
  d=$(csv "$a" FUTN/SIH4.dat 1441 | grep -c ',20240201,000000,')
  [ "$d" = 1 ] || fail "FUTN has $d 1441-minute candles of 20240201"
}

# With only week and month intervals, adding a date of a held week again (an export
# re-sent, or grown) must not widen the week and month by that day a second time: the
# archive keeps a day interval to know which days they hold, and the week and month
# candles end as those of the sample's intervals.
week_month_only_readd_keeps_candles() {
  local a=$work/a b=$work/b code d
  setup "$a"
  setup "$b"
  set_intervals "$a" week month
  for d in $(dates); do
    run_ok "$a" -a add -d "$d"
    [ "$d" = 20240227 ] && run_ok "$a" -a add -d "$d"
  done
  add_all "$b"
  for code in -2 -3; do
    same_digests "$(interval_lines "$a" "$code")" "$(interval_lines "$b" "$code")" \
      "interval $code of week/month-only archives differs from that of the sample's intervals"
  done
  log_has "$a" "TQBR/SBER.dat keeps a day interval in slot 2: week and month candles need it"
  run_ok "$a" -a delete -d 20240304
  run_ok "$b" -a delete -d 20240304
  for code in -2 -3; do
    same_digests "$(interval_lines "$a" "$code")" "$(interval_lines "$b" "$code")" \
      "interval $code after a delete differs from that of the sample's intervals"
  done
}

delete_stored_day() {
  local a=$work/a b=$work/b
  setup "$a"
  setup "$b"
  add_range "$a" 20240226 20240304
  run_ok "$a" -a delete -d 20240227
  log_has "$a" "  [date]    = 20240227"
  add_range "$b" 20240226 20240304 20240227
  same_digests "$(digests "$a" TQBR CETS)" "$(digests "$b" TQBR CETS)" \
    "deleting a stored day differs from never adding it"
  csv "$a" FUTN/SIH4.dat | grep -q ',20240227,' && fail "FUTN keeps candles dated 20240227"
}

delete_unknown_day() {
  local a=$work/a
  setup "$a"
  add_all "$a" 20240227
  local before
  before=$(digests "$a" TQBR CETS)
  run_ok "$a" -a delete -d 20240227
  # (FUTN holds candles dated 20240227: the night of the 26th, which the delete takes.)
  same_digests "$(digests "$a" TQBR CETS)" "$before" "deleting a day that is not stored changed archives"
  log_has "$a" "  [date]    = 20240227  - archives "
  log_has "$a" "TQBR/SBER.dat don't contain this data(m_Interval = 1)"
}

delete_only_day_of_newest_month() {
  local a=$work/a b=$work/b d
  setup "$a"
  setup "$b"
  add_range "$a" 20240202 20240301
  add_range "$b" 20240202 20240229
  local months
  months=$(csv "$a" TQBR/SBER.dat -3 | tail -n +2 | wc -l)
  [ "$months" = 2 ] || fail "expected two month candles before the delete, found $months"
  run_ok "$a" -a delete -d 20240301
  same_digests "$(digests "$a" TQBR CETS)" "$(digests "$b" TQBR CETS)" \
    "deleting the only day of March differs from never adding it"
  months=$(csv "$a" TQBR/SBER.dat -3 | tail -n +2 | cut -d, -f3 | tr '\n' ' ')
  [ "$months" = "20240201 " ] || fail "month candles after the delete: $months"
}

conversion_then_already_exists() {
  local a=$work/a
  setup "$a" empty
  (cd "$a/bin" && launch "$a/gen.txt" "$gen" --legacy archive) || fail "the generator failed"
  local legacy_minutes=$(($(stat -c %s "$a/bin/archive/LEGACY/OLDSEC/1.dat") / 48))
  run_ok "$a" -a conversion
  [ -f "$a/bin/archive/LEGACY/OLDSEC.dat" ] || fail "no converted archive"
  [ -e "$a/bin/archive/LEGACY/OLDSEC" ] && fail "the interval directory is still there"
  local slots
  slots=$(csv "$a" LEGACY/OLDSEC.dat | sed -n '2,7p' | tr '\n' ' ')
  [ "$slots" = "0,1,$legacy_minutes 1,5,0 2,60,16 3,-1,10 4,-3,0 5,-2,0 " ] || fail "slots: $slots"
  local before
  before=$(sha256sum <"$a/bin/archive/LEGACY/OLDSEC.dat")
  (cd "$a/bin" && launch "$a/gen.txt" "$gen" --legacy archive) || fail "the generator failed"
  run_ok "$a" -a conversion
  log_has "$a" "OLDSEC.dat already exist, reorganization not produce."
  [ "$(sha256sum <"$a/bin/archive/LEGACY/OLDSEC.dat")" = "$before" ] || fail "the archive changed"
  [ -d "$a/bin/archive/LEGACY/OLDSEC" ] || fail "the interval directory was removed"
}

# Digests of every file of the legacy class folder of $1.
legacy_digests() { (cd "$1/bin/archive" && find LEGACY -type f -exec sha256sum {} + | LC_ALL=C sort); }

# A legacy directory holding a record that is not a usable candle is reported and kept as it
# is; no archive is written (it would be refused by every later run).
conversion_keeps_damaged_legacy_directory() {
  local a=$work/a
  setup "$a" empty
  (cd "$a/bin" && launch "$a/gen.txt" "$gen" --legacy archive) || fail "the generator failed"
  local before
  before=$(legacy_digests "$a")
  poke "$a/bin/archive/LEGACY/OLDSEC/60.dat" $((3 * RECORD + OPEN)) "$NAN"
  local spoilt
  spoilt=$(legacy_digests "$a")
  [ "$before" != "$spoilt" ] || fail "the legacy file was not changed"
  run_ok "$a" -a conversion
  [ -e "$a/bin/archive/LEGACY/OLDSEC.dat" ] && fail "an archive was written from damaged data"
  [ "$(legacy_digests "$a")" = "$spoilt" ] || fail "the legacy directory changed"
  errors_has "$a" "OLDSEC/60.dat contains errors: record 3 (date "
  errors_has "$a" "OLDSEC is not converted and is kept as it is"
}

classes_filter() {
  local a=$work/a
  setup "$a"
  printf '[Classes]\nTQBR=SBER, GAZP\nCETS=ALL\n' >>"$a/bin/Barsync.ini"
  run_ok "$a" -a add -d 20240226
  local files
  files=$(archive_files "$a")
  [ "$files" = "./CETS/USD000UTSTOM.dat ./TQBR/GAZP.dat ./TQBR/SBER.dat " ] || fail "archives: $files"
  [ -e "$a/bin/archive/FUTN" ] && fail "the class FUTN was entered"
  log_has "$a" "Total number of archives processed by the utility: 3"
}

replicate_classes_filter() {
  local a=$work/a
  setup "$a"
  printf '[ReplicateClasses]\nCETS=\nTQBR=LKOH\n' >>"$a/bin/Barsync.ini"
  run_ok "$a" -a add -d 20240226
  local files
  files=$(archive_files "$a")
  [ "$files" = "./CETS/USD000UTSTOM.dat ./TQBR/LKOH.dat " ] || fail "archives: $files"
  log_has "$a" "Total number of archives processed by the utility: 2"
}

time_windows() {
  local a=$work/a
  setup "$a"
  run_ok "$a" -a add -d 20240226
  local first last
  first=$(csv "$a" TQBR/SBER.dat 1 | sed -n 2p | cut -d, -f3,4)
  last=$(csv "$a" TQBR/SBER.dat 1 | tail -n 1 | cut -d, -f3,4)
  [ "$first" = "20240226,100000" ] || fail "TQBR starts at $first"
  [ "$last" = "20240226,184500" ] || fail "TQBR ends at $last"
  first=$(csv "$a" FUTN/SIH4.dat 1 | sed -n 2p | cut -d, -f3,4)
  last=$(csv "$a" FUTN/SIH4.dat 1 | tail -n 1 | cut -d, -f3,4)
  [ "$first" = "20240226,190000" ] || fail "FUTN starts at $first"
  [ "$last" = "20240227,020000" ] || fail "FUTN ends at $last"
  local days
  days=$(csv "$a" FUTN/SIH4.dat -1 | tail -n +2 | cut -d, -f3 | tr '\n' ' ')
  [ "$days" = "20240226 20240227 " ] || fail "FUTN day candles: $days"
  first=$(csv "$a" CETS/USD000UTSTOM.dat 1 | sed -n 2p | cut -d, -f4)
  [ "$first" = "100000" ] || fail "CETS starts at $first"
}

damaged_archive_left_untouched() {
  local a=$work/a
  setup "$a"
  run_ok "$a" -a add -d 20240226
  local arch=$a/bin/archive/TQBR
  printf 'xxxxx' >>"$arch/GAZP.dat"
  # Record 20 (the fifth one-minute candle) loses its date.
  printf '\0\0\0\0' | dd of="$arch/SBER.dat" bs=1 seek=$((20 * 48 + 40)) conv=notrunc 2>/dev/null
  local gazp sber
  gazp=$(sha256sum <"$arch/GAZP.dat")
  sber=$(sha256sum <"$arch/SBER.dat")
  run_ok "$a" -a add -d 20240227
  [ "$(sha256sum <"$arch/GAZP.dat")" = "$gazp" ] || fail "the damaged GAZP.dat was changed"
  [ "$(sha256sum <"$arch/SBER.dat")" = "$sber" ] || fail "the damaged SBER.dat was changed"
  log_has "$a" "TQBR/GAZP.dat contains errors: Invalid file size"
  log_has "$a" "TQBR/SBER.dat contains errors: Interval='1' (index=4, internal index=20), Date=0, Open="
  log_has "$a" "Number of corrupted archives: 2"
  log_has "$a" "Total number of archives processed by the utility: 5"
  csv "$a" TQBR/LKOH.dat -1 | grep -q '^-1,1,20240227,' || fail "LKOH did not get 20240227"
}

invalid_directory_structure() {
  local a=$work/a
  setup "$a"
  mkdir -p "$a/bin/minutes/20240226/TQBR/GAZP/extra"
  run_ok "$a" -a add -d 20240226
  errors_has "$a" "Invalid directory structure 20240226/TQBR/GAZP"
  local files
  files=$(archive_files "$a")
  [ "$files" = "./CETS/USD000UTSTOM.dat ./FUTN/SIH4.dat ./TQBR/LKOH.dat ./TQBR/SBER.dat " ] ||
    fail "archives: $files"
}

# A minute record emptied by the exporter (date and time kept) and one whose low lies
# above its high are skipped with a line each; the rest of their days is stored, exactly
# as if those records were not in the files, and the archives stay usable for every later
# action.
unusable_minutes_skipped_archive_stays_usable() {
  local a=$work/a b=$work/b dir
  setup "$a"
  setup "$b"
  local f1=minutes/20240131/TQBR/SBER/1.dat f2=minutes/20240201/TQBR/SBER/1.dat
  poke "$a/bin/$f1" $((200 * RECORD)) "$(printf '\\x00%.0s' $(seq 40))"
  poke "$a/bin/$f2" $((300 * RECORD + LOW)) '\x00\x00\x00\x00\x00\x88\xc3\x40'  # 10000
  drop_record "$b/bin/$f1" 200
  drop_record "$b/bin/$f2" 300
  for dir in "$a" "$b"; do add_range "$dir" 20240130 20240202; done
  errors_has "$a" "Minute record 200 (date 20240131, time 103900) of "
  errors_has "$a" "TQBR/SBER/1.dat is skipped: all values are zero"
  errors_has "$a" "Minute record 300 (date 20240201, time "
  errors_has "$a" "20240201/TQBR/SBER/1.dat is skipped: the low is above the high"
  log_lacks "$a" "contains errors"
  same_digests "$(digests "$a")" "$(digests "$b")" \
    "skipping the bad minutes differs from exports without them"
  local low
  low=$(csv "$a" TQBR/SBER.dat -1 | awk -F, '$3 == 20240131 { print $7 }')
  awk -v l="$low" 'BEGIN { exit !(l > 200) }' || fail "the day low of 20240131 is $low"
  for dir in "$a" "$b"; do
    fresh_logs "$dir"
    run_ok "$dir" -a delete -d 20240131
    run_ok "$dir" -a insert -d 20240131
    run_ok "$dir" -a test
  done
  log_lacks "$a" "contains errors"
  log_has "$a" "Number of corrupted archives: 0"
  same_digests "$(digests "$a")" "$(digests "$b")" \
    "delete and insert of the day with a skipped minute differ from exports without it"
}

# NaN and infinite values in minute records never reach an archive: those minutes are
# skipped as not finite, and the archives equal those made from files without them.
non_finite_minutes_never_reach_archive() {
  local a=$work/a b=$work/b dir i
  setup "$a"
  setup "$b"
  local f=minutes/20240131/TQBR/SBER/1.dat
  poke "$a/bin/$f" $((250 * RECORD + CLOSE)) "$NAN"
  poke "$a/bin/$f" $((260 * RECORD + VOLUME)) "$INF"
  poke "$a/bin/$f" $((270 * RECORD + HIGH)) "$NEG_INF"
  for i in 270 260 250; do drop_record "$b/bin/$f" "$i"; done
  for dir in "$a" "$b"; do add_range "$dir" 20240130 20240201; done
  for i in 250 260 270; do errors_has "$a" "Minute record $i (date 20240131, time "; done
  errors_has "$a" "TQBR/SBER/1.dat is skipped: a value is not a finite number"
  same_digests "$(digests "$a")" "$(digests "$b")" \
    "skipping the non-finite minutes differs from exports without them"
  csv "$a" TQBR/SBER.dat | grep -qi 'nan\|inf' && fail "a stored candle holds a non-finite value"
  fresh_logs "$a"
  run_ok "$a" -a test
  log_has "$a" "Number of corrupted archives: 0"
}

# Impossible dates inside archives (a week candle dated -2147483647, a day candle dated
# 2147483646) are damage: add, insert, delete and test report them without any calendar
# arithmetic on them, count the archives as corrupted and leave them byte for byte; a
# minute record with an impossible date is skipped.
hostile_dates_are_damage() {
  local a=$work/a rec
  setup "$a"
  add_range "$a" 20240130 20240131
  rec=$(first_record "$a" TQBR/SBER.dat -2)
  poke "$a/bin/archive/TQBR/SBER.dat" $((rec * RECORD + DATE_FIELD)) "$(le32 -2147483647)"
  rec=$(first_record "$a" TQBR/GAZP.dat -1)
  poke "$a/bin/archive/TQBR/GAZP.dat" $(((rec + 1) * RECORD + DATE_FIELD)) "$(le32 2147483646)"
  poke "$a/bin/minutes/20240202/TQBR/LKOH/1.dat" $((100 * RECORD + DATE_FIELD)) \
    "$(le32 2147483647)"
  local before
  before=$(digests "$a" TQBR/SBER.dat TQBR/GAZP.dat)
  local action
  for action in "add -d 20240202" "insert -d 20240130" "delete -d 20240131" "addlast"; do
    fresh_logs "$a"
    # shellcheck disable=SC2086
    run_ok "$a" -a $action
    log_has "$a" "TQBR/SBER.dat contains errors: Interval='week' (index=0, internal index="
    log_has "$a" "Date=-2147483647, Open="
    log_has "$a" "TQBR/GAZP.dat contains errors: Interval='day' (index=1, internal index="
    log_has "$a" "Date=2147483646, Open="
    log_has "$a" "(not a usable candle: the date is not a real date)"
    case $action in add* | insert*) log_has "$a" "Number of corrupted archives: 2" ;; esac
    if [ "$action" = "add -d 20240202" ]; then
      errors_has "$a" "Minute record 100 (date 2147483647, time "
      errors_has "$a" "20240202/TQBR/LKOH/1.dat is skipped: the date is not a real date"
    fi
    log_has "$a" " Barsync finished"
    same_digests "$(digests "$a" TQBR/SBER.dat TQBR/GAZP.dat)" "$before" \
      "a damaged archive was changed by $action"
  done
  csv "$a" TQBR/LKOH.dat -1 | grep -q '^-1,[0-9]*,20240202,' || fail "LKOH did not get 20240202"
  fresh_logs "$a"
  run_ok "$a" -a test
  log_has "$a" "Number of corrupted archives: 2"
}

# More than 16 [Intervals] keys: the keys past the sixteenth take the slots that commented
# keys left unused, and the one line about the rest names exactly the keys that are never
# used; no archive is told later that it lacks an interval.
intervals_past_sixteen_line_tells_what_happens() {
  local a=$work/a slots d
  setup "$a"
  sed -i '/^\[Intervals\]/,/^$/d' "$a/bin/Barsync.ini"
  printf '[Intervals]\n' >>"$a/bin/Barsync.ini"
  for d in 1 //5 2 3 //15 4 6 7 8 9 10 11 12 day week month 20 30 45; do
    printf '%s=3000\n' "$d" >>"$a/bin/Barsync.ini"
  done
  run_ok "$a" -a add -d 20240130
  run_ok "$a" -a add -d 20240131
  errors_has "$a" "Only 16 intervals fit in an archive: 1 keys of [Intervals] are ignored: 45"
  slashed "$a/bin/Barsync.errors.log" | grep -q "Error replicating" && fail "an interval failed"
  log_lacks "$a" "has no interval"
  slots=$(csv "$a" TQBR/SBER.dat | sed -n '2,17p' | cut -d, -f2 | tr '\n' ' ')
  [ "$slots" = "1 20 2 3 30 4 6 7 8 9 10 11 12 -1 -2 -3 " ] || fail "slots: $slots"
  for d in 20 30; do
    [ "$(csv "$a" TQBR/SBER.dat "$d" | tail -n +2 | cut -d, -f3 | sort -u | tr '\n' ' ')" = \
      "20240130 20240131 " ] || fail "interval $d does not hold both dates"
  done
}

# The level-0 and level-1 lines of a scripted series of runs, compared with the expected
# text (time stamps, ids and the folder masked).
scripted_run_log_lines() {
  local a=$work/a
  setup "$a"
  run_ok "$a" -a add -d 20240130
  run_ok "$a" -a add -d 20240130
  run_ok "$a" -a add -d 20240201
  run_ok "$a" -a insert -d 20240131
  run_ok "$a" -a delete -d 20240131
  run_ok "$a" -a delete -d 20240131
  run_ok "$a" -a addlast
  run_ok "$a" -a add -d 20991231
  printf 'xx' >>"$a/bin/archive/TQBR/GAZP.dat"
  run_ok "$a" -a add -d 20240202
  (cd "$a/bin" && launch "$a/gen.txt" "$gen" --legacy archive) || fail "the generator failed"
  run_ok "$a" -a conversion
  (cd "$a/bin" && launch "$a/gen.txt" "$gen" --legacy archive) || fail "the generator failed"
  run_ok "$a" -a conversion
  run "$a" -a nothing
  [ "$rc" = 0 ] || fail "an unknown action exited with $rc"
  masked_log "$a" >"$work/scripted_run.log"
  diff -u "$expected/scripted_run.log" "$work/scripted_run.log" || fail "the main log differs"
}

# The Windows build's sample tree against that of a native build (NATIVE_BUILD: its
# build folder), byte for byte: the minute export trees and the archive trees.
same_trees_as_native() {
  local a=$work/a b=$work/b
  setup "$a"
  add_all "$a"
  run_ok "$a" -a addlast
  rm -rf "$b"
  mkdir -p "$b/bin/archive"
  cp "$NATIVE_BUILD/app/Barsync" "$src/tools/Barsync.sample.ini" "$b/bin/"
  mv "$b/bin/Barsync.sample.ini" "$b/bin/Barsync.ini"
  (cd "$b/bin" && "$NATIVE_BUILD/tools/gen_minute_tree" minutes) || fail "the native generator failed"
  local d
  for d in $(dates) last; do
    if [ "$d" = last ]; then set -- -a addlast; else set -- -a add -d "$d"; fi
    (cd "$b/bin" && ./Barsync "$@" >/dev/null 2>&1 </dev/null)
    [ $? = 1 ] || fail "native Barsync $* failed"
  done
  diff -r "$a/bin/minutes" "$b/bin/minutes" >/dev/null || fail "the minute export trees differ"
  diff -r -x Barsync.lock "$a/bin/archive" "$b/bin/archive" || fail "the archive trees differ"
}

# A scenario whose function is missing (a name mistyped or lost in an edit) must not pass.
declare -F "$scenario" >/dev/null || fail "no scenario named $scenario"
"$scenario"
finish "$scenario"
