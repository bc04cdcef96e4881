#!/usr/bin/env bash
# Instructions per element call, counted by callgrind, for each libquillon
# given (a folder holding libquillon.so.1 or libquillon.so; default: the
# build's). See call_instructions.cpp.
#   bench/call_instructions.sh [LIBRARY_DIR ...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${QUILLON_BUILD_DIR:-$here/../build}
driver=$build/bench/call-instructions
[ -x "$driver" ] || { echo "build first: $driver is missing" >&2; exit 2; }
command -v valgrind > /dev/null || { echo "valgrind is missing (apt-get install valgrind)" >&2; exit 2; }
[ $# -gt 0 ] || set -- "$build"
calls=100000
count() {  # LIBRARY_DIR KIND N: instructions of the whole run
  local out
  out=$(mktemp)
  LD_LIBRARY_PATH=$1 valgrind --tool=callgrind --callgrind-out-file=/dev/null \
    "$driver" "$2" "$3" 2> "$out" > /dev/null
  sed -n 's/.*Collected : \([0-9]*\).*/\1/p' "$out"
  rm -f "$out"
}
printf '%-40s %8s %8s %8s %10s\n' library box path text reference
for dir in "$@"; do
  links=$(mktemp -d)
  # The driver asks for libquillon.so.1; a build without that name is linked to it.
  if [ -e "$dir/libquillon.so.1" ]; then ln -s "$(cd "$dir" && pwd)/libquillon.so.1" "$links/"
  else ln -s "$(cd "$dir" && pwd)/libquillon.so" "$links/libquillon.so.1"; fi
  row=()
  for kind in box path text reference; do
    all=$(count "$links" "$kind" $calls)
    none=$(count "$links" "$kind" 0)
    row+=($(( (all - none) / calls )))
  done
  rm -rf "$links"
  printf '%-40s %8s %8s %8s %10s\n' "$dir" "${row[@]}"
done
