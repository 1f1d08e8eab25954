#!/bin/sh
# vpad_prefix.sh VPAD_DIR: makes the Wine prefix named by WINEPREFIX afresh with the loader
# and server named by WINELOADER and WINESERVER (64-bit, with no
# display: windows exist but nothing is drawn), then installs the virtual pad driver with
# its anchor device, which proves that the driver starts. Fails when Wine or the driver does
# not start.
set -eu
: "${WINEPREFIX:?WINEPREFIX must name the prefix folder}"
dir=${1:?the folder of the driver and vpad_ctl.exe}
wine=${WINELOADER:?WINELOADER must name the 64-bit Wine loader}
: "${WINESERVER:?WINESERVER must name the Wine server}"
run="sh $(dirname "$0")/../wine_run.sh $wine"
"$WINESERVER" -k 2>/dev/null || true
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
$run wineboot --init >/dev/null 2>&1 || true
$run reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
"$WINESERVER" -w
test -f "$WINEPREFIX/system.reg" || { echo "vpad: Wine did not make the prefix"; exit 1; }
$run "$dir/vpad_ctl.exe" anchor || { echo "vpad: the virtual pad driver did not start"; exit 1; }
echo "vpad: prefix ready, driver started"
