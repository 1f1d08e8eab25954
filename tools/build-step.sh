# The step the scripts in tools/ share, sourced by them: configure and build a preset with
# its output kept in a log, shown only when something fails.

# The configure options of a build that ships (tools/run-main.sh, tools/package.sh): the
# plug-in and the tool, without the tests and the benchmarks, whose libraries and sources
# only the test command installs. The test command configures every preset with them on a
# machine where it hides those (fresh_machine_check in tools/run-tests.sh).
shipping_options=(-DJOYBITS_BUILD_TESTS=OFF -DJOYBITS_BUILD_BENCH=OFF)

# logged LOG WHAT COMMAND...: runs COMMAND with its output appended to LOG (its folder is
# made first). When COMMAND fails, shows the log's last 40 lines, says
# "WHAT failed (log: LOG)" and returns 1.
logged() {
  local log=$1 what=$2
  shift 2
  mkdir -p "$(dirname "$log")"
  "$@" >>"$log" 2>&1 && return 0
  tail -n 40 "$log"
  echo "$what failed (log: $log)"
  return 1
}

# build_preset PRESET LOG [-B DIR] [CONFIGURE_OPTION...] [-- TARGET...]: configures PRESET
# into DIR (the preset's own build/PRESET when not given) and builds it, or only the
# TARGETs, with a fresh LOG; says "PRESET: build failed" and returns 1 when either fails.
build_preset() {
  local preset=$1 log=$2 dir=build/$1
  shift 2
  if [ "${1:-}" = -B ]; then
    dir=$2
    shift 2
  fi
  local configure=() build=(cmake --build "$dir")
  while [ $# -gt 0 ] && [ "$1" != -- ]; do
    configure+=("$1")
    shift
  done
  [ $# -gt 0 ] && shift && build+=(--target "$@")
  mkdir -p "$(dirname "$log")"
  : >"$log"
  logged "$log" "$preset: build" cmake --preset "$preset" -B "$dir" "${configure[@]}" &&
    logged "$log" "$preset: build" "${build[@]}"
}
