#!/usr/bin/env bash
# Copies one built flavour of Quillon.dll into a distribution folder:
#   stage.sh BUILD_DIR DEST_DIR
# BUILD_DIR is a configured and built Windows build (the release build of
# make windows, or a cross build of the tests); DEST_DIR receives Quillon.dll,
# its import library libQuillon.dll.a, quillon.def and quillon.h, and, for
# the shared-runtime flavour, the GCC and C++ runtime DLLs that the build
# copied beside Quillon.dll.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
build=$1 dest=$2

dll=$(find "$build" -name Quillon.dll -not -path "*/CMakeFiles/*" | head -n 1)
import_library=$(find "$build" -name libQuillon.dll.a -not -path "*/CMakeFiles/*" | head -n 1)
if [ -z "$dll" ] || [ -z "$import_library" ]; then
  echo "stage: no Quillon.dll and libQuillon.dll.a under $build" >&2
  exit 1
fi
rm -rf "$dest"
mkdir -p "$dest"
cp "$dll" "$import_library" "$source_dir/src/core/quillon.def" \
   "$source_dir/include/quillon.h" "$dest/"
if grep -q "^QUILLON_SHARED_RUNTIME:BOOL=ON" "$build/CMakeCache.txt"; then
  found=0
  for runtime in "$(dirname "$dll")"/libgcc_s_*.dll "$(dirname "$dll")"/libstdc++-6.dll; do
    [ -f "$runtime" ] || continue
    cp "$runtime" "$dest/"
    found=$((found + 1))
  done
  if [ $found -ne 2 ]; then
    echo "stage: the runtime DLLs are not beside $dll" >&2
    exit 1
  fi
fi
echo "staged $dest: $(cd "$dest" && echo *)"
