#!/usr/bin/env bash
# Builds the dev preset and runs every native test binary under valgrind's memcheck.
#
#   tools/run-valgrind.sh [BUILD_DIR]
#
# Any memcheck error, and any definitely or indirectly lost block, fails the run. Prints
# one line per binary ("valgrind test_text: 0 errors, 0 bytes definitely lost ok") and
# exits non-zero if any binary failed its tests or memcheck found something. Logs are
# kept in BUILD_DIR/valgrind/.
set -uo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/dev}
source tools/build-step.sh
build_preset dev "$build.valgrind-build.log" -B "$build" || exit 1

logs="$build/valgrind"
mkdir -p "$logs"
status=0
for bin in "$build"/tests/test_*; do
  [ -x "$bin" ] && [ -f "$bin" ] || continue
  name=$(basename "$bin")
  log="$logs/$name.log"
  # The test binaries replace operator new to count and fail allocations; memcheck must
  # leave that replacement alone (nouserintercepts) and watch the malloc beneath it.
  (cd "$build/tests" && valgrind --tool=memcheck --soname-synonyms=somalloc=nouserintercepts --error-exitcode=1 --leak-check=full \
      --errors-for-leak-kinds=definite,indirect --show-leak-kinds=definite,indirect \
      --track-origins=yes --log-file="$PWD/../valgrind/$name.log" "./$name" --gtest_brief=1) \
      >"$logs/$name.out" 2>&1
  rc=$?
  errors=$(sed -nE 's/.*ERROR SUMMARY: ([0-9]+) errors.*/\1/p' "$log" | tail -n 1)
  lost=$(sed -nE 's/.*definitely lost: ([0-9,]+) bytes.*/\1/p' "$log" | tail -n 1)
  tests=$(grep -E '^\[  PASSED  \] [0-9]+ tests?' "$logs/$name.out" | sed -E 's/.*\] ([0-9]+) tests?.*/\1/')
  if [ "$rc" -eq 0 ]; then
    echo "valgrind $name: ${tests:-?} tests, ${errors:-0} errors, ${lost:-0} bytes definitely lost ok"
  else
    status=1
    tail -n 30 "$log"
    echo "valgrind $name: rc $rc, ${errors:-?} errors, ${lost:-?} bytes definitely lost FAILED"
  fi
done
exit $status
