#!/usr/bin/env bash
# Configures and builds the web preset; the page and its module land in
# build/web/web/site/. Debian's Emscripten finds the acorn module it needs only when
# NODE_PATH includes /usr/share/nodejs, where Debian keeps it.
set -euo pipefail
cd "$(dirname "$0")/.."
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
log=build/web.log
mkdir -p build
if ! { cmake --preset web && cmake --build --preset web; } >"$log" 2>&1; then
  tail -n 40 "$log"
  echo "web: build failed (log: $log)"
  exit 1
fi
