#!/usr/bin/env bash
# Installs what is missing, then builds and tests every preset: native, sanitizers (address
# and undefined behaviour on every test; threads on those that run several), the
# fuzz targets (a short bounded run each), 64-bit Windows under wine64 and 32-bit Windows
# under wine. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh

presets=${PRESETS:-"linux linux-asan linux-tsan fuzz win64 win32"}
jobs=${JOBS:-$(nproc)}
export WINEDEBUG=-all
export WINEPREFIX=${WINEPREFIX:-$HOME/.wine}

start_wine() {
  bash tools/wine-prefix.sh
  /usr/lib/wine/wineserver64 -p >/dev/null 2>&1 || true
  # The first program of a server session starts wine's services; let that happen
  # here, not inside a test whose output pipe they would keep open.
  tools/wine64.sh cmd /c exit >/dev/null 2>&1 </dev/null || true
}
stop_wine() { /usr/lib/wine/wineserver64 -k >/dev/null 2>&1 || true; }

wine_started=0
trap '[ $wine_started = 1 ] && stop_wine' EXIT

failed=()
total_passed=0
total_failed=0
total_skipped=0
for p in $presets; do
  echo "=== preset $p ==="
  if [[ $p == win* && $wine_started = 0 ]]; then start_wine; wine_started=1; fi
  extra=()
  # The Windows build's archive trees are compared byte for byte with the native ones.
  if [[ $p == win64 && -x build/linux/app/Barsync ]]; then
    extra+=("-DBARSYNC_NATIVE_BUILD=$PWD/build/linux")
  fi
  if ! cmake --preset "$p" "${extra[@]}" >"build-$p.configure.log" 2>&1; then
    cat "build-$p.configure.log"; failed+=("$p(configure)"); continue
  fi
  # A preset whose test programs cannot run here (32-bit wine without any way to run
  # i386 code) says so, with the reason; its tests are then counted as skipped.
  grep -A3 'will be built but not run' "build-$p.configure.log" || true
  rm -f "build-$p.configure.log"
  if ! cmake --build --preset "$p" -j "$jobs"; then failed+=("$p(build)"); continue; fi
  log=$(mktemp)
  if ctest --preset "$p" -j "$jobs" 2>&1 | tee "$log"; then :; fi
  summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n1 || true)
  if [[ $summary =~ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+) ]]; then
    f=${BASH_REMATCH[1]}; n=${BASH_REMATCH[2]}
    # Skipped tests count in ctest's total; disabled ones (scenarios that their parent
    # tests run in a child process) do not, and are not counted here either.
    skipped=$(grep -c '(Skipped)$' "$log" || true)
    total_failed=$((total_failed + f)); total_skipped=$((total_skipped + skipped))
    total_passed=$((total_passed + n - f - skipped))
    [ "$f" -eq 0 ] || failed+=("$p(tests)")
  else
    failed+=("$p(no test summary)")
  fi
  rm -f "$log"
done

echo
echo "all presets: $total_passed passed, $total_failed failed, $total_skipped skipped"
if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
