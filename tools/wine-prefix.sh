#!/usr/bin/env bash
# Prepares the wine prefix once: created, and with no crash debugger, so that a
# program that faults on purpose ends with a reliable exit code instead of winedbg.
set -euo pipefail
export WINEDEBUG=-all
export WINEPREFIX=${WINEPREFIX:-$HOME/.wine}
marker="$WINEPREFIX/.barsync-ready"
[ -f "$marker" ] && exit 0
/usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
for key in 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
           'HKLM\Software\Wow6432Node\Microsoft\Windows NT\CurrentVersion\AeDebug'; do
  /usr/lib/wine/wine64 reg add "$key" /v Debugger /t REG_SZ /d "" /f >/dev/null 2>&1 || true
  /usr/lib/wine/wine64 reg add "$key" /v Auto /t REG_SZ /d "0" /f >/dev/null 2>&1 || true
done
/usr/lib/wine/wineserver64 -w || true
touch "$marker"
