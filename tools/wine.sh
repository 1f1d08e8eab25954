# The Wine side of the scripts in tools/, sourced by them after build-step.sh. A Windows
# preset's Wine environment is written once, by its configure, into build/PRESET/wine-env.sh
# (cmake/mingw-w64.cmake names Wine's programs and the DLL sets); everything here reads it.

# wine_env PRESET: configures PRESET if it has not been, then reads its Wine environment:
# wine_loader (the preset's architecture), wine64_loader, wine_server, wine_prefix,
# wine_run (the loader behind tests/wine_run.sh, which runs a program once more when Wine's
# client lost its server), wine_dlls_plain, wine_dlls_sim and wine_dlls_own.
wine_env() {
  local env=build/$1/wine-env.sh
  [ -f "$env" ] || cmake --preset "$1" >/dev/null 2>&1
  [ -f "$env" ] && . "$env"
}

# wine_runs PRESET: whether this machine runs PRESET's programs. Its loader is run, not
# guessed from the machine's name; when it does not run, wine_skip says why in one line.
wine_runs() {
  local bits=${1#win}
  wine_skip=
  if ! wine_env "$1"; then
    wine_skip="the $1 preset could not be configured"
  elif [ ! -e "$wine_loader" ]; then
    wine_skip="$bits-bit Wine is not installed: the package registry could not serve it"
  elif ! wine_skip=$("$wine_loader" --version 2>&1 >/dev/null); then
    # The shell's own words for a program it cannot start begin with where it stood.
    wine_skip=$(sed -E 's/^.*: line [0-9]+: //' <<<"$wine_skip")
    wine_skip="this machine cannot run $bits-bit programs (${wine_skip:-"$wine_loader did not start"})"
  else
    return 0
  fi
  wine_skip=${wine_skip//$'\n'/ }
  return 1
}

# vpad_prefix BUILD_DIR PREFIX: makes PREFIX afresh with the virtual pads' driver of
# BUILD_DIR installed (tests/vpad/vpad_prefix.sh).
vpad_prefix() {
  WINEPREFIX=$2 sh tests/vpad/vpad_prefix.sh "$1"
}

# wine_stop PREFIX: ends the Wine server of PREFIX and the programs left in it.
wine_stop() {
  WINEPREFIX=$1 "$wine_server" -k 2>/dev/null || true
}
