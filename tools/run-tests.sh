#!/usr/bin/env bash
# Runs every test: the native suite (dev), the same under ASan and UBSan (asan), the
# 64-bit Windows build under Wine (win64), the 32-bit Windows build under Wine (win32)
# where this machine can run 32-bit programs, the mapping playground in headless Chromium
# (web), and a bounded run of each fuzz target.
# Where it cannot, the win32 stage still builds everything and runs the checks that need
# no Windows program to run, and says that the rest was skipped and why.
# Ends with one line: "N passed, N failed, N skipped".
set -uo pipefail
cd "$(dirname "$0")/.."

source tools/build-step.sh
bash tools/install-deps.sh || { echo "0 passed, 1 failed, 0 skipped"; exit 1; }

passed=0 failed=0 skipped=0
log_dir=build/test-logs
mkdir -p "$log_dir"

# count_ctest LOG: adds the totals of one ctest run to passed/failed.
count_ctest() {
  local line total bad
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n 1)
  if [ -z "$line" ]; then
    failed=$((failed + 1))
    return
  fi
  bad=$(echo "$line" | sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/')
  total=$(echo "$line" | sed -E 's/.* failed out of ([0-9]+).*/\1/')
  passed=$((passed + total - bad))
  failed=$((failed + bad))
}

# stage PRESET [CTEST ARGS...]: configure, build and test one preset.
stage() {
  local preset=$1 log="$log_dir/$1.log"
  shift
  echo "== $preset =="
  if build_preset "$preset" "$log"; then
    ctest --preset "$preset" "$@" 2>&1 | tee -a "$log" | grep -E 'tests passed|\*\*\*Failed|Failed  |Exception|Timeout' || true
    count_ctest "$log"
  else
    failed=$((failed + 1))
  fi
}

# Whether this machine runs 32-bit programs: Wine's 32-bit loader is one, so it is run,
# not guessed from the machine's name.
runs_32bit() {
  if [ ! -e /usr/lib/wine/wine ]; then
    probe_error="32-bit Wine is not installed: the package registry could not serve wine32:i386"
    return 1
  fi
  probe_error=$(/usr/lib/wine/wine --version 2>&1 >/dev/null) && return 0
  probe_error="this machine cannot run 32-bit programs (${probe_error:-"/usr/lib/wine/wine did not start"})"
  return 1
}

stage dev
stage asan
stage win64
if runs_32bit; then
  stage win32
else
  stage win32 -LE wine
  # The skipped runs are the tests left out by -LE wine; -L wine would also count the
  # fixtures those tests need, which run here.
  all_tests=$(ctest --preset win32 -N 2>/dev/null | sed -nE 's/^Total Tests: ([0-9]+)/\1/p')
  run_here=$(ctest --preset win32 -N -LE wine 2>/dev/null | sed -nE 's/^Total Tests: ([0-9]+)/\1/p')
  wine_tests=$([ -n "$all_tests" ] && [ -n "$run_here" ] && echo $((all_tests - run_here)))
  skipped=$((skipped + ${wine_tests:-0}))
  echo "win32: built, and its checks that run no Windows program passed or failed above; its ${wine_tests:-?}" \
    "Wine runs were skipped: ${probe_error//$'\n'/ }"
fi
echo "== web =="
bash tools/run-web-tests.sh >"$log_dir/web.log" 2>&1
grep -E '^(not )?ok |^web: ' "$log_dir/web.log" || tail -n 30 "$log_dir/web.log"
web_line=$(grep -E '^web: [0-9]+ passed, [0-9]+ failed' "$log_dir/web.log" | tail -n 1)
if [ -n "$web_line" ]; then
  passed=$((passed + $(echo "$web_line" | sed -E 's/^web: ([0-9]+) passed.*/\1/')))
  failed=$((failed + $(echo "$web_line" | sed -E 's/.* ([0-9]+) failed$/\1/')))
else
  failed=$((failed + 1))
fi
echo "== fuzz =="
if bash tools/run-fuzz.sh --check "${FUZZ_SECONDS:-30}" >"$log_dir/fuzz.log" 2>&1; then
  fuzz_passed=$(grep -c '^fuzz .* ok' "$log_dir/fuzz.log" || true)
  passed=$((passed + fuzz_passed))
  grep '^fuzz ' "$log_dir/fuzz.log"
  [ "$fuzz_passed" -gt 0 ] || { echo "fuzz: no target ran"; failed=$((failed + 1)); }
else
  tail -n 40 "$log_dir/fuzz.log"
  failed=$((failed + 1))
fi

echo
echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
