#!/usr/bin/env bash
# One end-to-end scenario of Barsync's actions rebuild, test, changelot and changeprice.
# usage: scenarios.sh SCENARIO BARSYNC GEN READER WORK SOURCE_DIR [EMULATOR]
# BARSYNC, GEN (tools/gen_minute_tree) and READER (tools/archive_csv) are the built
# programs; EMULATOR is wine for the Windows build. Exit code 0 when every check held.
set -u
scenario=$1 barsync=$2 gen=$3 reader=$4 work=$5 src=$6 emulator=${7:-}
# shellcheck source=../sample_harness.sh
source "$src/tests/sample_harness.sh"

# Removes the logs of folder $1, so that the checks see the next run alone.
fresh_logs() { rm -f "$1/bin/Barsync.log" "$1/bin/Barsync.errors.log"; }

add_dates() {
  local dir=$1 d
  shift
  for d in "$@"; do run_ok "$dir" -a add -d "$d"; done
}

# Archive file $2 of folder $1 as CSV (only interval $3 when given); a bare file with --bare.
csv() { (cd "$1/bin" && launch - "$reader" "archive/$2" ${3:+"$3"} | tr -d '\r'); }
bare_csv() { (cd "$1/bin" && launch - "$reader" --bare "$2" | tr -d '\r'); }
digests() { (cd "$1/bin/$2" && find . -type f ! -name Barsync.lock | LC_ALL=C sort | xargs -r sha256sum); }

# Log files with Windows separators turned into "/" and without carriage returns.
main_log() { tr -d '\r' <"$1/bin/Barsync.log" | tr '\\' '/'; }
errors_log() { tr -d '\r' <"$1/bin/Barsync.errors.log" 2>/dev/null | tr '\\' '/'; }
log_has() { main_log "$1" | grep -qF -- "$2" || fail "the main log lacks: $2"; }
log_lacks() { main_log "$1" | grep -qF -- "$2" && fail "the main log has: $2"; }
errors_has() { errors_log "$1" | grep -qF -- "$2" || fail "the errors log lacks: $2"; }
# Number of main-log lines that end with $2.
log_count() { main_log "$1" | grep -cF -- "$2"; }
log_count_is() {
  local n
  n=$(log_count "$1" "$2")
  [ "$n" = "$3" ] || fail "the main log has $n lines with '$2', not $3"
}

