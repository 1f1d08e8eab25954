#!/usr/bin/env bash
# Runs every test: the configure of each preset as the main job does it on a fresh machine
# (fresh), the native suite (dev), the same under ASan and UBSan (asan), the
# 64-bit Windows build under Wine (win64), the 32-bit Windows build under Wine (win32)
# where this machine can run 32-bit programs, the mapping playground in headless Chromium
# (web), and a bounded run of each fuzz target.
# Where it cannot, the win32 stage still builds everything and runs the checks that need
# no Windows program to run, and says that the rest was skipped and why.
# Ends with one line: "N passed, N failed, N skipped".
set -uo pipefail
cd "$(dirname "$0")/.."

source tools/build-step.sh
source tools/wine.sh
bash tools/install-deps.sh || { echo "0 passed, 1 failed, 0 skipped"; exit 1; }

passed=0 failed=0 skipped=0
log_dir=build/test-logs
mkdir -p "$log_dir"

# tally LINE: prints a stage's line, "STAGE: N passed, N failed, N skipped", and adds it
# to the totals; a stage that printed no such line counts as one failure.
tally() {
  local form='^[a-z0-9]+: ([0-9]+) passed, ([0-9]+) failed, ([0-9]+) skipped$'
  if [[ ${1:-} =~ $form ]]; then
    echo "$1"
    passed=$((passed + BASH_REMATCH[1]))
    failed=$((failed + BASH_REMATCH[2]))
    skipped=$((skipped + BASH_REMATCH[3]))
  else
    echo "${2:-a stage}: it printed no count, counted as 1 failed"
    failed=$((failed + 1))
  fi
}

# ctest_line NAME LOG [SKIPPED]: the stage line of a ctest run, from its summary.
ctest_line() {
  local summary='([0-9]+) tests? failed out of ([0-9]+)'
  [[ $(grep -E 'tests passed, [0-9]+ tests? failed out of' "$2" | tail -n 1) =~ $summary ]] || return
  echo "$1: $((BASH_REMATCH[2] - BASH_REMATCH[1])) passed, ${BASH_REMATCH[1]} failed, ${3:-0} skipped"
}

# stage PRESET [SKIPPED [CTEST ARGS...]]: configure, build and test one preset; SKIPPED
# tests that the machine cannot run are counted as such.
stage() {
  local preset=$1 log="$log_dir/$1.log" skipped_here=${2:-0}
  shift $(($# < 2 ? $# : 2))
  echo "== $preset =="
  if build_preset "$preset" "$log"; then
    ctest --preset "$preset" "$@" 2>&1 | tee -a "$log" | grep -E '\*\*\*Failed|Failed  |Exception|Timeout|lost its server' || true
    tally "$(ctest_line "$preset" "$log" "$skipped_here")" "$preset"
  else
    tally "$preset: 0 passed, 1 failed, $skipped_here skipped"
  fi
}

# fresh_machine_check: configures each preset as the main job does (shipping_options), in a
# folder of its own, with what only the tests need hidden as on a machine where the test
# command never ran: GoogleTest, Google Benchmark and the benchmarks' source. A preset whose
# shipping build wants any of them fails here, although this command installed them.
fresh_machine_check() {
  local preset passed_here=0 failed_here=0 none
  none=$(mktemp -d)
  : >"$log_dir/fresh.log"
  echo "== fresh =="
  for preset in dev win32 win64; do
    if logged "$log_dir/fresh.log" "fresh: $preset's shipping configure" cmake --preset "$preset" \
      -B "build/fresh/$preset" --fresh "${shipping_options[@]}" -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON \
      -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON -DJOYBITS_BENCHMARK_SOURCE="$none"; then
      passed_here=$((passed_here + 1))
    else
      failed_here=$((failed_here + 1))
    fi
  done
  rmdir "$none"
  tally "fresh: $passed_here passed, $failed_here failed, 0 skipped"
}

fresh_machine_check
stage dev
stage asan
stage win64
if wine_runs win32; then
  stage win32
else
  # The skipped runs are the tests left out by -LE wine; -L wine would also count the
  # fixtures those tests need, which run here.
  build_preset win32 "$log_dir/win32.log" >/dev/null 2>&1
  total() { ctest --preset win32 -N "$@" 2>/dev/null | sed -nE 's/^Total Tests: ([0-9]+)/\1/p'; }
  all_tests=$(total) run_here=$(total -LE wine)
  wine_tests=$([ -n "$all_tests" ] && [ -n "$run_here" ] && echo $((all_tests - run_here)))
  echo "win32: its ${wine_tests:-?} Wine runs are skipped: $wine_skip"
  stage win32 "${wine_tests:-0}" -LE wine
fi
echo "== web =="
bash tools/run-web-tests.sh >"$log_dir/web.log" 2>&1
grep -E '^(not )?ok ' "$log_dir/web.log" || tail -n 30 "$log_dir/web.log"
tally "$(grep -E '^web: ' "$log_dir/web.log" | tail -n 1)" web
echo "== fuzz =="
bash tools/run-fuzz.sh --check "${FUZZ_SECONDS:-30}" >"$log_dir/fuzz.log" 2>&1 || tail -n 40 "$log_dir/fuzz.log"
grep -E '^fuzz [a-z]+: ' "$log_dir/fuzz.log"
tally "$(grep -E '^fuzz: ' "$log_dir/fuzz.log" | tail -n 1)" fuzz

echo
echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
