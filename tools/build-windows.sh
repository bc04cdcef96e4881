#!/usr/bin/env bash
# Cross-builds Quillon.dll with mingw-w64 (`make windows`), in two flavours
# for each architecture:
#   dist/win32/, dist/win64/      the self-contained DLL: the GCC and C++
#                                 runtimes inside, imports only system DLLs
#   dist/win32-shared-runtime/,   the DLL on mingw-w64's libgcc_s and
#   dist/win64-shared-runtime/    libstdc++ DLLs, copied beside it
# each with its import library libQuillon.dll.a, quillon.def and quillon.h,
# and then dist/quillon-VERSION-windows.zip holding all four.
# The build folders are build-win32/, build-win64/, build-win32-shared-runtime/
# and build-win64-shared-runtime/.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${JOBS:-2}
for arch in win32 win64; do
  case $arch in
    win32) toolchain=cmake/mingw-i686.cmake ;;
    win64) toolchain=cmake/mingw-x86_64.cmake ;;
  esac
  for flavour in "" -shared-runtime; do
    shared=OFF
    [ -n "$flavour" ] && shared=ON
    build=build-$arch$flavour
    cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
          -DQUILLON_TESTS=OFF -DQUILLON_TOOLS=OFF -DQUILLON_SHARED_RUNTIME=$shared
    cmake --build "$build" -j"$jobs" --target quillon
    bash tools/windows/stage.sh "$build" "dist/$arch$flavour"
  done
done

version=$(sed -n 's/^project(Quillon VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
bash tools/windows/package.sh dist "dist/quillon-$version-windows.zip"
