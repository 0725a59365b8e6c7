#!/usr/bin/env bash
# Writes the seed corpora of the fuzz targets (tests/fuzz/corpus/<target>/) from the sample
# generator's output: minute files and a legacy interval directory of gen_minute_tree, and
# archives that Barsync makes from them. Deterministic: the same files on every machine.
#
#   bash tests/fuzz/make_seeds.sh [BUILD_DIR]     (default build/fuzz; build/linux works too)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath "${1:-build/fuzz}")
gen=$build/tools/gen_minute_tree
barsync=$build/app/Barsync
out=$PWD/tests/fuzz/corpus
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$gen" "$work/minutes"
"$gen" --legacy "$work/legacy"
rm -rf "$out"
mkdir -p "$out"/{minute_file,archive_file,settings,change_entries,interval_dir}

byte() { printf "\\x$(printf %02x "$1")"; }
word() { byte $(($1 & 255)); byte $(($1 >> 8)); }
# records FILE FIRST COUNT: COUNT records of a candle file from record FIRST on.
records() { dd if="$1" bs=48 skip="$2" count="$3" status=none; }
minutes() { echo "$work/minutes/$1/$2/1.dat"; }

# minute_file: choice byte (class, second step, session start), record count of day 1,
# day 1, day 2.
seed_minutes() {  # name choice day1-file first count day2-file first count
  { byte "$2"; byte "$5"; records "$3" "$4" "$5"; records "$6" "$7" "$8"; } \
    >"$out/minute_file/$1"
}
seed_minutes tqbr_add_next 0 "$(minutes 20240130 TQBR/SBER)" 170 40 "$(minutes 20240131 TQBR/SBER)" 170 40
seed_minutes futn_past_midnight 1 "$(minutes 20240130 FUTN/SIH4)" 790 60 "$(minutes 20240131 FUTN/SIH4)" 790 60
seed_minutes cets_insert_earlier $(((3 << 2) | 2)) "$(minutes 20240130 CETS/USD000UTSTOM)" 0 30 "$(minutes 20240131 CETS/USD000UTSTOM)" 0 30
seed_minutes tqbr_delete $((6 << 2)) "$(minutes 20240130 TQBR/GAZP)" 180 30 "$(minutes 20240131 TQBR/GAZP)" 0 0
seed_minutes futn_evening_month_later $((0x80 | (5 << 2) | 1)) "$(minutes 20240228 FUTN/SIH4)" 530 50 "$(minutes 20240229 FUTN/SIH4)" 530 50
seed_minutes tqbr_same_day_twice $((2 << 2)) "$(minutes 20240130 TQBR/LKOH)" 200 25 "$(minutes 20240130 TQBR/LKOH)" 200 25

# archive_file: archives Barsync makes from the sample, small interval sets.
make_archive() {  # name class/security ini-intervals dates...
  local name=$1 sec=$2 intervals=$3 dir=$work/run-$1
  shift 3
  mkdir -p "$dir/archive"
  cp "$barsync" "$dir/Barsync"
  printf '[Intervals]\n%b[TimeSettings_Night]\nTimeBegin=19:00:00\nTimeEnd=02:00:00\nClasses=FUTN\n' \
    "$intervals" >"$dir/Barsync.ini"
  for d in "$@"; do
    "$dir/Barsync" -a add -f "$work/minutes" -t "$dir/archive" -d "$d" \
      -l "$dir/log" -e "$dir/errors" >/dev/null 2>&1 || true
  done
  cp "$dir/archive/$sec.dat" "$out/archive_file/$name"
}
make_archive cets_two_days CETS/USD000UTSTOM '60=3000\nday=3000\nweek=3000\nmonth=3000\n' 20240130 20240131
make_archive futn_month_end FUTN/SIH4 '120=3000\nday=3000\nweek=3000\nmounth=3000\n' 20240228 20240229 20240301
make_archive cets_one_interval CETS/USD000UTSTOM 'day=3000\n' 20240130 20240131 20240201
head -c -48 "$out/archive_file/cets_two_days" >"$out/archive_file/cets_truncated"

