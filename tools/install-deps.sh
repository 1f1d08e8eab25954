#!/usr/bin/env bash
# Installs what building and testing joybits needs on Debian; does nothing when all is there.
#   install-deps.sh            everything the test command needs
#   install-deps.sh --main     only what the main job needs: the compilers and the tool's headers
#   install-deps.sh --package  what the release archives need: cmake, the Windows compilers, the tool's headers
#   install-deps.sh --web      what the playground needs: cmake, Emscripten and Node.js
set -euo pipefail

mode=${1:-}
case "$mode" in
  "" | --main | --package | --web) ;;
  *) echo "install-deps.sh: unknown option $mode (use --main, --package, --web or nothing)" >&2; exit 2 ;;
esac

# The packages by what they are for, each named once.
build=(cmake ninja-build make)
native=(g++)
windows=(g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64)
tool=(libcli11-dev nlohmann-json3-dev)
tests=(libgtest-dev libgmock-dev libbenchmark-dev wine wine32:i386 wine64 clang libclang-rt-14-dev valgrind)
archives=(googletest unzip)
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
  "")
    packages+=("${native[@]}" "${tool[@]}" "${windows[@]}" "${archives[@]}" "${tests[@]}" "${web[@]}" "${browser[@]}")
    node_wanted=yes ;;
esac
# Node.js with npm, for the playground's server and browser tests; any that is already
# there (Debian's, or another packaging's) will do.
if [ "$node_wanted" = yes ]; then
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
wants_i386=no
for p in "${missing[@]}"; do [[ "$p" == *:i386 ]] && wants_i386=yes; done
[ "$wants_i386" = no ] || "${sudo_cmd[@]}" dpkg --add-architecture i386
# A mirror caught mid-sync serves an index of the wrong size and apt-get fails the whole
# update, although every other index was read: try again, then go on with what was read.
for attempt in 1 2 3; do
  "${sudo_cmd[@]}" apt-get update -qq && break
  [ "$attempt" -eq 3 ] && { echo "install-deps.sh: apt-get update still failing; going on with the indexes it read"; break; }
  echo "install-deps.sh: apt-get update failed (attempt $attempt of 3); trying again in 20 s"
  sleep 20
done
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