same() {
  [ "$1" = "$2" ] || {
    fail "$3"
    diff <(echo "$1") <(echo "$2") | head -10
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
readonly RECORD=48 TIME_FIELD=44 DATE_FIELD=40
readonly ZERO8='\x00\x00\x00\x00\x00\x00\x00\x00'
readonly F14='\x00\x00\x00\x00\x00\x00\x2c\x40' F15='\x00\x00\x00\x00\x00\x00\x2e\x40'

# Candle $3 of interval 1 of archive $2 in folder $1 as the values the test action writes:
# "Date=..., Open=..., High=..., Low=..., Close=..., Volume=..." truncated toward zero.
candle_text() {
  csv "$1" "$2" 1 | awk -F, -v i="$3" '$2 == i {
    printf "Date=%d, Open=%d, High=%d, Low=%d, Close=%d, Volume=%d\n", $3, $5, $6, $7, $8, $9 }'
}

# --- rebuild ---

# The archive tree of folder $1 rebuilt must equal that of folder $2 made by adding the
# dates one by one with the same settings.
rebuilt_equals_added() {
  add_dates "$2" $(dates)
  run_ok "$1" -a rebuild
  same "$(digests "$1" archive)" "$(digests "$2" archive)" \
    "the rebuilt archives differ from those added date by date"
  # The action reads "rebuild" again afterwards: no summary, but the closing line.
  log_lacks "$1" "Total number of archives processed"
  log_has "$1" " Barsync finished"
}

rebuild_without_classes() {
  local a=$work/a b=$work/b
  setup "$a"
  setup "$b"
  rebuilt_equals_added "$a" "$b"
  log_count_is "$a" "Adding class TQBR" 1
  log_count_is "$a" "Adding class FUTN" 1
  log_count_is "$a" "Adding class CETS" 1
  log_has "$a" "  TQBR = GAZP,LKOH,SBER"
  [ -s "$a/bin/archive/TQBR/LKOH.dat" ] || fail "LKOH was not rebuilt"
}

# Class NEWC has security A on the first date only and B on the second only.
rebuild_all_class_across_dates() {
  local a=$work/a b=$work/b dir d1 d2
  d1=$(dates | sed -n 1p)
  d2=$(dates | sed -n 2p)
  for dir in "$a" "$b"; do
    setup "$dir"
    mkdir -p "$dir/bin/minutes/$d1/NEWC/A" "$dir/bin/minutes/$d2/NEWC/B" "$dir/bin/minutes/backup/NEWC/C"
    cp "$dir/bin/minutes/$d1/TQBR/SBER/1.dat" "$dir/bin/minutes/$d1/NEWC/A/"
    cp "$dir/bin/minutes/$d2/TQBR/GAZP/1.dat" "$dir/bin/minutes/$d2/NEWC/B/"
    cp "$dir/bin/minutes/$d2/TQBR/GAZP/1.dat" "$dir/bin/minutes/backup/NEWC/C/"
    settings "$dir" "[Classes]" "NEWC=ALL"
  done
  rebuilt_equals_added "$a" "$b"
  log_has "$a" "  NEWC = A,B"
  same "$(cd "$a/bin/archive" && find . -type f ! -name Barsync.lock | LC_ALL=C sort | tr '\n' ' ')" \
    "./NEWC/A.dat ./NEWC/B.dat " "only A and B of NEWC are rebuilt"
  log_lacks "$a" "Adding class"
}

rebuild_explicit_list() {
  local a=$work/a b=$work/b dir
  for dir in "$a" "$b"; do
    setup "$dir"
    settings "$dir" "[Classes]" "TQBR=SBER, GAZP"
  done
  rebuilt_equals_added "$a" "$b"
  log_has "$a" "  TQBR = SBER, GAZP"
  same "$(cd "$a/bin/archive" && find . -type f ! -name Barsync.lock | LC_ALL=C sort | tr '\n' ' ')" \
    "./TQBR/GAZP.dat ./TQBR/SBER.dat " "only the listed securities are rebuilt"
}

rebuild_all_with_nothing_exported() {
  local a=$work/a
  setup "$a"
  settings "$a" "[Classes]" "EMPTY=ALL"
  run_ok "$a" -a rebuild
  main_log "$a" | grep -q '  EMPTY = $' || fail "the main log lacks the empty list of EMPTY"
  [ -d "$a/bin/archive/EMPTY" ] || fail "the class directory EMPTY was not made"
  [ -z "$(find "$a/bin/archive" -type f ! -name Barsync.lock)" ] || fail "something was rebuilt"
  log_has "$a" " Barsync finished"
}

# --- test ---

test_findings_and_counters() {
  local a=$work/a arch d1 d2 gazp lkoh usd
  setup "$a"
  d1=$(dates | sed -n 1p)
  d2=$(dates | sed -n 2p)
  add_dates "$a" "$d1" "$d2"
  arch=$a/bin/archive
  cp "$arch/FUTN/SIH4.dat" "$arch/TQBR/copy.bak"  # any name in a class folder is tested
  echo loose >"$arch/loose.dat"                   # a file in the root is not
  head -c $((48017 * RECORD)) /dev/zero >"$arch/TQBR/big.dat"  # past the working buffer
  gazp=$(candle_text "$a" TQBR/GAZP.dat 5 | sed 's/Date=[0-9]*,/Date=0,/')
  lkoh=$(for i in 14 15 16; do candle_text "$a" TQBR/LKOH.dat $i; done)
  usd=$(candle_text "$a" CETS/USD000UTSTOM.dat 9)
  poke "$arch/TQBR/SBER.dat" $((2 * RECORD + TIME_FIELD)) "$(le32 3001)"
  poke "$arch/TQBR/GAZP.dat" $((21 * RECORD + DATE_FIELD)) "$(le32 0)"
  for i in 30 31 32; do poke "$arch/TQBR/LKOH.dat" $((i * RECORD)) "$ZERO8"; done
  poke "$arch/CETS/USD000UTSTOM.dat" $((25 * RECORD)) "$ZERO8$ZERO8$ZERO8$ZERO8$ZERO8"
  fresh_logs "$a"
  run_ok "$a" -a test
  log_has "$a" "archive/TQBR/SBER.dat contains errors: Invalid candle count 3001 in interval '60'"
  log_count_is "$a" "SBER.dat contains errors" 1
  log_has "$a" "archive/TQBR/GAZP.dat contains errors: Interval='1' (index=5, internal index=21), $gazp"
  log_count_is "$a" "GAZP.dat contains" 1
  local i=14 line
  while read -r line; do
    log_has "$a" "archive/TQBR/LKOH.dat contains zero volume: Interval='1' (index=$i, internal index=$((i + 16))), ${line%Volume=*}Volume=0"
    i=$((i + 1))
  done <<<"$lkoh"
  log_count_is "$a" "LKOH.dat contains zero volume" 3
  log_has "$a" "archive/CETS/USD000UTSTOM.dat contains errors: Interval='1' (index=9, internal index=25), ${usd%%, Open*}, Open=0, High=0, Low=0, Close=0, Volume=0"
  log_has "$a" "Archive is: "
  log_lacks "$a" "loose.dat"
  log_has "$a" "archive/TQBR/copy.bak"
  log_lacks "$a" "copy.bak contains"
  log_lacks "$a" "FUTN/SIH4.dat contains"
  log_has "$a" "archive/TQBR/big.dat contains errors: Invalid file size 2304816, above 2304768 bytes"
  log_has "$a" "Total number of archives processed by the utility: 7"
  log_has "$a" "Number of corrupted archives: 4"
  log_has "$a" "Number of archives containing zero volume: 1"
  log_has "$a" " Barsync finished"
}

# A stored NaN or infinite value is damage: the test action names the record and counts the
# archive as corrupted, and adding a date leaves such archives byte for byte.
test_counts_non_finite_candle_as_corrupted() {
  local a=$work/a arch before
  setup "$a"
  add_dates "$a" $(dates | sed -n 1,2p)
  arch=$a/bin/archive
  poke "$arch/TQBR/SBER.dat" $((20 * RECORD + 32)) '\x00\x00\x00\x00\x00\x00\xf8\x7f'
  poke "$arch/TQBR/GAZP.dat" $((22 * RECORD)) '\x00\x00\x00\x00\x00\x00\xf0\x7f'
  poke "$arch/CETS/USD000UTSTOM.dat" $((23 * RECORD + 16)) '\x00\x00\x00\x00\x00\x00\xf0\xff'
  before=$(digests "$a" archive)
  fresh_logs "$a"
  run_ok "$a" -a test
  log_has "$a" "archive/TQBR/SBER.dat contains errors: Interval='1' (index=4, internal index=20)"
  log_has "$a" "archive/TQBR/GAZP.dat contains errors: Interval='1' (index=6, internal index=22)"
  log_has "$a" "archive/CETS/USD000UTSTOM.dat contains errors: Interval='1' (index=7, internal index=23)"
  log_count_is "$a" "(not a usable candle: a value is not a finite number)" 3
  log_has "$a" "Number of corrupted archives: 3"
  fresh_logs "$a"
  run_ok "$a" -a add -d "$(dates | sed -n 3p)"
  log_count_is "$a" "(not a usable candle: a value is not a finite number)" 3
  log_has "$a" "Number of corrupted archives: 3"
  same "$(digests "$a" archive | grep -E "SBER|GAZP|USD")" "$(echo "$before" | grep -E "SBER|GAZP|USD")" \
    "an archive holding a non-finite value was changed"
}

# The archive root exists (validation passes) but is a file, not a folder of classes.
test_without_archive_root() {
  local a=$work/a
  setup "$a"
  rmdir "$a/bin/archive"
  echo "not a folder" >"$a/bin/archive"
  fresh_logs "$a"
  run_ok "$a" -a test
  errors_has "$a" "Can not find archives location"
  log_lacks "$a" "Total number of archives processed"
  log_lacks "$a" " Barsync finished"
}

# --- changelot and changeprice ---

# Folder $1 with the first two dates added; the first minute of SBER's first date and
# the first candle of its archive get volume 15, the second ones 14.
change_setup() {
  local d1 d2 sber
  setup "$1"
  d1=$(dates | sed -n 1p)
  d2=$(dates | sed -n 2p)
  add_dates "$1" "$d1" "$d2"
  sber=$1/bin/minutes/$d1/TQBR/SBER/1.dat
  poke "$sber" 0 "$F15"
  poke "$sber" "$RECORD" "$F14"
  poke "$1/bin/archive/TQBR/SBER.dat" $((16 * RECORD)) "$F15"
  poke "$1/bin/archive/TQBR/SBER.dat" $((17 * RECORD)) "$F14"
  sed -i 's/^DebugLevel=1/DebugLevel=99/' "$1/bin/Barsync.ini"
}

# Every candle of interval 1 of archive $2 (folder $1) before ($3, CSV) and now: volumes in
# the dates $4..$5 are floor(v / $6 + 0.5), the others unchanged.
check_volumes() {
  local bad
  bad=$(paste -d, <(echo "$3") <(csv "$1" "$2" 1) | awk -F, -v b="$4" -v e="$5" -v l="$6" '
    NR > 1 { want = ($3 >= b && $3 <= e) ? int($9 / l + 0.5) : $9
             if ($18 != want) { print $3, $4, $9, $18, want; n++ } }
    END { exit n > 0 }') || fail "volumes of $2 wrongly changed: $(echo "$bad" | head -3)"
}

changelot_whole_history() {
  local a=$work/a d1 sber gazp lkoh
  change_setup "$a"
  d1=$(dates | sed -n 1p)
  settings "$a" "[ChangeLot]" "1=TQBR,SBER,1,10" "2=TQBR,GAZP,100,1" "3=TQBR,LKOH,1000,1" \
    "4=TQBR,CHMF,-5,1" "5=TQBR,CHMF,1,100000001"
  sber=$(csv "$a" TQBR/SBER.dat 1)
  gazp=$(csv "$a" TQBR/GAZP.dat 1)
  lkoh=$(bare_csv "$a" "minutes/$d1/TQBR/LKOH/1.dat")
  fresh_logs "$a"
  run_ok "$a" -a changelot
  log_has "$a" "TQBR SBER 1 10       10.000000"
  errors_has "$a" "Bad date, action interrupted: TQBR, CHMF, -5, 1"
  errors_has "$a" "Bad date, action interrupted: TQBR, CHMF, 1, 100000001"
  log_has "$a" "kLot_ = 1    dd = 100"
  log_has "$a" "TQBR GAZP 100 1        0.010000"
  log_has "$a" "kLot_ = 0    dd = 100"
  log_has "$a" "kLot_ = 1    dd = 1000"
  main_log "$a" | grep -A3 "TQBR GAZP 100 1" | grep -qF "kLot_ = 0    dd = 100" &&
    fail "a trace line of LKOH stands before GAZP's line"
  same "$(csv "$a" TQBR/SBER.dat 1 | sed -n '2,3p' | cut -d, -f9 | tr '\n' ' ')" "2 1 " \
    "archive volumes 15 and 14 did not become 2 and 1"
  same "$(bare_csv "$a" "minutes/$d1/TQBR/SBER/1.dat" | sed -n '2,3p' | cut -d, -f9 | tr '\n' ' ')" \
    "2 1 " "minute volumes 15 and 14 did not become 2 and 1"
  check_volumes "$a" TQBR/SBER.dat "$sber" 0 99999999 10
  check_volumes "$a" TQBR/GAZP.dat "$gazp" 0 99999999 0.01
  paste -d, <(echo "$lkoh") <(bare_csv "$a" "minutes/$d1/TQBR/LKOH/1.dat") |
    awk -F, 'NR > 1 && $18 != int($9 / 0.001 + 0.5) { n++ } END { exit n > 0 }' ||
    fail "LKOH's minute volumes were not multiplied by 1000"
  # The journal goes only after the closing line: a change killed before that line always
  # leaves its journal to be completed, never a log that looks unfinished and no journal.
  same "$(main_log "$a" | tail -n 2 | sed 's/^.*): //')" \
    "$(printf ' Barsync finished\nChange journal removed: the change is complete')" \
    "the change journal did not go after the closing line"
  [ ! -e "$a/bin/archive/Barsync.change.journal" ] || fail "the change journal is still there"
}

changelot_with_range() {
  local a=$work/a d1 d2 sber minutes_before
  change_setup "$a"
  d1=$(dates | sed -n 1p)
  d2=$(dates | sed -n 2p)
  settings "$a" "[ChangeLot]" "1=TQBR,SBER,1,10"
  sed -i "s/^\[General\]/[General]\nDateEnd=$d2/" "$a/bin/Barsync.ini"
  sber=$(csv "$a" TQBR/SBER.dat 1)
  minutes_before=$(digests "$a" minutes)
  fresh_logs "$a"
  run_ok "$a" -a changelot -b "$d2"
  check_volumes "$a" TQBR/SBER.dat "$sber" "$d2" "$d2" 10
  same "$(digests "$a" minutes)" "$minutes_before" "a minute file changed under a date range"
  # DateBegin alone reaches to the newest candle, and still leaves the minutes alone.
  sed -i "/^DateEnd=/d" "$a/bin/Barsync.ini"
  sber=$(csv "$a" TQBR/SBER.dat 1)
  fresh_logs "$a"
  run_ok "$a" -a changelot -b "$d1"
  check_volumes "$a" TQBR/SBER.dat "$sber" "$d1" 99999999 10
  same "$(digests "$a" minutes)" "$minutes_before" "a minute file changed from DateBegin on"
}

changeprice_range_and_digits() {
  local a=$work/a d1 d2 d3 sber gazp m2 m1_before m3_before bad
  setup "$a"
  d1=$(dates | sed -n 1p)
  d2=$(dates | sed -n 2p)
  d3=$(dates | sed -n 3p)
  add_dates "$a" "$d1" "$d2" "$d3"
  settings "$a" "[ChangePrice]" "1=TQBR,SBER,10" "2=TQBR,GAZP,8,4" "3=TQBR,LKOH,0" "4=TQBR,LKOH,10,12"
  sber=$(csv "$a" TQBR/SBER.dat)
  gazp=$(csv "$a" TQBR/GAZP.dat 1)
  m2=$(bare_csv "$a" "minutes/$d2/TQBR/SBER/1.dat")
  m1_before=$(sha256sum <"$a/bin/minutes/$d1/TQBR/SBER/1.dat")
  m3_before=$(sha256sum <"$a/bin/minutes/$d3/TQBR/SBER/1.dat")
  fresh_logs "$a"
  run_ok "$a" -a changeprice -b "$d2" -d "$d2"
  log_has "$a" "TQBR SBER     10.00 2"
  log_has "$a" "TQBR GAZP    8.0000 4"
  errors_has "$a" "Bad date, action interrupted: TQBR, LKOH, 0"
  errors_has "$a" "Bad date, action interrupted: TQBR, LKOH, 12"
  # The archive: prices of the range divided, not rounded; other dates and volumes unchanged.
  bad=$(paste -d, <(echo "$sber" | grep -v '^[0-9]*,[-0-9]*,[-0-9]*$') \
    <(csv "$a" TQBR/SBER.dat | grep -v '^[0-9]*,[-0-9]*,[-0-9]*$') | awk -F, -v d="$d2" '
    function off(x, y) { return (x - y > 1e-6 || y - x > 1e-6) }
    NR > 1 { f = ($3 == d) ? 10 : 1
      if (off($5 / f, $14) || off($6 / f, $15) || off($7 / f, $16) || off($8 / f, $17) || $9 != $18) n++
      if ($3 == d && int($17 * 100 + 1e-7) != $17 * 100) fine++ }
    END { exit (n > 0 || fine == 0) }') ||
    fail "SBER's archive prices are not divided by 10 in $d2 alone, unrounded"
  paste -d, <(echo "$gazp") <(csv "$a" TQBR/GAZP.dat 1) | awk -F, -v d="$d2" '
    NR > 1 && $3 == d { if ($8 / 8 - $17 > 1e-6 || $17 - $8 / 8 > 1e-6) n++ }
    END { exit n > 0 }' || fail "GAZP's archive prices are not divided by 8"
  # The minute files: rounded down to 2 decimals inside the range; the others untouched.
  paste -d, <(echo "$m2") <(bare_csv "$a" "minutes/$d2/TQBR/SBER/1.dat") | awk -F, '
    function down(x) { return int(100 * x / 10) / 100 }
    function off(x, y) { return (x - y > 1e-9 || y - x > 1e-9) }
    NR > 1 && (off(down($5), $14) || off(down($8), $17) || $9 != $18) { n++ }
    END { exit n > 0 }' || fail "SBER's minutes of $d2 are not rounded down to cents"
  same "$(sha256sum <"$a/bin/minutes/$d1/TQBR/SBER/1.dat")" "$m1_before" "minutes before B changed"
  same "$(sha256sum <"$a/bin/minutes/$d3/TQBR/SBER/1.dat")" "$m3_before" "minutes after E changed"
  log_has "$a" " Barsync finished"
}

change_keeps_sixteen_record_archive() {
  local a=$work/a before
  setup "$a"
  add_dates "$a" "$(dates | sed -n 1p)"
  head -c $((16 * RECORD)) "$a/bin/archive/TQBR/SBER.dat" >"$a/bin/archive/TQBR/slots"
  mv "$a/bin/archive/TQBR/slots" "$a/bin/archive/TQBR/SBER.dat"
  before=$(sha256sum <"$a/bin/archive/TQBR/SBER.dat")
  settings "$a" "[ChangeLot]" "1=TQBR,SBER,1,10" "2=TQBR,NONE,1,10"
  fresh_logs "$a"
  run_ok "$a" -a changelot
  same "$(sha256sum <"$a/bin/archive/TQBR/SBER.dat")" "$before" "the 16-record archive changed"
  errors_log "$a" | grep -F "size archive = 0" | grep -qF "SBER.dat" &&
    fail "the 16-record archive was taken for an empty one"
  log_has "$a" "archive/TQBR/NONE.dat is missing.  Verify input date."
  errors_has "$a" "archive/TQBR/NONE.dat  - size archive = 0 - No That Archives - verify your ini-file!"
  [ -e "$a/bin/archive/TQBR/NONE.dat" ] && fail "an archive that could not be read was written"
  log_has "$a" " Barsync finished"
}

# The lot and the price change refuse a damaged archive as every other action does: a
# record without a date, a NaN price or a file of a wrong size is reported with the
# loader's line, and the archive and that security's minute files stay byte for byte;
# the next entry is applied.
change_refuses_damaged_archive() {
  local a=$work/a arch d1 before minutes_before lkoh action
  setup "$a"
  d1=$(dates | sed -n 1p)
  add_dates "$a" "$d1" "$(dates | sed -n 2p)"
  arch=$a/bin/archive/TQBR
  poke "$arch/SBER.dat" $((20 * RECORD + DATE_FIELD)) "$(le32 0)"
  poke "$arch/GAZP.dat" $((21 * RECORD + 32)) '\x00\x00\x00\x00\x00\x00\xf8\x7f'
  cp "$a/bin/archive/FUTN/SIH4.dat" "$arch/CHMF.dat"
  printf 'xx' >>"$arch/CHMF.dat"
  settings "$a" "[ChangeLot]" "1=TQBR,SBER,1,10" "2=TQBR,GAZP,1,10" "3=TQBR,CHMF,1,10" \
    "4=TQBR,LKOH,1,10" "[ChangePrice]" "1=TQBR,SBER,10" "2=TQBR,GAZP,10" "3=TQBR,CHMF,10" \
    "4=TQBR,LKOH,10"
  before=$(digests "$a" archive/TQBR | grep -v LKOH)
  minutes_before=$(digests "$a" minutes | grep -v LKOH)
  for action in changelot changeprice; do
    lkoh=$(csv "$a" TQBR/LKOH.dat 1)
    fresh_logs "$a"
    run_ok "$a" -a "$action"
    log_has "$a" "archive/TQBR/SBER.dat contains errors: Interval='1' (index=4, internal index=20), Date=0,"
    log_has "$a" "archive/TQBR/GAZP.dat contains errors: Interval='1' (index=5, internal index=21)"
    log_has "$a" "(not a usable candle: a value is not a finite number)"
    log_has "$a" "archive/TQBR/CHMF.dat contains errors: Invalid file size"
    errors_has "$a" 'Change of "TQBR", "SBER" not applied: its archive is damaged'
    errors_has "$a" 'Change of "TQBR", "GAZP" not applied: its archive is damaged'
    errors_has "$a" 'Change of "TQBR", "CHMF" not applied: its archive is damaged'
    log_lacks "$a" "SBER.dat is missing"
    same "$(digests "$a" archive/TQBR | grep -v LKOH)" "$before" "$action changed a damaged archive"
    same "$(digests "$a" minutes | grep -v LKOH)" "$minutes_before" \
      "$action changed the minutes of a security whose archive is damaged"
    [ "$(csv "$a" TQBR/LKOH.dat 1)" != "$lkoh" ] || fail "$action did not change LKOH"
    log_has "$a" " Barsync finished"
  done
}

change_write_failure_ends_run() {
  local a=$work/a d1 sber gazp minutes_before
  setup "$a"
  d1=$(dates | sed -n 1p)
  add_dates "$a" "$d1"
  settings "$a" "[ChangeLot]" "1=TQBR,SBER,1,10" "2=TQBR,GAZP,1,10"
  mkdir -p "$a/bin/archive/TQBR/SBER_dat.barsync.tmp"
  echo keep >"$a/bin/archive/TQBR/SBER_dat.barsync.tmp/keep"
  sber=$(sha256sum <"$a/bin/archive/TQBR/SBER.dat")
  gazp=$(sha256sum <"$a/bin/archive/TQBR/GAZP.dat")
  minutes_before=$(digests "$a" minutes)
  fresh_logs "$a"
  run_ok "$a" -a changelot
  errors_has "$a" "Error updating archive "
  log_lacks "$a" " Barsync finished"
  log_lacks "$a" "TQBR GAZP"
  same "$(sha256sum <"$a/bin/archive/TQBR/SBER.dat")" "$sber" "the archive that failed changed"
  same "$(sha256sum <"$a/bin/archive/TQBR/GAZP.dat")" "$gazp" "the next entry was applied"
  same "$(digests "$a" minutes)" "$minutes_before" "minute files changed after the failure"
}

# After a lot change each candle is rounded on its own, so a week's day volumes no longer
# add up to the week's volume. Deleting a day of the oldest week and month (whose days are
# all held: the day interval never dropped one) must still recompute both from the
# remaining days.
changelot_then_delete_day_of_oldest_week() {
  local a=$work/a d
  setup "$a"
  for d in $(dates); do run_ok "$a" -a add -d "$d"; done
  settings "$a" "[ChangeLot]" "1=TQBR,SBER,1,10"
  run_ok "$a" -a changelot
  fresh_logs "$a"
  run_ok "$a" -a delete -d 20240130
  log_lacks "$a" "is left unchanged"
  local days week month want
  days=$(csv "$a" TQBR/SBER.dat -1 | tail -n +2)
  echo "$days" | grep -q ',20240130,' && fail "the day 20240130 is still held"
  week=$(csv "$a" TQBR/SBER.dat -2 | sed -n 2p | cut -d, -f3,5-9)
  want=$(echo "$days" | awk -F, '$3 >= 20240128 && $3 < 20240204 {
      if (!n++) { o = $5; h = $6; l = $7 } if ($6 > h) h = $6; if ($7 < l) l = $7; c = $8; v += $9 }
    END { print "20240128," o "," h "," l "," c "," v }')
  same "$week" "$want" "the week of 20240128 is not recomputed from its remaining days"
  month=$(csv "$a" TQBR/SBER.dat -3 | sed -n 2p | cut -d, -f3,5-9)
  want=$(echo "$days" | awk -F, '$3 == 20240131 { print "20240101," $5 "," $6 "," $7 "," $8 "," $9 }')
  same "$month" "$want" "the month of January is not the remaining day 20240131"
}

"$scenario"
finish "$scenario"
