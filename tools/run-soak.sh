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
seconds=${1:?usage: run-soak.sh SECONDS [SEED]}
seed=${2:-}

presets=(win64)
if [ ! -e /usr/lib/wine/wine ]; then
  echo "win32: soak skipped: 32-bit Wine is not installed (the package registry could not serve wine32:i386)"
elif probe=$(/usr/lib/wine/wine --version 2>&1 >/dev/null); then
  presets+=(win32)
else
  echo "win32: soak skipped: this machine cannot run 32-bit programs (${probe//$'\n'/ })"
fi

status=0
for preset in "${presets[@]}"; do
  build=$PWD/build/$preset
  log=build/test-logs/soak-$preset.log
  build_preset "$preset" "$log" -- vpad_soak || { status=1; continue; }
  export WINEPREFIX=$build/soak-prefix WINEDEBUG=-all
  WINEDLLOVERRIDES="mscoree,mshtml=" WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver \
    sh tests/vpad/vpad_prefix.sh "$build/vpad" >>"$log" 2>&1 ||
    { echo "$preset: FAILED: the soak's prefix or driver did not start (log: $log)"; status=1; continue; }
  echo "== $preset soak, $seconds s =="
  WINEDLLOVERRIDES="dinput8=b;mscoree,mshtml=" "$build/wine-run" "$build/vpad/vpad_soak.exe" "$build/bin/joybits.dll" \
    "$build/vpad/vpad_ctl.exe" "$PWD/tests/vpad/soak_pads.txt" "$seconds" $seed 2>&1 | tee -a "$log"
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  /usr/lib/wine/wineserver -k 2>/dev/null || true
done
exit $status
