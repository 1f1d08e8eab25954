#!/usr/bin/env bash
# Runs every test: the native suite (dev), the same under ASan and UBSan (asan), the
# 32-bit Windows build under Wine (win32), and a bounded run of each fuzz target.
# Ends with one line: "N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh || { echo "0 passed, 1 failed"; exit 1; }

passed=0 failed=0
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

# stage NAME: configure, build and test one preset.
stage() {
  local preset=$1 log="$log_dir/$1.log"
  echo "== $preset =="
  if cmake --preset "$preset" >"$log" 2>&1 && cmake --build --preset "$preset" >>"$log" 2>&1; then
    ctest --preset "$preset" 2>&1 | tee -a "$log" | grep -E 'tests passed|\*\*\*Failed|Exception|Timeout' || true
    count_ctest "$log"
  else
    tail -n 40 "$log"
    echo "$preset: build failed"
    failed=$((failed + 1))
  fi
}

stage dev
stage asan
stage win32
if [ -x tools/run-fuzz.sh ]; then
  echo "== fuzz =="
  if bash tools/run-fuzz.sh --check "${FUZZ_SECONDS:-30}" >"$log_dir/fuzz.log" 2>&1; then
    fuzz_passed=$(grep -c '^fuzz .* ok' "$log_dir/fuzz.log" || true)
    passed=$((passed + fuzz_passed))
    grep '^fuzz ' "$log_dir/fuzz.log"
  else
    tail -n 40 "$log_dir/fuzz.log"
    failed=$((failed + 1))
  fi
fi

echo
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
