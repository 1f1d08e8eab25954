#!/bin/sh
# vpad_prefix.sh BUILD_DIR: makes the Wine prefix named by WINEPREFIX afresh with the
# build's 64-bit loader and server (with no display: windows exist but nothing is drawn),
# then installs the virtual pad driver (BUILD_DIR/vpad) with its anchor device, and the
# XInput pads' bus driver with its bus, which proves that the drivers start. Fails when
# Wine or a driver does not start.
set -eu
: "${WINEPREFIX:?WINEPREFIX must name the prefix folder}"
build=${1:?the build folder}
. "$build/wine-env.sh"
export WINEDEBUG=-all WINEDLLOVERRIDES="$wine_dlls_plain"
run="sh $(dirname "$0")/../wine_run.sh $wine64_loader"
"$wine_server" -k 2>/dev/null || true
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
$run wineboot --init >/dev/null 2>&1 || true
$run reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
"$wine_server" -w
test -f "$WINEPREFIX/system.reg" || { echo "vpad: Wine did not make the prefix"; exit 1; }
$run "$build/vpad/vpad_ctl.exe" anchor || { echo "vpad: the virtual pad driver did not start"; exit 1; }
$run "$build/vpad/vpad_ctl.exe" bus || { echo "vpad: the XInput pads' bus did not start"; exit 1; }
echo "vpad: prefix ready, drivers started"
