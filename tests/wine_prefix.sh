#!/bin/sh
# Makes the Wine prefix named by WINEPREFIX once; later runs find it ready.
set -eu
: "${WINEPREFIX:?WINEPREFIX must name the prefix folder}"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot --init >/dev/null 2>&1 || true
  wineserver -w || true
fi
test -f "$WINEPREFIX/system.reg"
