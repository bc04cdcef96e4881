#!/usr/bin/env bash
# Cross-builds Quillon.dll and the Windows host programs:
#   cross-build.sh TOOLCHAIN_FILE BUILD_DIR
# Configures BUILD_DIR once and then only rebuilds what changed, so a test
# run costs at most one configure and one build per architecture.
set -euo pipefail
toolchain=$1
build=$2
here=$(cd "$(dirname "$0")" && pwd)
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$here/cross" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release
fi
cmake --build "$build" -j2
