#!/usr/bin/env bash
# Builds the fuzz preset and runs fuzz targets for a bounded time each.
#
#   tools/run-fuzz.sh [--check] [--runs N] SECONDS [TARGET]
#
# TARGET is text, mapping or commands; all three, one after the other, when it is not
# given. Each target starts from its committed corpus (fuzz/corpus/<target>/), copied
# into build/fuzz/corpus/<target>/. A campaign (the default) then merges what the run
# found back into fuzz/corpus/<target>/, minimised with -merge=1; inputs named
# regression-* are kept whatever the merge decides. --check (the test command's short
# runs) leaves the repository as it is. --runs N ends each target's run after N
# executions (the committed corpus's included) if SECONDS have not passed first.
#
# Prints one line per target: "fuzz <target>: <runs> runs in <s> s (<r>/s), cov <n>, ft <n>,
# corpus <before> -> <after> ok", then "fuzz: N passed, 0 failed, 0 skipped". At the first finding (a crash, a leak, an input that
# timed out) it stops, prints the end of the fuzzer's log, where the input was saved and
# the command that reproduces it, and exits non-zero. JOYBITS_FUZZ_BUILD names another build
# folder than build/fuzz.
set -uo pipefail
cd "$(dirname "$0")/.."

merge=1
if [ "${1:-}" = "--check" ]; then
  merge=0
  shift
fi
runs_limit=()
if [ "${1:-}" = "--runs" ]; then
  runs_limit=("-runs=$2")
  shift 2
fi
seconds=${1:-30}
targets=(text mapping commands)
if [ -n "${2:-}" ]; then
  case "$2" in
    text|mapping|commands) targets=("$2") ;;
    *) echo "run-fuzz.sh: no fuzz target '$2' (text, mapping, commands)"; exit 2 ;;
  esac
fi
# A campaign can run beside the test command's short runs in a build folder of its own.
build=${JOYBITS_FUZZ_BUILD:-build/fuzz}

source tools/build-step.sh
build_preset fuzz "$build.log" -B "$build" || exit 1

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

ran=0
for t in "${targets[@]}"; do
  fuzzer="$build/fuzz/fuzz_$t"
  committed="fuzz/corpus/$t"
  corpus="$build/corpus/$t"
  artifacts="$build/artifacts/$t"
  log="$build/fuzz_$t.log"
  rm -rf "$corpus" "$artifacts"
  mkdir -p "$corpus" "$artifacts"
  cp "$committed"/* "$corpus"/
  before=$(ls "$committed" | wc -l)
  start=$(date +%s)
  "$fuzzer" -max_total_time="$seconds" "${runs_limit[@]}" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1
  rc=$?
  elapsed=$(( $(date +%s) - start ))
  found=$(ls -A "$artifacts")
  if [ "$rc" -ne 0 ] || [ -n "$found" ]; then
    tail -n 30 "$log"
    echo "fuzz $t: finding after $elapsed s (rc $rc), log $log FAILED"
    for f in $found; do
      echo "  input saved as $artifacts/$f"
      echo "  reproduce with: $fuzzer $artifacts/$f"
    done
    exit 1
  fi
  runs=$(grep -E '^stat::number_of_executed_units:' "$log" | awk '{print $2}')
  last=$(grep -E '^#[0-9]+' "$log" | tail -n 1)
  cov=$(echo "$last" | sed -nE 's/.* cov: ([0-9]+).*/\1/p')
  ft=$(echo "$last" | sed -nE 's/.* ft: ([0-9]+).*/\1/p')
  after=$(ls "$corpus" | wc -l)
  if [ "$merge" -eq 1 ]; then
    merged="$build/merged/$t"
    rm -rf "$merged"
    mkdir -p "$merged"
    if ! "$fuzzer" -merge=1 "$merged" "$committed" "$corpus" >"$build/merge_$t.log" 2>&1; then
      tail -n 20 "$build/merge_$t.log"
      echo "fuzz $t: merge failed FAILED"
      exit 1
    fi
    find "$committed" -maxdepth 1 -type f ! -name 'regression-*' -delete
    cp "$merged"/* "$committed"/
    after=$(ls "$committed" | wc -l)
  fi
  echo "fuzz $t: ${runs:-0} runs in $elapsed s ($(( ${runs:-0} / (elapsed > 0 ? elapsed : 1) ))/s), cov ${cov:-?}, ft ${ft:-?}, corpus $before -> $after ok"
  ran=$((ran + 1))
done
echo "fuzz: $ran passed, 0 failed, 0 skipped"
exit 0
