#!/usr/bin/env bash
# Runs a Windows host program under Wine in an empty folder and passes on its
# exit status: run-host.sh PREFIX WORK_DIR HOST [ARGUMENT...]
set -euo pipefail
here=$(dirname "$0")
source "$here/wine-env.sh" "$1"
work=$2 host=$3
shift 3
rm -rf "$work"
mkdir -p "$work"
cd "$work"
wine "$host" "$@"
# QUILLON_READ_BACK names a file the host wrote that KLayout must read.
if [ -n "${QUILLON_READ_BACK:-}" ]; then
  QT_QPA_PLATFORM=offscreen klayout -b -r "$here/../klayout/read_library.py" \
    -rd file="$work/$QUILLON_READ_BACK"
fi
