#!/usr/bin/env bash
# Builds and runs the benchmarks of three builds in one run, and prints them side by side:
#   native  the `bench` preset (Release, Google Benchmark), into build/bench
#   win32   the `win32` preset's bench programs under Wine's 32-bit loader, where this
#           machine runs 32-bit programs (probed as tools/run-tests.sh does)
#   win64   the `win64` preset's bench programs under Wine's 64-bit loader
# Each program runs with repetitions, one build after the other for each program, so that
# the builds see the same machine; each build's JSON results, every repetition included,
# go to <build>/bench_<topic>.json (build/bench, build/win32/bench, build/win64/bench), and
# tools/bench_table.mjs prints the medians, the per-entry figures and the ratios.
# Then, for each Windows build, the host's frame through the shipped joybits.dll over
# Wine's own dinput8.dll with 1, 2 and 8 virtual pads (tests/vpad/), beside the platform's
# own Poll and GetDeviceState for the same pads (bench/vpad_frame.cpp): one line per pad
# count with the medians, in a fresh prefix of the pads' own, build/vpad-bench-prefix; and
# what Wine's own XInput state query costs over 1 and 4 virtual XInput pads, for a
# connected and an empty user (bench/xinput_state.cpp).
#
#   tools/run-bench.sh [benchmark options...]      e.g. --benchmark_filter=BM_frame
#
# Environment: BENCH_BUILD_DIR (default build/bench), BENCH_REPETITIONS (default 10),
# BENCH_BUILDS (default "native win32 win64"), BENCH_VPAD_SAMPLES (samples of ten frames
# per pad count, default 500; 0 leaves the virtual pads out).
# Run it on a quiet machine: the load average is printed first and last for that reason.
set -euo pipefail
cd "$(dirname "$0")/.."

native_dir=${BENCH_BUILD_DIR:-build/bench}
repetitions=${BENCH_REPETITIONS:-10}
wanted=${BENCH_BUILDS:-native win32 win64}
vpad_samples=${BENCH_VPAD_SAMPLES:-500}
programs="bench_evaluation bench_frame bench_configure bench_compile"

source tools/build-step.sh
source tools/wine.sh
log_dir=build/test-logs

builds=()
for build in $wanted; do
  case $build in
  native)
    build_preset bench "$log_dir/bench-native.log" -B "$native_dir" || exit 1
    builds+=(native)
    ;;
  win32 | win64)
    if ! wine_runs "$build"; then
      echo "$build: not run, $wine_skip"
      continue
    fi
    targets=$programs
    [ "$vpad_samples" = 0 ] || targets="$targets vpad_frame xinput_state"
    build_preset "$build" "$log_dir/bench-$build.log" -- $targets || exit 1
    wine_env "$build"
    sh tests/wine_prefix.sh "build/$build"
    mkdir -p "build/$build/bench"
    builds+=("$build")
    ;;
  *) echo "unknown build: $build" >&2; exit 2 ;;
  esac
done

# run BUILD PROGRAM [options...]: one bench program of one build, its JSON into the build's folder.
run() {
  local build=$1 program=$2
  shift 2
  local options=(--benchmark_repetitions="$repetitions" --benchmark_display_aggregates_only=true "$@")
  if [ "$build" = native ]; then
    "$native_dir/bench/$program" "${options[@]}" --benchmark_out="$native_dir/$program.json" --benchmark_out_format=json
  else
    (cd "build/$build/test-bin" && "../wine-run" "$program.exe" "${options[@]}" --benchmark_out="../bench/$program.json")
  fi
}

echo "load: $(uptime)"
status=0
folders=()
for build in "${builds[@]}"; do
  [ "$build" = native ] && folders+=("native=$native_dir") || folders+=("$build=build/$build/bench")
done
for program in $programs; do
  for build in "${builds[@]}"; do
    echo "== $program ($build) =="
    run "$build" "$program" "$@" || status=1
  done
done
echo "load: $(uptime)"
echo
node tools/bench_table.mjs "${folders[@]}"

# The frame over Wine's own DirectInput. The pads' driver is 64-bit in both builds, so one
# 64-bit prefix serves both; a 32-bit program runs in it as in the vpad cases.
vpad_prefix_dir=$PWD/build/vpad-bench-prefix
made_prefix=
for build in "${builds[@]}"; do
  [ "$build" = native ] || [ "$vpad_samples" = 0 ] && continue
  wine_env "$build"
  if [ -z "$made_prefix" ]; then
    vpad_prefix "build/$build" "$vpad_prefix_dir" || { status=1; break; }
    made_prefix=yes
    echo
  fi
  echo "== vpad_frame ($build, over Wine's dinput8; load: $(uptime | sed 's/.*load average: //')) =="
  WINEPREFIX=$vpad_prefix_dir WINEDLLOVERRIDES=$wine_dlls_own "$wine_run" \
    "build/$build/vpad/vpad_frame.exe" "build/$build/bin/joybits.dll" "build/$build/vpad/vpad_ctl.exe" \
    bench/vpad_frame_pads.txt "$vpad_samples" || status=1
  echo "== xinput_state ($build, Wine's xinput1_4; load: $(uptime | sed 's/.*load average: //')) =="
  WINEPREFIX=$vpad_prefix_dir WINEDLLOVERRIDES=$wine_dlls_own "$wine_run" \
    "build/$build/vpad/xinput_state.exe" "build/$build/vpad/vpad_ctl.exe" bench/xinput_pads.txt 600 \
    "build/$build/bin/joybits.dll" || status=1
done
[ -z "$made_prefix" ] || wine_stop "$vpad_prefix_dir"
exit $status
