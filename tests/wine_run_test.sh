#!/bin/sh
# wine_run_test.sh: wine_run.sh over a fake Wine that loses its server on chosen runs.
# Each case: the fake's behaviour for its first and second run, the exit status and the
# output (standard output and error together) wine_run.sh must give, and how often the fake ran.
set -u
here=$(dirname "$0")
work=$(mktemp -d "${TMPDIR:-/tmp}/wine_run_test.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
# The fake: run k (1, 2, ...) does what its k-th argument says: "lost" prints Wine's line
# on standard error and exits 1 (as the client does), "lost-ok" prints it after a pass
# line and exits 0, "ok" passes, "fail" prints a failure and exits 3.
cat >"$work/fake" <<'EOF'
n=$(($(cat "$COUNT" 2>/dev/null || echo 0) + 1)); echo $n >"$COUNT"
eval "what=\${$n:-ok}"
case $what in
  lost) echo "wine client error:0: recvmsg: Connection reset by peer" >&2; exit 1 ;;
  lost-ok) echo "case fake: ok"; echo "wine client error:0: recvmsg: Connection reset by peer" >&2; exit 0 ;;
  ok) echo "case fake: ok (run $n)"; exit 0 ;;
  fail) echo "case fake: FAILED (run $n)"; exit 3 ;;
esac
EOF
failures=0
check() { # RUNS STATUS EXPECTED-OUTPUT -- FAKE-ARGS...
  runs=$1 want_status=$2 want=$3
  shift 4
  rm -f "$work/count"
  got=$(COUNT="$work/count" sh "$here/wine_run.sh" sh "$work/fake" "$@" 2>&1)
  status=$?
  if [ "$status" != "$want_status" ] || [ "$got" != "$want" ] || [ "$(cat "$work/count")" != "$runs" ]; then
    echo "FAILED: fake $*: status $status (want $want_status), $(cat "$work/count") runs (want $runs), output:"
    echo "$got"
    echo "wanted:"
    echo "$want"
    failures=$((failures + 1))
  fi
}
rerun="wine_run: Wine's client lost its server (wine client error:0: recvmsg: Connection reset by peer); running it once more: sh $work/fake"
check 1 0 "case fake: ok (run 1)" -- ok
check 1 3 "case fake: FAILED (run 1)" -- fail
check 2 0 "$rerun lost ok
case fake: ok (run 2)" -- lost ok
check 2 3 "$rerun lost fail
case fake: FAILED (run 2)" -- lost fail
check 2 3 "$rerun lost-ok fail
case fake: FAILED (run 2)" -- lost-ok fail
check 2 1 "$rerun lost lost
wine client error:0: recvmsg: Connection reset by peer
wine_run: FAILED: Wine's client lost its server again (wine client error:0: recvmsg: Connection reset by peer)" -- lost lost
[ "$failures" -eq 0 ] && echo "wine_run: all cases passed"
