#!/usr/bin/env bash
# compare.sh SOURCE_DIR LIBRARY_DIR QUILLON_DUMP WORK_DIR
# Compiles bindings/dotnet (Quillon.cs, Example.cs) with Mono's mcs and its
# C twin with cc, runs both against the library in LIBRARY_DIR with the same
# fixed time stamp, and compares their files and outputs byte for byte.
set -euo pipefail
source_dir=$1 library_dir=$2 dump=$3 work=$4
fail() { echo "dotnet-example: $*" >&2; exit 1; }
rm -rf "$work"
mkdir -p "$work/cs" "$work/c"
stamp=(2026 12 7 8 32 51)

mcs -warnaserror+ -out:"$work/example.exe" \
  "$source_dir/bindings/dotnet/Example.cs" "$source_dir/bindings/dotnet/Quillon.cs"
cc -std=c99 -Wall -Wextra -Werror -I"$source_dir/include" "$source_dir/tests/dotnet/example_twin.c" \
  -L"$library_dir" -lquillon -Wl,-rpath,"$library_dir" -o "$work/example_twin"

# Both write the same relative name: LIBNAME records it as passed.
(cd "$work/cs" && LD_LIBRARY_PATH="$library_dir" mono "$work/example.exe" chip.gds "${stamp[@]}" >out.txt)
(cd "$work/c" && "$work/example_twin" chip.gds "${stamp[@]}" >out.txt)

cmp "$work/cs/out.txt" "$work/c/out.txt" || { diff "$work/cs/out.txt" "$work/c/out.txt" >&2; fail "outputs differ"; }
grep -qx "report: errStringIsNULL" "$work/cs/out.txt" || fail "the handler did not receive the reports"
cmp "$work/cs/chip.gds" "$work/c/chip.gds" || {
  diff <("$dump" "$work/cs/chip.gds") <("$dump" "$work/c/chip.gds") >&2 || true
  fail "the files differ"; }
cmp "$work/cs/handle_chip.gds" "$work/c/handle_chip.gds" || {
  diff <("$dump" "$work/cs/handle_chip.gds") <("$dump" "$work/c/handle_chip.gds") >&2 || true
  fail "the files written through a handle differ"; }
# The marshalled QuillonOptions is the C struct: the C twin printed sizeof and
# offsetof on the same line, which compared equal above; size is sizeof too.
layout=$(grep '^QuillonOptions: ' "$work/cs/out.txt") || fail "no QuillonOptions layout line"
read -r _ _ size _ marshalled _ <<<"$layout"
[ "$size" = "${marshalled%,}" ] || fail "QuillonOptions: C's size $size, marshalled $marshalled"
grep -qx "refused: -3 Error: Value does not fit its GDSII field." "$work/cs/out.txt" ||
  fail "the strict refusal was not reported by status and quillon_last_error"
grep -q "^handle report 7: -3 " "$work/cs/out.txt" || fail "the handle callback was not called"
# The listings are kept in files: grep -q stops reading at its first match,
# which under pipefail would fail the pipeline with the writer's SIGPIPE.
"$dump" --summary "$work/cs/chip.gds" >"$work/chip.txt" || fail "quillon-dump cannot read the file"
grep -q "^records: " "$work/chip.txt" || fail "quillon-dump cannot read the file"
"$dump" "$work/cs/handle_chip.gds" >"$work/handle_chip.txt" || fail "quillon-dump cannot read the handle file"
grep -q "HANDLES" "$work/handle_chip.txt" || fail "the handle file lacks its LIBNAME"
echo "dotnet-example: $(wc -c <"$work/cs/chip.gds") and $(wc -c <"$work/cs/handle_chip.gds") bytes, identical from C# and C"
