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
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
