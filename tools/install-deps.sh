#!/usr/bin/env bash
# Installs what building and testing joybits needs on Debian; does nothing when all is there.
#   install-deps.sh            everything the test command needs
#   install-deps.sh --main     only what the main job needs: the compilers and the tool's headers
#   install-deps.sh --package  what the release archives need: cmake, the Windows compilers, the tool's headers
#   install-deps.sh --web      what the playground needs: cmake, Emscripten and Node.js
#   install-deps.sh --packages-only  everything the test command needs but the source of
#                              Google Benchmark (which the whole install fetches last)
set -euo pipefail

mode=${1:-}
case "$mode" in
  "" | --main | --package | --web | --packages-only) ;;
  *) echo "install-deps.sh: unknown option $mode (use --main, --package, --web or nothing)" >&2; exit 2 ;;
esac

# The packages by what they are for, each named once.
build=(cmake ninja-build make)
native=(g++)
windows=(g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64)
tool=(libcli11-dev nlohmann-json3-dev)
tests=(libgtest-dev libgmock-dev googletest libbenchmark-dev dpkg-dev wine wine32:i386 wine64 clang libclang-rt-14-dev valgrind)
archives=(unzip)
web=(emscripten)
browser=(chromium)

packages=("${build[@]}")
node_wanted=no
case "$mode" in
  --main) packages+=("${native[@]}" "${tool[@]}" "${windows[@]}") ;;
  --package) packages+=("${windows[@]}" "${tool[@]}" "${archives[@]}") ;;
  --web)
    packages+=("${web[@]}")
    node_wanted=yes ;;
  "" | --packages-only)
    packages+=("${native[@]}" "${tool[@]}" "${windows[@]}" "${archives[@]}" "${tests[@]}" "${web[@]}" "${browser[@]}")
    node_wanted=yes ;;
esac
# Node.js with npm, for the playground's server and browser tests; any that is already
# there (Debian's, or another packaging's) will do.
if [ "$node_wanted" = yes ]; then
  command -v node >/dev/null 2>&1 && command -v npm >/dev/null 2>&1 || packages+=(nodejs npm)
fi

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

# update_indexes: apt-get update. A mirror caught mid-sync serves an index of the wrong
# size and apt-get fails the whole update, although every other index was read: try
# again, then go on with what was read.
update_indexes() {
  for attempt in 1 2 3; do
    "${sudo_cmd[@]}" apt-get update -qq && return
    [ "$attempt" -eq 3 ] && { echo "install-deps.sh: apt-get update still failing; going on with the indexes it read"; return; }
    echo "install-deps.sh: apt-get update failed (attempt $attempt of 3); trying again in 20 s"
    sleep 20
  done
}

