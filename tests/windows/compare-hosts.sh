#!/usr/bin/env bash
# Runs the C host natively against libquillon.so and under Wine against
# Quillon.dll, each in its own empty folder, and requires identical output
# files and event logs:
#   compare-hosts.sh PREFIX NATIVE_HOST LIBQUILLON_SO WINDOWS_HOST QUILLON_DLL WORK_DIR [FILE...]
# FILE...: the files compared (default: those of host.c). Files ending in
# .gds or .gds.gz are read back by KLayout too when QUILLON_READ_BACK is
# set. A .gz file must pass gzip -t in both folders and inflate to the same
# bytes: its compressed bytes differ, since the DLL deflates with zlib and
# libquillon.so with ISA-L and libdeflate.
set -euo pipefail
here=$(dirname "$0")
source "$here/wine-env.sh" "$1"
native_host=$2 native_library=$3 windows_host=$4 dll=$5 work=$6
shift 6
files=("$@")
[ ${#files[@]} -gt 0 ] || files=(events.txt windows_host.gds windows_host_2.gds)

rm -rf "$work"
mkdir -p "$work/native" "$work/wine"
(cd "$work/native" && "$native_host" "$native_library")
(cd "$work/wine" && wine "$windows_host" "Z:$dll")

# A file's bytes, inflated when it is a gzip file.
inflated() { if [[ $1 == *.gz ]]; then gzip -dc "$1"; else cat "$1"; fi; }

status=0
for file in "${files[@]}"; do
  if [ ! -s "$work/native/$file" ]; then
    echo "FAIL: the native host wrote no $file" >&2
    status=1
  elif [[ $file == *.gz ]] && ! { gzip -t "$work/native/$file" && gzip -t "$work/wine/$file"; }; then
    echo "FAIL: $file is not a whole gzip stream" >&2
    status=1
  elif ! cmp <(inflated "$work/native/$file") <(inflated "$work/wine/$file"); then
    echo "FAIL: $file differs between libquillon.so and Quillon.dll" >&2
    status=1
  else
    echo "same: $file ($(inflated "$work/native/$file" | wc -c) bytes)"
    if [ -n "${QUILLON_READ_BACK:-}" ] && [[ $file == *.gds || $file == *.gds.gz ]]; then
      QT_QPA_PLATFORM=offscreen klayout -b -r "$here/../klayout/read_library.py" \
        -rd file="$work/wine/$file" || status=1
    fi
  fi
done
exit $status
