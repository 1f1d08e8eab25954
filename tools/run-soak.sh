#!/usr/bin/env bash
# run-soak.sh SECONDS [SEED]: runs the shipped joybits.dll over Wine's own DirectInput for
# SECONDS with eight virtual pads whose reports change every few frames, pads unplugged and
# plugged, random mappings configured and the host's window losing and regaining the
# foreground, and checks every bit of every frame (tests/vpad/vpad_soak.cpp). 64-bit, and
# 32-bit where this machine runs 32-bit Wine (otherwise one line says why not). Each run
# prints its seed, which replays it: run-soak.sh SECONDS SEED. Each run's last line is
# "soak: F frames, C configures, U unplugs, W wrong bits, memory +K KiB, handles +H"; the
# script's last line is the last run's. Exit status 0 when every run met its goal.
# A run's prefix is build/<preset>/soak-prefix, made afresh; its log build/test-logs/soak-<preset>.log.
set -uo pipefail
cd "$(dirname "$0")/.."
source tools/build-step.sh
source tools/wine.sh
seconds=${1:?usage: run-soak.sh SECONDS [SEED]}
seed=${2:-}

presets=()
for preset in win64 win32; do
  if wine_runs "$preset"; then presets+=("$preset"); else echo "$preset: soak skipped: $wine_skip"; fi
done

status=0
for preset in "${presets[@]}"; do
  build=$PWD/build/$preset
  log=build/test-logs/soak-$preset.log
  build_preset "$preset" "$log" -- vpad_soak || { status=1; continue; }
  wine_env "$preset"
  prefix=$build/soak-prefix
  vpad_prefix "$build" "$prefix" >>"$log" 2>&1 ||
    { echo "$preset: FAILED: the soak's prefix or driver did not start (log: $log)"; status=1; continue; }
  echo "== $preset soak, $seconds s =="
  WINEPREFIX=$prefix WINEDLLOVERRIDES=$wine_dlls_own "$wine_run" "$build/vpad/vpad_soak.exe" "$build/bin/joybits.dll" \
    "$build/vpad/vpad_ctl.exe" "$PWD/tests/vpad/soak_pads.txt" "$seconds" $seed 2>&1 | tee -a "$log"
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  wine_stop "$prefix"
done
exit $status
