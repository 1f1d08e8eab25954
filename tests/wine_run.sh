#!/bin/sh
# wine_run.sh COMMAND [ARG...]: runs a Wine command (Wine's loader and a program) and passes
# on its output and exit status, with one exception. Wine's client now and then loses its
# server as a process starts ("wine client error:0: recvmsg: Connection reset by peer"), and
# the program then runs no further; that is Wine's, not the program's. A run whose output
# carries "wine client error" is run once more, which is said in one line, and only the
# second run's output and status are passed on, so that only the second run can pass. A
# second loss of the server is a failure of its own. Every other failure stays a failure,
# unrepeated. Standard output and standard error stay apart; what wine_run.sh says goes to
# standard error, so a program's standard output is its own.
[ $# -gt 0 ] || { echo "usage: wine_run.sh COMMAND [ARG...]" >&2; exit 2; }
work=$(mktemp -d "${TMPDIR:-/tmp}/wine_run.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT

# attempt: runs the command once, its output kept in $work until it is known.
attempt() {
  "$@" >"$work/out" 2>"$work/err"
  status=$?
  lost=$(grep -h -m 1 'wine client error' "$work/out" "$work/err" | head -n 1)
}

attempt "$@"
if [ -n "$lost" ]; then
  echo "wine_run: Wine's client lost its server ($lost); running it once more: $*" >&2
  attempt "$@"
  if [ -n "$lost" ]; then
    cat "$work/out"
    cat "$work/err" >&2
    echo "wine_run: FAILED: Wine's client lost its server again ($lost)" >&2
    exit 1
  fi
fi
cat "$work/out"
cat "$work/err" >&2
exit "$status"
