#!/bin/sh
# wine_prefix.sh BUILD_DIR: makes the build's Wine prefix (WINEPREFIX, or the build's own
# wineprefix) once, with the build's wine-run; later runs find it ready. Fails when Wine
# cannot start.
set -eu
build=${1:?the build folder}
. "$build/wine-env.sh"
export WINEPREFIX="${WINEPREFIX:-$wine_prefix}"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  "$wine_run" wineboot --init >/dev/null 2>&1 || true
  "$wine_server" -w 2>/dev/null || true
fi
test -f "$WINEPREFIX/system.reg"
