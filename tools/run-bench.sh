#!/usr/bin/env bash
# Builds the benchmarks (the `bench` preset: native Release) and runs every bench_*
# program with repetitions. The console shows the aggregates (mean, median, stddev, cv);
# each program's full results, every repetition included, go to <build>/<program>.json.
#
#   tools/run-bench.sh [benchmark options...]      e.g. --benchmark_filter=BM_frame
#
# Environment: BENCH_BUILD_DIR (default build/bench), BENCH_REPETITIONS (default 10).
# Run it on a quiet machine: the load average is printed first for that reason.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${BENCH_BUILD_DIR:-build/bench}
repetitions=${BENCH_REPETITIONS:-10}

cmake --preset bench -B "$build_dir" >/dev/null
cmake --build "$build_dir"

echo "load: $(uptime)"
status=0
for program in "$build_dir"/bench/bench_*; do
  [ -x "$program" ] || continue
  name=$(basename "$program")
  echo "== $name =="
  "$program" \
    --benchmark_repetitions="$repetitions" \
    --benchmark_display_aggregates_only=true \
    --benchmark_out="$build_dir/$name.json" \
    --benchmark_out_format=json \
    "$@" || status=1
done
echo "JSON results: $build_dir/bench_*.json"
exit $status
