#!/usr/bin/env bash
# A long fuzzing campaign: every target (or the ones named) in turn, one at a time, at the
# lowest priority, for SECONDS each, starting from the committed seeds and regression
# inputs. libFuzzer runs in fork mode and goes on after a finding, so one run reports all
# it finds. Prints per target: executions, coverage (edges, features), corpus, findings,
# time; findings are written to build/fuzz-campaign/<target>/findings/.
#
#   bash tests/fuzz/campaign.sh [SECONDS] [TARGET...]      (build the fuzz preset first)
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-3600}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(minute_file archive_file settings change_entries interval_dir)
out=$PWD/build/fuzz-campaign
# Archive writes are flushed to disk; a memory file system keeps that cheap.
[ -d /dev/shm ] && export TMPDIR=/dev/shm

for t in "${targets[@]}"; do
  dir=$out/$t
  mkdir -p "$dir/corpus" "$dir/findings"
  cp "build/fuzz/tests/fuzz/fuzz_$t" "$dir/fuzz_$t"  # a rebuild meanwhile does not disturb it
  # Absolute paths: the targets make their scratch folder the current directory.
  dirs=("$dir/corpus" "$PWD/tests/fuzz/corpus/$t")
  [ -d "tests/fuzz/regressions/$t" ] && dirs+=("$PWD/tests/fuzz/regressions/$t")
  start=$(date +%s)
  # The jobs' own logs are temporary: sanitizer reports go to files beside the findings.
  ASAN_OPTIONS=log_path=$dir/findings/sanitizer \
  UBSAN_OPTIONS=log_path=$dir/findings/sanitizer:print_stacktrace=1 \
  nice -n 19 "$dir/fuzz_$t" -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
    -max_total_time="$seconds" -timeout=60 -rss_limit_mb=4096 -close_fd_mask=1 \
    -artifact_prefix="$dir/findings/" "${dirs[@]}" >"$dir/log" 2>&1 || true
  took=$(($(date +%s) - start))
  last=$(grep -E '^#[0-9]+: cov:' "$dir/log" | tail -n1 || true)
  inputs=$(find "$dir/findings" -type f -name 'crash-*' -o -type f -name 'timeout-*' -o -type f -name 'oom-*' | wc -l)
  reports=$(find "$dir/findings" -type f -name 'sanitizer.*' | wc -l)
  echo "$t: ${last:-no progress line} | failing inputs: $inputs, sanitizer reports: $reports | ${took}s"
done
