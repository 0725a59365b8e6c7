#!/usr/bin/env bash
# Checks tools/wine-gtest.sh with a stand-in emulator: each start takes the next line of a
# plan ("EXIT-CODE OUT ERR": what the start prints on standard output and error, "-" for
# nothing).
# usage: wine_gtest_test.sh SOURCE_DIR WORK
set -u
src=$1 work=$2
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
rm -rf "$work"
mkdir -p "$work"
emulator=$work/fake_wine
cat >"$emulator" <<'FAKE'
#!/usr/bin/env bash
work=$(dirname "$0")
echo "$*" >>"$work/starts"
read -r code out err < <(sed -n 1p "$work/plan")
sed -i 1d "$work/plan"
[ "$out" = - ] || echo "$out"
[ "$err" = - ] || echo "$err" >&2
exit "$code"
FAKE
chmod +x "$emulator"

# One case: plan lines $@; sets rc, starts, out, err.
case_with() {
  printf '%s\n' "$@" >"$work/plan"
  rm -f "$work/starts"
  bash "$src/tools/wine-gtest.sh" "$emulator" test.exe --gtest_list_tests \
    >"$work/out" 2>"$work/err"
  rc=$?
  starts=$(wc -l <"$work/starts")
}

case_with "1 - -" "0 listed -"
[ "$rc" = 0 ] && [ "$starts" = 2 ] || fail "a lost start is not retried (rc $rc, $starts starts)"
grep -qx listed "$work/out" || fail "the retried start's output is not passed on"
grep -q "LAUNCH FAILURE (start 1 of 2, exit code 1" "$work/err" || fail "a lost start is not reported"
grep -q "test.exe --gtest_list_tests" "$work/starts" || fail "the arguments are not passed on"

case_with "1 - -" "1 - -"
[ "$rc" = 1 ] && [ "$starts" = 2 ] || fail "a start lost twice is retried again or passes"

case_with "1 [FAILED] -" "0 - -"
[ "$rc" = 1 ] && [ "$starts" = 1 ] || fail "a failing test program is started again"
grep -qx "\[FAILED\]" "$work/out" || fail "a failing program's output is not passed on"

case_with "3 - crashed" "0 - -"
[ "$rc" = 3 ] && [ "$starts" = 1 ] || fail "a failure that wrote to standard error is retried"
grep -qx crashed "$work/err" || fail "standard error is not kept apart"
grep -q crashed "$work/out" && fail "standard error reaches the test list"

case_with "0 - -" "0 x -"
[ "$rc" = 0 ] && [ "$starts" = 1 ] || fail "a silent success is retried"

[ "$failures" = 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo passed
