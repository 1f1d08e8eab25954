#!/usr/bin/env bash
# The main job on a fresh Debian machine: install what is needed, build the native tool
# (dev preset) and the Windows plug-in for 32-bit and 64-bit hosts (win32 and win64
# presets), then run joybits-host with no
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
build win64
echo "joybits.dll for 32-bit hosts: build/win32/bin/joybits.dll (joybits-host.exe beside it)"
echo "joybits.dll for 64-bit hosts: build/win64/bin/joybits.dll (joybits-host.exe beside it)"
echo
echo "== build/dev/tools/joybits-host =="
build/dev/tools/joybits-host
