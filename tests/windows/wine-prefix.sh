#!/usr/bin/env bash
# Creates a fresh Wine prefix for this test run: wine-prefix.sh PREFIX.
# Every Wine test of the run shares it, so Wine starts up only once.
set -euo pipefail
here=$(dirname "$0")
source "$here/wine-env.sh" "$1"
wineserver -k 2>/dev/null || true
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
wineboot --init >/dev/null 2>&1
wineserver -w
test -d "$WINEPREFIX/drive_c/windows/system32" || {
  echo "FAIL: wineboot did not create $WINEPREFIX" >&2
  exit 1
}
test -d "$WINEPREFIX/drive_c/windows/syswow64" || {
  echo "FAIL: $WINEPREFIX cannot run 32-bit programs (wine32:i386 missing?)" >&2
  exit 1
}
echo "Wine prefix ready: $WINEPREFIX"
