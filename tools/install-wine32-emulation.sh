#!/usr/bin/env bash
# Lets 32-bit wine run on a kernel without 32-bit program support; safe to run again.
# - qemu-user from the backports suite of the Debian archive this machine already uses
#   (bookworm's own qemu 7.2 maps wine's reserved low memory page by page: about a minute
#   of CPU for every wine process);
# - the trap-number fix preloaded into 32-bit wine (tools/wine32_trapno_fix.c), built
#   into /usr/local/lib/wine32-trapfix with a do-nothing 64-bit twin;
# - a check that tools/wine32.sh can register qemu in a private binfmt_misc. Where the
#   kernel does not allow that, qemu is registered for i386 ELF machine-wide instead
#   (the README says how to undo it).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
backports="$codename-backports"

# The archive address and key of the suite this machine is installed from, in either
# source format.
archive_of_suite() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk -v c="$codename" '$1 == "deb" {
        key = ""; i = 2
        if ($i ~ /^\[/) { for (; i <= NF; i++) { if ($i ~ /signed-by=/) { key = $i; sub(/.*signed-by=/, "", key); sub(/\].*/, "", key) } if ($i ~ /\]$/) { i++; break } } }
        if ($(i + 1) == c) { print $i, key; exit }
      }' "$f"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk -v c="$codename" 'BEGIN { RS = ""; FS = "\n" } {
        uri = ""; key = ""; found = 0
        for (i = 1; i <= NF; i++) {
          if ($i ~ /^URIs:/) { split($i, a, " "); uri = a[2] }
          if ($i ~ /^Signed-By:/) { split($i, a, " "); key = a[2] }
          if ($i ~ /^Suites:/) { n = split($i, s, " "); for (j = 2; j <= n; j++) if (s[j] == c) found = 1 }
        }
        if (found && uri != "") { print uri, key; exit }
      }' "$f"
  done
}

add_backports() {
  if grep -rqsw -- "$backports" /etc/apt/sources.list /etc/apt/sources.list.d/; then return 0; fi
  local uri key
  read -r uri key < <(archive_of_suite | head -n1) || true
  if [ -z "${uri:-}" ]; then
    echo "install-wine32-emulation: no apt source for $codename found; add $backports by hand" >&2
    exit 1
  fi
  {
    echo "Types: deb"
    echo "URIs: $uri"
    echo "Suites: $backports"
    echo "Components: main"
    [ -n "${key:-}" ] && echo "Signed-By: $key"
  } | $SUDO tee /etc/apt/sources.list.d/wine32-emulation-backports.sources >/dev/null
}

# qemu 8 or newer: the one of the backports suite.
qemu_version=$(dpkg-query -W -f='${Status} ${Version}' qemu-user 2>/dev/null |
               sed -n 's/^install ok installed //p' || true)
if [ -z "$qemu_version" ] || dpkg --compare-versions "$qemu_version" lt 1:8; then
  add_backports
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends -t "$backports" qemu-user >/dev/null
fi

# The trap-number fix, rebuilt when its source changes.
dest=/usr/local/lib/wine32-trapfix
src="$here/wine32_trapno_fix.c"
lib32="$dest/lib/i386-linux-gnu/libwine32trapfix.so"
lib64="$dest/lib/x86_64-linux-gnu/libwine32trapfix.so"
stamp="$dest/source.sha256"
sum=$(sha256sum "$src" | cut -d' ' -f1)
if [ ! -f "$lib32" ] || [ ! -f "$lib64" ] || [ "$(cat "$stamp" 2>/dev/null)" != "$sum" ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  gcc -m32 -ffreestanding -nostdinc -fPIC -O2 -Wall -Wextra -Werror -c "$src" -o "$work/fix.o"
  ld -m elf_i386 -shared -z noexecstack -o "$work/lib32.so" "$work/fix.o" /lib/i386-linux-gnu/libc.so.6
  echo 'void wine32_trapfix_twin(void) {}' | gcc -x c -shared -fPIC -o "$work/lib64.so" -
  $SUDO install -D -m 644 "$work/lib32.so" "$lib32"
  $SUDO install -D -m 644 "$work/lib64.so" "$lib64"
  echo "$sum" | $SUDO tee "$stamp" >/dev/null
fi

# The private registration of tools/wine32.sh, else one for the whole machine.
if WINE32_EMULATE=1 bash "$here/wine32.sh" --version >/dev/null 2>&1; then exit 0; fi
binfmt=/proc/sys/fs/binfmt_misc
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  [ -f "$binfmt/register" ] || $SUDO mount -t binfmt_misc binfmt_misc "$binfmt"
  [ -f "$binfmt/qemu-i386" ] ||
    $SUDO sh -c "cat /usr/share/qemu/binfmt.d/qemu-i386.conf > $binfmt/register"
  echo "install-wine32-emulation: this kernel allows no private binfmt_misc; qemu is" \
       "registered for i386 programs machine-wide (undo: echo -1 > $binfmt/qemu-i386)" >&2
fi
/usr/lib/wine/wine --version >/dev/null
