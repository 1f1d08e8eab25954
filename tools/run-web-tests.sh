#!/usr/bin/env bash
# The playground's browser tests: builds the web preset, serves the page on a free port
# of localhost, and runs tests/web/playground.test.mjs (Playwright driving Debian's
# Chromium headless). Screenshots go to build/web/screenshots/. Ends with one line:
# "web: N passed, N failed, 0 skipped".
set -uo pipefail
cd "$(dirname "$0")/.."

bash tools/build-playground.sh || { echo "web: 0 passed, 1 failed, 0 skipped"; exit 1; }
(cd tests/web && npm ci --no-audit --no-fund >/dev/null 2>&1) || { echo "npm ci failed in tests/web"; echo "web: 0 passed, 1 failed, 0 skipped"; exit 1; }

log=build/web/serve.log
node web/serve.mjs build/web/web/site 0 >"$log" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null' EXIT
address=""
for _ in $(seq 50); do
  address=$(sed -nE 's/^playground: (http[^ ]+)$/\1/p' "$log")
  [ -n "$address" ] && break
  sleep 0.1
done
if [ -z "$address" ]; then
  cat "$log"
  echo "web: 0 passed, 1 failed, 0 skipped"
  exit 1
fi

report=build/web/tests.tap
(cd tests/web && PLAYGROUND_URL="$address" PLAYGROUND_SCREENSHOTS="$PWD/../../build/web/screenshots" \
  node --test --test-reporter=tap playground.test.mjs) >"$report" 2>&1
rc=$?
grep -E '^(not )?ok |^# (page ready|edit to)' "$report"
pass=$(sed -nE 's/^# pass ([0-9]+)/\1/p' "$report")
fail=$(sed -nE 's/^# fail ([0-9]+)/\1/p' "$report")
if [ -z "$pass" ]; then
  tail -n 30 "$report"
  pass=0 fail=1
elif [ "$rc" -ne 0 ] && [ "${fail:-0}" -eq 0 ]; then
  fail=1
fi
[ "${fail:-0}" -gt 0 ] && grep -A12 '^not ok' "$report" | head -60
echo "web: $pass passed, ${fail:-0} failed, 0 skipped"
[ "${fail:-0}" -eq 0 ]
