#!/usr/bin/env bash
# Quick start: installs what is missing, builds Barsync natively, generates the sample
# minute export tree into a fresh folder, adds every date of it, then runs addlast, and
# shows the summary and a few candles of one archive.
#
# usage: bash tools/run-sample.sh [FOLDER]
#   FOLDER   where the sample goes (must not exist yet); default: a new folder in /tmp
#   BUILD_DIR (environment) the build folder; default: build/linux
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$(pwd)
build=${BUILD_DIR:-$source_dir/build/linux}

missing_tools() {
  local c
  for c in cmake ninja g++; do command -v "$c" >/dev/null 2>&1 || return 0; done
  [ -f /usr/include/gtest/gtest.h ] || return 0
  return 1
}
if missing_tools; then
  echo "== installing the build tools (tools/install-deps.sh)"
  bash tools/install-deps.sh
fi

echo "== building Barsync and the sample tools in $build"
cmake --preset linux -B "$build" >/dev/null
cmake --build "$build" --target Barsync gen_minute_tree archive_csv

sample=${1:-$(mktemp -d /tmp/barsync-sample.XXXXXX)}
if [ -e "$sample" ] && [ -n "$(ls -A "$sample")" ]; then
  echo "$sample is not empty: give a new folder" >&2
  exit 2
fi
mkdir -p "$sample/archive"
cp "$build/app/Barsync" "$sample/"
cp tools/Barsync.sample.ini "$sample/Barsync.ini"
echo "== generating the sample minute export tree in $sample/minutes"
"$build/tools/gen_minute_tree" "$sample/minutes"

cd "$sample"
for date in $("$build/tools/gen_minute_tree" --dates); do
  echo "== ./Barsync -a add -d $date"
  ./Barsync -a add -d "$date" >/dev/null || [ $? -eq 1 ]  # 1: the run took place
done
echo "== ./Barsync -a addlast   (the newest date again: nothing new, so each archive"
echo "   reports \"Archive date is more recent\" in the errors log and stays as it is)"
./Barsync -a addlast >/dev/null || [ $? -eq 1 ]

echo
echo "== summary of the last run (Barsync.log)"
grep -E "\[date\]|Total number of archives|Number of corrupted" Barsync.log | tail -n 3 | cut -d' ' -f4-
echo
echo "== archives"
(cd archive && find . -name '*.dat' | LC_ALL=C sort)
echo
echo "== archive/TQBR/SBER.dat: slots, then its day, week and month candles"
"$build/tools/archive_csv" archive/TQBR/SBER.dat | sed -n 1,7p
for code in -1 -2 -3; do "$build/tools/archive_csv" archive/TQBR/SBER.dat "$code" | tail -n +2; done
echo
echo "Sample folder: $sample (logs: Barsync.log, Barsync.errors.log)"
