#!/usr/bin/env bash
# Installs what the builds and tests need on a fresh Debian machine; safe to run again.
set -euo pipefail
need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  need+=(__update__)
fi
for p in cmake ninja-build g++ libgtest-dev googletest libbenchmark-dev \
         g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64 \
         wine64 wine32:i386 xxd python3-pandas python3-pytest libxml2-utils \
         clang libclang-rt-14-dev; do
  have "$p" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  pkgs=()
  for p in "${need[@]}"; do [ "$p" != __update__ ] && pkgs+=("$p"); done
  if [ ${#pkgs[@]} -gt 0 ]; then
    $SUDO apt-get install -y -qq --no-install-recommends "${pkgs[@]}" >/dev/null
  fi
fi

# 32-bit wine on a kernel that cannot start 32-bit programs (booted without IA-32
# emulation): i386 programs then run under qemu's user-mode emulator, which
# tools/wine32.sh registers for the test run only. Nothing of this happens where
# 32-bit programs run natively (WINE32_EMULATE=1 asks for it all the same).
i386_runs() { /lib/ld-linux.so.2 --version >/dev/null 2>&1; }
if [ "${WINE32_EMULATE:-0}" = 1 ] || ! i386_runs; then
  bash "$(dirname "$0")/install-wine32-emulation.sh" ||
    echo "install-deps: 32-bit wine cannot run here; the win32 preset will build" \
         "Korvex.dll and report its host tests as not run" >&2
fi
