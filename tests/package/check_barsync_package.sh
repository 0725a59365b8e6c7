#!/usr/bin/env bash
# The Barsync package of a build, unpacked into an empty folder and run from there.
# usage: check_barsync_package.sh BUILD GENERATOR GEN WORK SOURCE_DIR [EMULATOR]
# GEN is the built gen_minute_tree (the sample is not part of the package); EMULATOR is
# wine64 for the Windows build. Exit code 0 when every check held.
set -u
build=$1 generator=$2 gen=$3 work=$4 src=$5 emulator=${6:-}
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
source "$(dirname "$0")/unpack.sh"
# shellcheck source=../launch.sh
source "$src/tests/launch.sh"

exe=""
[ -n "$emulator" ] && exe=.exe
version=$(source_version "$src")
make_package "$build" "$generator" "$work" || exit 1
case $(basename "$package") in
  Barsync-"$version"-linux.tar.gz | Barsync-"$version"-win64.zip) ;;
  *) fail "package name $(basename "$package") lacks the version $version" ;;
esac
expected="./Barsync$exe ./Barsync.ini ./README.txt ./archive_csv$exe "
[ "$(file_list "$top")" = "$expected" ] || fail "package files: $(file_list "$top"), expected $expected"
grep -q "^## Running Barsync by hand" "$top/README.txt" || fail "README.txt lacks the running part"
grep -q "Building by hand" "$top/README.txt" && fail "README.txt holds the builder's part"

cd "$top" || exit 1
launch version.txt "./Barsync$exe" --version
stated=$(head -n 1 version.txt | tr -d '\r')
rm -f version.txt
[ "$stated" = "Barsync $version" ] || fail "the unpacked program states [$stated]"

# 1. The shipped Barsync.ini as it stands, on the sample minutes (its folder names).
launch "$work/gen.txt" "$gen" Export || fail "the generator failed"
mkdir -p Archive
dates=$(launch - "$gen" --dates | tr -d '\r')
for d in $dates; do
  launch "$work/out.txt" "./Barsync$exe" -a add -d "$d"
  [ $? = 1 ] || fail "add $d with the shipped settings did not run"
done
launch "$work/out.txt" "./Barsync$exe" -a test
tr -d '\r' <Barsync.log | grep -q "Number of corrupted archives: 0" || fail "the test action found damage"
tr -d '\r' <Barsync.log | grep -q "Total number of archives processed by the utility: 5" ||
  fail "the test action did not see the 5 archives"
days=$(launch - "./archive_csv$exe" Archive/TQBR/SBER.dat -1 | tr -d '\r' | tail -n +2 | wc -l)
[ "$days" = "$(echo "$dates" | wc -w)" ] || fail "TQBR/SBER holds $days days"

# 2. The sample's settings: the same bytes as every other build of the sample.
rm -rf Archive Export Barsync.log Barsync.errors.log
cp "$src/tools/Barsync.sample.ini" Barsync.ini
mkdir archive
launch "$work/gen.txt" "$gen" minutes || fail "the generator failed"
for d in $dates; do launch "$work/out.txt" "./Barsync$exe" -a add -d "$d"; done
launch "$work/out.txt" "./Barsync$exe" -a addlast
digests=$(cd archive && find . -type f ! -name Barsync.lock | LC_ALL=C sort | xargs -r sha256sum)
[ "$digests" = "$(cat "$src/tests/e2e/expected/sample_tree.sha256")" ] ||
  fail "the unpacked program's sample tree differs from tests/e2e/expected/sample_tree.sha256"

finish "package $(basename "$package")"
