#!/usr/bin/env bash
# Packs the four staged flavours of Quillon.dll into the release zip:
#   package.sh DIST_DIR ZIP_FILE
# DIST_DIR holds win32/, win64/, win32-shared-runtime/ and
# win64-shared-runtime/ (written by stage.sh). The zip holds them under one
# folder quillon-VERSION-windows/, with README-windows.txt and, when the
# repository has one, LICENSE. VERSION is the project version of
# CMakeLists.txt.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
dist=$(cd "$1" && pwd)
zip_file=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")

version=$(sed -n 's/^project(Quillon VERSION \([0-9][0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")
if [ -z "$version" ]; then
  echo "package: no project version in CMakeLists.txt" >&2
  exit 1
fi
top=quillon-$version-windows

staging=$(mktemp -d)
trap 'rm -rf "$staging"' EXIT
mkdir -p "$staging/$top"
for flavour in win32 win64 win32-shared-runtime win64-shared-runtime; do
  if [ ! -f "$dist/$flavour/Quillon.dll" ]; then
    echo "package: $dist/$flavour/Quillon.dll is missing" >&2
    exit 1
  fi
  cp -r "$dist/$flavour" "$staging/$top/$flavour"
done
python3 "$source_dir/tools/windows/readme_windows.py" --header "$source_dir/include/quillon.h" \
  --def "$source_dir/src/core/quillon.def" --version "$version" \
  --output "$staging/$top/README-windows.txt"
if [ -f "$source_dir/LICENSE" ]; then
  cp "$source_dir/LICENSE" "$staging/$top/LICENSE"
fi

rm -f "$zip_file"
(cd "$staging" && zip -q -r -X "$zip_file" "$top")
echo "wrote $zip_file"
