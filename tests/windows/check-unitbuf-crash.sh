#!/usr/bin/env bash
# Runs "runtime_host.exe unitbuf log.txt" under Wine: the host logs through a
# unitbuf stream, catches a GDSIIException, logs again and aborts. Every line
# must be in the log, the one after the catch included:
#   check-unitbuf-crash.sh PREFIX RUNTIME_HOST WORK_DIR
set -uo pipefail
here=$(dirname "$0")
source "$here/wine-env.sh" "$1"
host=$2 work=$3
rm -rf "$work"
mkdir -p "$work"
cd "$work"
wine "$host" unitbuf log.txt
status=$?
expected=$'before the catch\ncaught: Error: Structure is not opened.\nafter the catch'
fail=0
if [ "$status" -ne 3 ]; then
  echo "FAIL: exit status $status, not the 3 of abort()" >&2; fail=1
fi
# The stream is in text mode: Windows line ends.
if [ "$(tr -d '\r' < log.txt 2>/dev/null)" != "$expected" ]; then
  echo "FAIL: log.txt holds:" >&2
  cat log.txt >&2 2>/dev/null
  fail=1
fi
[ $fail -eq 0 ] && echo "every line of the unitbuf log survived the crash"
exit $fail
