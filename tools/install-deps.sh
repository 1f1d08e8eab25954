#!/usr/bin/env bash
# Installs what building and testing joybits needs on Debian; does nothing when all is there.
#   install-deps.sh         everything the test command needs
#   install-deps.sh --main  only what the main job needs: the compilers and the tool's headers
set -euo pipefail

packages=(
  cmake ninja-build g++ make
  libcli11-dev nlohmann-json3-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
)
if [ "${1:-}" != --main ]; then
  packages+=(
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    wine wine32:i386 wine64
    clang libclang-rt-14-dev valgrind unzip
    emscripten chromium
  )
  # Node.js with npm, for the playground's server and browser tests; any that is already
  # there (Debian's, or another packaging's) will do.
  command -v node >/dev/null 2>&1 && command -v npm >/dev/null 2>&1 || packages+=(nodejs npm)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
[ "${1:-}" = --main ] || "${sudo_cmd[@]}" dpkg --add-architecture i386
# A mirror caught mid-sync serves an index of the wrong size and apt-get fails the whole
# update, although every other index was read: try again, then go on with what was read.
for attempt in 1 2 3; do
  "${sudo_cmd[@]}" apt-get update -qq && break
  [ "$attempt" -eq 3 ] && { echo "install-deps.sh: apt-get update still failing; going on with the indexes it read"; break; }
  echo "install-deps.sh: apt-get update failed (attempt $attempt of 3); trying again in 20 s"
  sleep 20
done
install() { DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "$@" >/dev/null; }
install "${missing[@]}" && exit 0
# 32-bit Wine needs the i386 index of every suite the machine's 64-bit libraries came
# from; where the registry cannot serve one, install the rest: the test command then
# says that it skipped the 32-bit Windows runs, and why.
rest=()
for p in "${missing[@]}"; do [ "$p" = wine32:i386 ] || rest+=("$p"); done
[ ${#rest[@]} -lt ${#missing[@]} ] && install "${rest[@]}" || exit 1
echo "install-deps.sh: wine32:i386 could not be installed from this machine's package registry; the rest is installed"
