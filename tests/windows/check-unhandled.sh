#!/usr/bin/env bash
# Runs unhandled_host.exe (a C host of the self-contained Quillon.dll with
# no error handler) under Wine and requires that the out-of-order call ended
# the process in std::terminate, before the host's next line:
#   check-unhandled.sh PREFIX UNHANDLED_HOST WORK_DIR
set -uo pipefail
here=$(dirname "$0")
source "$here/wine-env.sh" "$1"
host=$2 work=$3
rm -rf "$work"
mkdir -p "$work"
cd "$work"
wine "$host" >stdout.txt 2>stderr.txt
status=$?
cat stdout.txt stderr.txt
fail=0
if [ "$status" -eq 0 ]; then
  echo "FAIL: the host ended normally" >&2; fail=1
fi
if ! grep -q "calling GDS_EndLib without a handler" stdout.txt; then
  echo "FAIL: the host did not reach the call" >&2; fail=1
fi
if grep -q "survived" stdout.txt; then
  echo "FAIL: the host went on after the unhandled error" >&2; fail=1
fi
if ! grep -q "terminate called after throwing an instance of 'GDSIIException'" stderr.txt; then
  echo "FAIL: the process did not end in std::terminate" >&2; fail=1
fi
[ $fail -eq 0 ] && echo "the unhandled error ended the process (exit status $status)"
exit $fail
