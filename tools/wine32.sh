#!/usr/bin/env bash
# Runs 32-bit wine: `tools/wine32.sh PROGRAM.exe ARGS...`, the launcher of the win32
# preset's tests. Where the kernel starts 32-bit programs itself, this is plain
# /usr/lib/wine/wine. Where it cannot (booted without IA-32 emulation), i386 programs go
# through qemu's user-mode emulator: registered for i386 ELF in a binfmt_misc mounted
# privately, inside a user and mount namespace made for this one process, so nothing
# outside the run changes; the trap-number fix (tools/wine32_trapno_fix.c) is preloaded
# so that faults reach Windows code with the right codes. tools/install-deps.sh installs
# both. WINE32_EMULATE=1 takes the emulated path even where 32-bit programs run natively.
set -euo pipefail
wine=/usr/lib/wine/wine
binfmt_line=/usr/share/qemu/binfmt.d/qemu-i386.conf
trapfix_dir=${WINE32_TRAPFIX_DIR:-/usr/local/lib/wine32-trapfix}
# ld.so picks the 32-bit library for i386 processes and the do-nothing 64-bit twin for
# the 64-bit ones that wine starts, so neither prints a warning.
trapfix_preload="$trapfix_dir/\$LIB/libwine32trapfix.so"
binfmt=/proc/sys/fs/binfmt_misc

fail() {
  echo "wine32: $*" >&2
  exit 126
}

preload_trapfix() {
  [ -f "$trapfix_dir/lib/i386-linux-gnu/libwine32trapfix.so" ] ||
    fail "$trapfix_dir has no trap-number fix (run tools/install-deps.sh)"
  export LD_PRELOAD="$trapfix_preload${LD_PRELOAD:+ $LD_PRELOAD}"
}

# Inside the private namespace: register qemu for i386 ELF there, then start wine.
if [ "${WINE32_IN_NAMESPACE:-}" = 1 ]; then
  unset WINE32_IN_NAMESPACE
  mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null ||
    fail "cannot mount binfmt_misc in a user namespace (kernel older than 6.7?)"
  cat "$binfmt_line" >"$binfmt/register" || fail "cannot register $binfmt_line"
  preload_trapfix
  exec "$wine" "$@"
fi

i386_runs() { /lib/ld-linux.so.2 --version >/dev/null 2>&1; }

if [ "${WINE32_EMULATE:-0}" != 1 ] && i386_runs; then
  # Natively, or through a registration made for the whole machine (see the README);
  # qemu then needs the fix as well.
  if grep -qsx enabled "$binfmt/qemu-i386"; then preload_trapfix; fi
  exec "$wine" "$@"
fi

[ -f "$binfmt_line" ] || fail "32-bit programs cannot run here and qemu-user is not installed (run tools/install-deps.sh)"
WINE32_IN_NAMESPACE=1 exec unshare --user --map-root-user --mount bash "$0" "$@"
