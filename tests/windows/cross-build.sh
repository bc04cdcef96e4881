#!/usr/bin/env bash
# Cross-builds one flavour of Quillon.dll and its Windows host programs:
#   cross-build.sh TOOLCHAIN_FILE BUILD_DIR self-contained|shared-runtime
# Configures BUILD_DIR once and then only rebuilds what changed, so a test
# run costs at most one configure and one build per architecture and flavour.
set -euo pipefail
toolchain=$1
build=$2
case $3 in
  self-contained) shared=OFF ;;
  shared-runtime) shared=ON ;;
  *) echo "usage: $0 TOOLCHAIN_FILE BUILD_DIR self-contained|shared-runtime" >&2; exit 2 ;;
esac
here=$(cd "$(dirname "$0")" && pwd)
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$here/cross" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DQUILLON_SHARED_RUNTIME=$shared
fi
cmake --build "$build" -j2
