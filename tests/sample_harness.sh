# The steps that the end-to-end scenario groups share: a fresh folder with the program, the
# sample settings and the generated minute tree, and runs of Barsync there. Sourced after
# the caller has set barsync, gen, src, work and emulator; sources tests/launch.sh.
program=$(basename "$barsync")
failures=0
# shellcheck source=launch.sh
source "$src/tests/launch.sh"

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# A fresh folder $1: bin/ holds the program, the sample settings, an empty archive tree and
# (unless $2 is "empty") the generated minute tree.
setup() {
  rm -rf "$1"
  mkdir -p "$1/bin/archive" "$1/bin/minutes"
  # Natively a hard link (the sanitizer build is 30 MB, once per scenario otherwise). Under
  # wine a copy: wine knows an image by its file, so a program started through one of
  # several links could find itself in another scenario's folder.
  if [ -z "$emulator" ]; then
    ln -f "$barsync" "$1/bin/" 2>/dev/null || cp "$barsync" "$1/bin/"
  else
    cp "$barsync" "$1/bin/"
  fi
  cp "$src/tools/Barsync.sample.ini" "$1/bin/Barsync.ini"
  # BARSYNC_TEST_THREADS: the workers of every run ([General] Threads); unset: the default.
  if [ -n "${BARSYNC_TEST_THREADS:-}" ]; then
    sed -i "s/^\[General\]\r\?\$/&\nThreads=$BARSYNC_TEST_THREADS/" "$1/bin/Barsync.ini"
  fi
  [ "${2:-}" = empty ] && return
  (cd "$1/bin" && launch "$1/gen.txt" "$gen" minutes) || fail "the generator failed"
}

# Appends the lines $2.. to the settings of folder $1.
settings() {
  local dir=$1
  shift
  printf '%s\n' "$@" >>"$dir/bin/Barsync.ini"
}

# Runs Barsync in folder $1 with the remaining arguments; sets rc.
run() {
  local dir=$1
  shift
  (cd "$dir/bin" && launch_log=$(main_log_of "$dir" "$@") launch "$dir/out.txt" "./$program" "$@")
  rc=$?
}

# Runs Barsync and expects the exit code of a run (1).
run_ok() {
  run "$@"
  [ "$rc" = 1 ] || fail "Barsync $* exited with $rc"
}

# The sample's export dates.
dates() { launch - "$gen" --dates | tr -d '\r'; }
