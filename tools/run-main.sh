#!/usr/bin/env bash
# The main job on a fresh Debian machine: install what it needs (the compilers and the
# tool's headers, nothing the tests need), build the native tool (dev preset) and the
# Windows plug-in and tool for 32-bit and 64-bit hosts (win32 and win64 presets), without
# their tests and benchmarks, then run joybits-host with no arguments: the default mapping over two
# virtual controllers. Safe to run again; the test command builds the tests into the same
# folders.
set -euo pipefail
cd "$(dirname "$0")/.."

source tools/build-step.sh
bash tools/install-deps.sh --main

# build PRESET TARGET...: one preset without its tests and benchmarks, only the targets.
build() {
  local preset=$1
  shift
  echo "== building $preset =="
  build_preset "$preset" "build/main-logs/$preset.log" "${shipping_options[@]}" -- "$@" || exit 1
}

build dev joybits-host
build win32 joybits joybits-host
build win64 joybits joybits-host
echo "joybits.dll for 32-bit hosts: build/win32/bin/joybits.dll (joybits-host.exe beside it)"
echo "joybits.dll for 64-bit hosts: build/win64/bin/joybits.dll (joybits-host.exe beside it)"
echo
echo "== build/dev/host/joybits-host =="
build/dev/host/joybits-host