# settings: the sample's Barsync.ini, one with every section, one with the reader's odd
# lines (byte-order mark, carriage returns, tabs, comments, a repeated section).
cp tools/Barsync.sample.ini "$out/settings/sample.ini"
cat >"$out/settings/every_section.ini" <<'INI'
[General]
Action=rebuild
Date=20240130
Session_Start_Hour=19
DateBegin=20240101
DateEnd=20240301
[Intervals]
1=3000
//5=3000
60=3000
DAY=3000
mounth=3000
[ReplicateClasses]
TQBR=SBER,GAZP
CETS=
[Classes]
TQBR=SBER, GAZP
FUTN=ALL
[MyTimeSettings_A]
TimeBegin=10:00:00
TimeEnd=18:45:00
Classes=TQBR,CETS,
[TimeSettings_Night]
TimeBegin=19:00
TimeEnd=02:00
Classes=FUTN
[ChangeLot]
1=TQBR,SBER,1,10
[ChangePrice]
1=TQBR,SBER,100,4
INI
printf '\xef\xbb\xbf; comment\r\nAction=test\r\n[ general ]\r\nminutes = m ;x\r\n=5\r\n\t[Intervals]\r\n# c\r\n5\t=3000\r\nword\r\n[General]\r\nDate=1\r\n[Classes\r\nTQBR=ALL' \
  >"$out/settings/odd_lines.ini"

# change_entries: choice byte (bit 0 changelot, bit 1 changeprice, bit 2 price first),
# then Barsync.ini.
{ byte 1; printf '[ChangeLot]\n1=TQBR,SBER,1,10\n2=TQBR,SBER,100,1\n3=TQBR,SBER,1000\n4=TQBR,GAZP,0,5\n'; } \
  >"$out/change_entries/lot"
{ byte 2; printf '[General]\nDateBegin=20240131\nDate=20240131\n[ChangePrice]\n1=TQBR,SBER,100,4\n2=TQBR,SBER,2\n3=TQBR,SBER,0\n'; } \
  >"$out/change_entries/price_range"
{ byte 7; printf '[General]\nDateBegin=20240130\nDateEnd=20240130\n[ChangeLot]\nA=TQBR,SBER,10,1\n[ChangePrice]\nB=TQBR,SBER,0.5,0\nC=TQBR,SBER,3,12\n'; } \
  >"$out/change_entries/both_in_range"

# interval_dir: files as (name byte, 16-bit length, bytes); name 255 is an archive already
# in place. Names: 0 "1.dat", 4 "60.dat", 6 "day.dat", 7 "DAY.dat", 10 "MONTH.DAT",
# 2 "5.dat", 21 "notes.txt".
legacy=$work/legacy/LEGACY/OLDSEC
file_chunk() { byte "$1"; word "$(stat -c %s "$2")"; cat "$2"; }
records "$legacy/1.dat" 0 40 >"$work/one40.dat"
head -c 47 "$legacy/60.dat" >"$work/short.dat"
printf 'not an interval\n' >"$work/notes.txt"
{ file_chunk 0 "$work/one40.dat"; file_chunk 4 "$legacy/60.dat"; file_chunk 6 "$legacy/day.dat"; } \
  >"$out/interval_dir/sample"
{ file_chunk 0 "$work/one40.dat"; file_chunk 7 "$legacy/day.dat"; file_chunk 10 "$legacy/60.dat";
  file_chunk 21 "$work/notes.txt"; } >"$out/interval_dir/spellings_and_stray_file"
{ file_chunk 0 "$work/one40.dat"; file_chunk 2 "$work/short.dat"; } >"$out/interval_dir/corrupted_file"
{ file_chunk 255 "$out/archive_file/cets_two_days"; file_chunk 0 "$work/one40.dat"; } \
  >"$out/interval_dir/archive_in_place"
echo "seeds written to $out"