# benchmark_source: Debian's source of Google Benchmark (the version that libbenchmark-dev
# has), which the Windows presets build for the benchmark programs, unpacked once into
# /usr/local/src/benchmark. Debian ships no Windows build of it; its source comes through
# the main suite's deb-src index, added when the machine has none.
benchmark_source() {
  local dest=/usr/local/src/benchmark work
  [ -f "$dest/CMakeLists.txt" ] && return 0
  if ! apt-get source --print-uris benchmark >/dev/null 2>&1; then
    local suite uri
    suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
    uri=$(sed -nE 's/^URIs: *(http[^ ]*debian)\/?$/\1/p' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n 1)
    printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
      "${uri:-http://deb.debian.org/debian}" "$suite" | "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/joybits-source.sources >/dev/null
    update_indexes
  fi
  work=$(mktemp -d)
  (cd "$work" && apt-get source -qq benchmark >/dev/null 2>&1) && [ -f "$work"/benchmark-*/CMakeLists.txt ] &&
    "${sudo_cmd[@]}" mkdir -p "$(dirname "$dest")" && "${sudo_cmd[@]}" mv "$work"/benchmark-*/ "$dest"
  local status=$?
  rm -rf "$work"
  [ $status -eq 0 ] || echo "install-deps.sh: Debian's source of Google Benchmark could not be fetched"
  return $status
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# The full install ends with the benchmark library's source, once the packages are in.
if [ -z "$mode" ]; then
  if bash "$0" --packages-only; then benchmark_source; else exit 1; fi
  exit
fi
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
wants_i386=no
for p in "${missing[@]}"; do [[ "$p" == *:i386 ]] && wants_i386=yes; done
[ "$wants_i386" = no ] || "${sudo_cmd[@]}" dpkg --add-architecture i386
update_indexes
install() { DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "$@" >/dev/null; }
# unread_i386_suites: the suites whose amd64 package index was read but whose i386 one
# was not (a mirror that keeps serving it at the wrong size).
unread_i386_suites() {
  apt-get indextargets --format '$(RELEASE) $(ARCHITECTURE)' 'Identifier: Packages' 2>/dev/null |
    sort -u | awk '{ seen[$1] = seen[$1] " " $2 } END { for (r in seen) if (seen[r] ~ / amd64/ && seen[r] !~ / i386/) print r }'
}

# wine32_from_main SUITE: installs 32-bit Wine and its i386 libraries from the main suite
# alone. Each of them must have the same version as its amd64 twin; where the amd64 one is
# newer (it came from a suite whose i386 index cannot be read), both are named at the
# i386 one's version.
wine32_from_main() {
  local suite=$1 names pinned=() p installed candidate
  names=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
    --no-replaces --no-enhances wine32:i386 2>/dev/null | sed -nE 's/^([^ <].*):i386$/\1/p' | sort -u)
  [ -n "$names" ] || return 1
  while read -r p installed candidate; do
    [ "$candidate" != "(none)" ] && dpkg --compare-versions "$installed" gt "$candidate" &&
      pinned+=("$p=$candidate" "$p:i386=$candidate")
  done < <(join \
    <(dpkg-query -W -f='${db:Status-Abbrev} ${Package} ${Version}\n' $(sed 's/$/:amd64/' <<<"$names") 2>/dev/null |
      awk '$1 == "ii" { print $2, $3 }' | sort) \
    <(apt-cache policy $(sed 's/$/:i386/' <<<"$names") 2>/dev/null |
      awk '/^[^ ].*:$/ { sub(/:i386:$/, ""); name = $0 } /^ *Candidate:/ { print name, $2 }' | sort))
  echo "install-deps.sh: the i386 index of ${unread[*]} cannot be read; installing 32-bit Wine from $suite" \
    "alone${pinned[*]:+, with ${pinned[*]}}"
  install -t "$suite" --allow-downgrades wine32:i386 "${pinned[@]}"
}

rest=()
for p in "${missing[@]}"; do [ "$p" = wine32:i386 ] || rest+=("$p"); done
unread=()
[ ${#rest[@]} -eq ${#missing[@]} ] || mapfile -t unread < <(unread_i386_suites)
main_suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
if [ ${#unread[@]} -gt 0 ]; then
  if [ -n "$main_suite" ] && wine32_from_main "$main_suite"; then
    [ ${#rest[@]} -eq 0 ] || install "${rest[@]}"
    exit
  fi
elif install "${missing[@]}"; then
  exit 0
elif [ ${#rest[@]} -eq ${#missing[@]} ]; then
  exit 1
fi
# 32-bit Wine needs the i386 index of every suite the machine's 64-bit libraries came
# from; where the registry cannot serve one and the main suite alone does not do, install
# the rest: the test command then says that it skipped the 32-bit Windows runs, and why.
[ ${#rest[@]} -eq 0 ] || install "${rest[@]}" || exit 1
echo "install-deps.sh: wine32:i386 could not be installed from this machine's package registry" \
  "${unread[*]:+(the i386 index of ${unread[*]} cannot be read, and the main suite alone did not do)}; the rest is installed"
