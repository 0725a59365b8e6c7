#!/usr/bin/env bash
# The Korvex SDK package of the 32-bit build, unpacked into an empty folder: its files,
# its import libraries against the DLL's exports, and the example host built with
# nothing but the unpacked SDK (once through libKorvex.dll.a, once through Korvex.lib).
# With MODE "run" the example is then run under 32-bit wine from a folder holding only
# it and the SDK's DLLs (exit code 77, skipped, where 32-bit wine cannot start).
# usage: check_korvex_sdk.sh BUILD WORK SOURCE_DIR build|run [EMULATOR]
set -u
build=$1 work=$2 src=$3 mode=$4 emulator=${5:-}
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
source "$(dirname "$0")/unpack.sh"
cxx=i686-w64-mingw32-g++-posix
objdump=i686-w64-mingw32-objdump
nm=i686-w64-mingw32-nm

if [ "$mode" = run ] && ! "$emulator" --version >/dev/null 2>&1; then
  echo "not run: $emulator cannot start here (no 32-bit program support)"
  exit 77
fi

version=$(source_version "$src")
make_package "$build" ZIP "$work" || exit 1
[ "$(basename "$package")" = "Korvex-SDK-$version-win32.zip" ] ||
  fail "package name $(basename "$package")"
headers=$(cd "$src/korvex/Common/include" && ls *.h | LC_ALL=C sort | sed 's|^|./include/|' | tr '\n' ' ')
expected=$(printf '%s\n' ./BUILD.txt ./Korvex.def ./Korvex.dll ./Korvex.lib ./example/host.cpp \
  ./libKorvex.dll.a ./libgcc_s_dw2-1.dll ./libstdc++-6.dll ./libwinpthread-1.dll ./ombrel.dll $headers |
  LC_ALL=C sort | tr '\n' ' ')
[ "$(file_list "$top")" = "$expected" ] || fail "SDK files: $(file_list "$top"), expected $expected"
sdk=$top

# The names Korvex.dll exports, one a line.
exports() {
  $objdump -p "$sdk/Korvex.dll" |
    awk '/\[Ordinal\/Name Pointer\] Table/ {on = 1; next} on && /^\t\[/ {print $NF} on && /^$/ {on = 0}'
}
# The names program $1 imports from Korvex.dll, one a line.
imports() {
  $objdump -p "$1" | awk '/DLL Name:/ {on = ($3 == "Korvex.dll"); next}
    on && /^\t[0-9a-f]+[ \t]+[0-9]+[ \t]+[A-Za-z_]/ {print $NF}'
}
exported=$(exports | LC_ALL=C sort)
[ "$(echo "$exported" | wc -l)" -gt 60 ] || fail "Korvex.dll exports only: $exported"
grep -qx '_ExcFilter@4' <<<"$exported" || fail "Korvex.dll does not export _ExcFilter@4"
# Every export name stands in Korvex.def, and both import libraries offer each under the
# symbol a host references (GCC and MSVC alike on x86): __imp__name for C functions,
# __imp_ + the name for the standard-convention ones, whose exported names carry the
# decoration already.
for lib in Korvex.lib libKorvex.dll.a; do
  lib_symbols=$($nm "$sdk/$lib" 2>/dev/null | awk '{print $NF}')
  while read -r name; do
    case $name in
      _*@[0-9]*) symbol="__imp_$name" ;;
      *) symbol="__imp__$name" ;;
    esac
    grep -qxF "$symbol" <<<"$lib_symbols" || fail "$lib lacks $symbol"
  done <<<"$exported"
done
while read -r name; do
  grep -Eq "^[[:space:]]*$name([[:space:]=]|$)" "$sdk/Korvex.def" || fail "Korvex.def lacks $name"
done <<<"$exported"

# The example, built from the unpacked SDK only (no other include or library folder).
mkdir -p "$work/host" "$work/host_lib"
build_host() {
  (cd "$sdk" && $cxx -std=c++17 -O2 -Iinclude example/host.cpp "$1" -o "$2") ||
    fail "the example host does not build against $1"
}
build_host libKorvex.dll.a "$work/host/host.exe"
build_host Korvex.lib "$work/host_lib/host.exe"
for host in "$work/host/host.exe" "$work/host_lib/host.exe"; do
  [ -f "$host" ] || continue
  used=$(imports "$host" | LC_ALL=C sort)
  for name in util_init event show_message place kvraisec; do
    grep -q "$name" <<<"$used" || fail "$host does not import $name: [$used]"
  done
  while read -r name; do
    grep -qxF "$name" <<<"$exported" || fail "$host imports $name, which Korvex.dll does not export"
  done <<<"$used"
  # The host and the DLL share one C++ runtime: libstdc++'s and libgcc's DLLs, both linked.
  for module in "$host" "$sdk/Korvex.dll"; do
    for runtime in libstdc++-6.dll libgcc_s_dw2-1.dll; do
      $objdump -p "$module" | grep -q "DLL Name: $runtime" || fail "$module does not use $runtime"
    done
  done
  # Every DLL it needs is a system DLL or ships in the SDK.
  for dll in $($objdump -p "$host" | awk '/DLL Name:/ {print $3}'); do
    case $(echo "$dll" | tr 'A-Z' 'a-z') in
      kernel32.dll | msvcrt.dll | user32.dll | ws2_32.dll | advapi32.dll) ;;
      *) [ -f "$sdk/$dll" ] || fail "$host needs $dll, which the SDK lacks" ;;
    esac
  done
done

if [ "$mode" = run ]; then
  for folder in "$work/host" "$work/host_lib"; do
    cp "$sdk"/*.dll "$folder/"
    # Output to a file: wine's services, started by the first program of a server
    # session, would keep a pipe open long after the host ended.
    (cd "$folder" && WINEDLLOVERRIDES="winedbg.exe=d" "$emulator" ./host.exe </dev/null >out.txt 2>&1)
    rc=$?
    out=$(tr -d '\r' <"$folder/out.txt")
    [ "$rc" = 0 ] || fail "the example host in $folder ended with $rc"
    grep -qx "host example: ok" <<<"$out" || fail "the example host in $folder said: $out"
    grep -q "host example started" "$folder/host_events.log" 2>/dev/null ||
      fail "the example host wrote no host_events.log in $folder"
  done
fi

[ "$failures" = 0 ] && echo "package $(basename "$package"): all checks held ($mode)"
exit $((failures > 0))
