#!/bin/sh
# wine_prefix.sh LOADER: makes the Wine prefix named by WINEPREFIX once, with Wine's
# loader of the build's architecture; later runs find it ready. Fails when Wine cannot
# start.
set -eu
: "${WINEPREFIX:?WINEPREFIX must name the prefix folder}"
loader=${1:?the Wine loader}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  sh "$(dirname "$0")/wine_run.sh" "$loader" wineboot --init >/dev/null 2>&1 || true
  "${loader%/*}/wineserver" -w 2>/dev/null || wineserver -w || true
fi
test -f "$WINEPREFIX/system.reg"
