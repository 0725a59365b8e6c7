#!/usr/bin/env bash
# Runs 64-bit wine: `tools/wine64.sh PROGRAM.exe ARGS...`, the launcher of the win64
# preset's tests.
#
# Debian's wine64 starts without a preloader: its loader is linked at 0x7d000000 and the
# kernel puts the process heap at a random point of the gigabyte above it. About one start
# in five thousand, that heap has grown over 0x7ffe0000, the page wine maps for Windows'
# shared user data, before wine maps it; wine then ends with exit code 1 before the
# program runs ("failed to map the shared user data: c0000018", hidden by WINEDEBUG=-all).
# With address randomization off for this process, the heap starts right after the
# loader, 48 MB below that page. Where the personality cannot be set, plain wine64.
wine=/usr/lib/wine/wine64
if setarch x86_64 -R true 2>/dev/null; then
  exec setarch x86_64 -R "$wine" "$@"
fi
exec "$wine" "$@"
