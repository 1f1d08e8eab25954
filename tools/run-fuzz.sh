#!/usr/bin/env bash
# Builds the fuzz preset and runs every fuzz target for a bounded time.
#
#   tools/run-fuzz.sh [SECONDS] [BUILD_DIR]
#
# SECONDS per target (default 30). Each target starts from a copy of its seed corpus
# (fuzz/corpus/<target>/) in BUILD_DIR/corpus/<target>, so the repository is never
# written; crash reproducers land in BUILD_DIR/artifacts/<target>/. Prints one line per
# target, "fuzz <target>: <runs> runs in <s> s, cov <n>, ft <n>, corpus <n> ok", or
# "... FAILED" with the end of its log; exits non-zero if any target crashed, leaked,
# timed out on an input or failed to build.
set -uo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
build=${2:-build/fuzz}
targets=(text mapping commands)

if ! { cmake --preset fuzz -B "$build" && cmake --build "$build"; } >"$build.log" 2>&1; then
  tail -n 40 "$build.log"
  echo "fuzz: build failed"
  exit 1
fi

status=0
for t in "${targets[@]}"; do
  corpus="$build/corpus/$t"
  artifacts="$build/artifacts/$t"
  log="$build/fuzz_$t.log"
  rm -rf "$corpus" "$artifacts"
  mkdir -p "$corpus" "$artifacts"
  cp fuzz/corpus/"$t"/* "$corpus"/
  start=$(date +%s)
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1
  rc=$?
  elapsed=$(( $(date +%s) - start ))
  runs=$(grep -E '^stat::number_of_executed_units:' "$log" | awk '{print $2}')
  last=$(grep -E '^#[0-9]+' "$log" | tail -n 1)
  cov=$(echo "$last" | sed -nE 's/.* cov: ([0-9]+).*/\1/p')
  ft=$(echo "$last" | sed -nE 's/.* ft: ([0-9]+).*/\1/p')
  units=$(ls "$corpus" | wc -l)
  if [ "$rc" -eq 0 ] && [ -z "$(ls -A "$artifacts")" ]; then
    echo "fuzz $t: ${runs:-0} runs in $elapsed s, cov ${cov:-?}, ft ${ft:-?}, corpus $units ok"
  else
    status=1
    tail -n 30 "$log"
    echo "fuzz $t: crashed after ${runs:-?} runs (rc $rc), reproducers in $artifacts FAILED"
  fi
done
exit $status
