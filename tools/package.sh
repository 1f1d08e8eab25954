#!/usr/bin/env bash
# Builds the release archives on a fresh Debian machine: joybits-<version>-win32.zip and
# joybits-<version>-win64.zip in build/packages/, each with joybits.dll, joybits-host.exe,
# the licence, the user guide and SHA256SUMS. Installs what is
# missing first, as the README's commands do; safe to run again.
set -euo pipefail
cd "$(dirname "$0")/.."

source tools/build-step.sh
bash tools/install-deps.sh --package

out=build/packages
mkdir -p "$out"
for preset in win32 win64; do
  log="$out/$preset.log"
  echo "== $preset =="
  build_preset "$preset" "$log" "${shipping_options[@]}" || exit 1
  logged "$log" "$preset: packaging" cpack --config "build/$preset/CPackConfig.cmake" -B "build/$preset/package" || exit 1
  cp build/"$preset"/package/joybits-*-"$preset".zip "$out"/
done
for zip in "$out"/joybits-*.zip; do
  echo
  echo "$zip ($(stat -c %s "$zip") bytes):"
  unzip -l "$zip" | sed -n '4,$p' | grep -v -e '^-' -e ' files$'
done
