#!/usr/bin/env bash
# Cross-builds Quillon.dll with mingw-w64 (`make windows`):
#   dist/win32/  32-bit DLL (stdcall exports), for 32-bit hosts
#   dist/win64/  64-bit DLL, for 64-bit hosts
# each with its import library libQuillon.dll.a, quillon.def and quillon.h.
# The build folders are build-win32/ and build-win64/.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${JOBS:-2}
for arch in win32 win64; do
  case $arch in
    win32) toolchain=cmake/mingw-i686.cmake ;;
    win64) toolchain=cmake/mingw-x86_64.cmake ;;
  esac
  build=build-$arch
  dist=dist/$arch
  cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
        -DQUILLON_TESTS=OFF -DQUILLON_TOOLS=OFF
  cmake --build "$build" -j"$jobs" --target quillon
  rm -rf "$dist"
  mkdir -p "$dist"
  cp "$build/Quillon.dll" "$build/libQuillon.dll.a" "$dist/"
  cp src/core/quillon.def include/quillon.h "$dist/"
  echo "built $dist: $(cd "$dist" && echo *)"
done
