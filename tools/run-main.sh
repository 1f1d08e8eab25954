#!/usr/bin/env bash
# The main job on a fresh Debian machine: install what is needed, build the native tool
# (dev preset) and the Windows plug-in (win32 preset), then run joybits-host with no
# arguments: the default mapping over two virtual controllers. Safe to run again.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh

log_dir=build/main-logs
mkdir -p "$log_dir"
# build PRESET: configure and build one preset; its log is shown only when it fails.
build() {
  local preset=$1 log="$log_dir/$1.log"
  echo "== building $preset =="
  if ! { cmake --preset "$preset" && cmake --build --preset "$preset"; } >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "$preset: build failed (log: $log)"
    exit 1
  fi
}

build dev
build win32
echo "joybits.dll: build/win32/plugin/joybits.dll (with the Windows tool beside a copy in build/win32/tools/)"
echo
echo "== build/dev/tools/joybits-host =="
build/dev/tools/joybits-host
