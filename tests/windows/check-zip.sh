#!/usr/bin/env bash
# Stages the four cross-built flavours of Quillon.dll with the scripts of
# make windows, packs the release zip and checks what it lists (unzip -l)
# and holds:
#   check-zip.sh SOURCE_DIR WORK_DIR BUILD_DIR...
# with the builds in the order win32, win32-shared-runtime, win64,
# win64-shared-runtime.
set -euo pipefail
source_dir=$1 work=$2
shift 2
builds=("$@")
flavours=(win32 win32-shared-runtime win64 win64-shared-runtime)
if [ ${#builds[@]} -ne 4 ]; then
  echo "usage: $0 SOURCE_DIR WORK_DIR WIN32 WIN32_SHARED WIN64 WIN64_SHARED" >&2
  exit 2
fi

rm -rf "$work"
mkdir -p "$work/dist"
for i in 0 1 2 3; do
  bash "$source_dir/tools/windows/stage.sh" "${builds[$i]}" "$work/dist/${flavours[$i]}"
done
version=$(sed -n 's/^project(Quillon VERSION \([0-9][0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")
zip_file=$work/dist/quillon-$version-windows.zip
bash "$source_dir/tools/windows/package.sh" "$work/dist" "$zip_file"

top=quillon-$version-windows
expected=("$top/README-windows.txt")
[ -f "$source_dir/LICENSE" ] && expected+=("$top/LICENSE")
for flavour in "${flavours[@]}"; do
  for file in Quillon.dll libQuillon.dll.a quillon.def quillon.h; do
    expected+=("$top/$flavour/$file")
  done
done
expected+=("$top/win32-shared-runtime/libgcc_s_dw2-1.dll" "$top/win32-shared-runtime/libstdc++-6.dll"
           "$top/win64-shared-runtime/libgcc_s_seh-1.dll" "$top/win64-shared-runtime/libstdc++-6.dll")

# unzip -l: a header, a dashed line, one line per entry, a dashed line, the total.
listed=$(unzip -l "$zip_file" | awk '/^-----/ { part++; next } part == 1 { print $4 }' \
         | grep -v '/$' | sort)
wanted=$(printf '%s\n' "${expected[@]}" | sort)
status=0
if [ "$listed" != "$wanted" ]; then
  echo "FAIL: the zip lists other files than expected:" >&2
  diff <(echo "$wanted") <(echo "$listed") >&2 || true
  status=1
fi

# The entries are the staged files themselves, and the notes declare every
# flat function of the .def file (GDS_* and SetErrorHandle) for both VBA
# flavours, Delphi and .NET.
for i in 0 1 2 3; do
  for file in Quillon.dll libQuillon.dll.a quillon.def quillon.h; do
    if ! unzip -p "$zip_file" "$top/${flavours[$i]}/$file" | cmp -s - "$work/dist/${flavours[$i]}/$file"; then
      echo "FAIL: $top/${flavours[$i]}/$file differs from the staged file" >&2
      status=1
    fi
  done
done
if ! unzip -p "$zip_file" "$top/win32/quillon.def" | cmp -s - "$source_dir/src/core/quillon.def"; then
  echo "FAIL: the zipped quillon.def is not src/core/quillon.def" >&2
  status=1
fi
notes=$(unzip -p "$zip_file" "$top/README-windows.txt" | tr -d '\r')
for name in $(sed -n 's/^[ \t]\{1,\}\(GDS_[A-Za-z0-9_]*\|SetErrorHandle\)[ \t]\{1,\}@[0-9].*/\1/p' \
                "$source_dir/src/core/quillon.def"); do
  for declaration in "Private Declare Function $name Lib \"Quillon.dll\"" \
                     "Private Declare PtrSafe Function $name Lib \"Quillon.dll\"" \
                     "function $name" "public static extern [A-Za-z]* $name("; do
    if ! grep -q -- "$declaration" <<<"$notes"; then
      echo "FAIL: README-windows.txt lacks: $declaration" >&2
      status=1
    fi
  done
done
# The handle functions appear as C prototypes.
for name in $(sed -n 's/^[ \t]\{1,\}\(quillon_[a-z_]*\)[ \t]\{1,\}@[0-9].*/\1/p' \
                "$source_dir/src/core/quillon.def"); do
  if ! grep -q -- " __stdcall $name(" <<<"$notes"; then
    echo "FAIL: README-windows.txt lacks the prototype of $name" >&2
    status=1
  fi
done
[ $status -eq 0 ] && echo "$(basename "$zip_file"): ${#expected[@]} files as expected"
exit $status
