#!/usr/bin/env bash
# Instructions per entry of the evaluation and of the bare walk of a table, counted by
# valgrind's callgrind: a figure that does not depend on what else the machine is doing.
# It is the native build's steady figure to compare changes by, not a target: the targets
# are the timings of tools/run-bench.sh, taken on all three builds.
#
#   tools/run-callgrind.sh
#
# Builds the bench preset (native Release), runs bench_evaluation under callgrind for
# each table, and prints, per benchmark, the instructions of evaluate_decoded (or of the
# walk) divided by its calls and by the entries of the table.
set -euo pipefail
cd "$(dirname "$0")/.."

source tools/build-step.sh
build=${BENCH_BUILD_DIR:-build/bench}
build_preset bench build/test-logs/bench-native.log -B "$build" || exit 1
out=$build/callgrind
mkdir -p "$out"

# measure BENCHMARK FUNCTION ENTRIES
measure() {
  local file="$out/$1.out"
  valgrind --tool=callgrind --callgrind-out-file="$file" "$build/bench/bench_evaluation" \
    --benchmark_filter="^$1\$" --benchmark_min_time=0.01 >/dev/null 2>&1
  # In the caller tree a function's block lists its callers ("< ... (Nx)") and then its
  # own line ("* ..."), whose first figure is its instructions.
  callgrind_annotate --tree=caller "$file" 2>/dev/null | awk -v fn="$2" -v bench="$1" -v entries="$3" '
    /^$/ { calls = 0; next }
    / < / && match($0, /\(([0-9,]+)x\)/) { n = substr($0, RSTART + 1, RLENGTH - 3); gsub(",", "", n); calls += n }
    / \* / && index($0, ":" fn "(") { total = $1; gsub(",", "", total); found_calls = calls }
    END {
      if (total == 0 || found_calls == 0) { print bench ": no figure"; exit 1 }
      printf "%-30s %-17s %8.0f instructions per call, %5.1f per entry\n", bench, fn, total / found_calls, total / found_calls / entries
    }'
}

measure BM_evaluate_entries_decoded evaluate_decoded 160
measure BM_evaluate_default_mapping_decoded evaluate_decoded 32
measure BM_evaluate_grouped_mapping_decoded evaluate_decoded 160
measure BM_baseline_table_walk walk_table 160
