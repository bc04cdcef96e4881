#!/usr/bin/env bash
# consumer.sh BUILD_DIR CONSUMER_SOURCE WORK_DIR VERSION
# Installs BUILD_DIR into WORK_DIR/prefix, checks the installed layout, then
# builds and runs the consumer against it with find_package and pkg-config.
set -euo pipefail
build=$1 source=$2 work=$3 expected_version=$4
rm -rf "$work"
mkdir -p "$work"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log"

fail() { echo "install-consumer: $*" >&2; exit 1; }
lib=$prefix/lib
[ -f "$lib/libquillon.so.1.0.0" ] && [ ! -L "$lib/libquillon.so.1.0.0" ] || fail "no libquillon.so.1.0.0"
[ "$(readlink "$lib/libquillon.so.1")" = libquillon.so.1.0.0 ] || fail "libquillon.so.1 is no link to 1.0.0"
[ "$(readlink "$lib/libquillon.so")" = libquillon.so.1 ] || fail "libquillon.so is no link to .so.1"
soname=$(objdump -p "$lib/libquillon.so.1.0.0" | awk '$1 == "SONAME" {print $2}')
[ "$soname" = libquillon.so.1 ] || fail "SONAME is '$soname'"
for file in include/quillon.h bin/quillon-dump bin/quillon-demo bin/quillon-merge bin/quillon-convert \
    lib/cmake/Quillon/QuillonConfig.cmake lib/cmake/Quillon/QuillonConfigVersion.cmake \
    lib/cmake/Quillon/QuillonTargets.cmake lib/pkgconfig/quillon.pc; do
  [ -f "$prefix/$file" ] || fail "$file not installed"
done
# The exported target must not drag in the static writer library.
if grep -q quillon_core "$lib"/cmake/Quillon/*.cmake; then fail "quillon_core leaks into the export"; fi

# The installed tools run from the prefix alone.
(cd "$work" && "$prefix/bin/quillon-demo" demo.gds >/dev/null)
"$prefix/bin/quillon-dump" --summary "$work/demo.gds" >"$work/demo.txt" || fail "quillon-dump cannot read the demo"
grep -q "CHIP" "$work/demo.txt" || fail "quillon-dump cannot read the demo"
"$prefix/bin/quillon-merge" --prefix-each "$work/merged.gds" "$work/demo.gds" ||
  fail "quillon-merge cannot merge the demo"
"$prefix/bin/quillon-dump" "$work/merged.gds" >"$work/merged.txt" || fail "quillon-merge wrote a bad file"
grep -q '"demo_CHIP"' "$work/merged.txt" || fail "quillon-merge lost the demo"
"$prefix/bin/quillon-convert" -q "$work/demo.gds" "$work/demo.oas" ||
  fail "quillon-convert cannot convert the demo"
head -c 13 "$work/demo.oas" | grep -q "%SEMI-OASIS" || fail "quillon-convert wrote no OASIS file"

# find_package: only the staged prefix is searched.
cmake -S "$source" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_FIND_USE_SYSTEM_PACKAGE_REGISTRY=OFF -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF \
  -DCMAKE_BUILD_RPATH="$lib" >"$work/cmake-build.log"
cmake --build "$work/cmake-build" >>"$work/cmake-build.log"
grep -q "Quillon_DIR:PATH=$prefix/lib/cmake/Quillon" "$work/cmake-build/CMakeCache.txt" \
  || fail "find_package did not find the staged prefix"
(cd "$work" && ./cmake-build/consumer from-cmake.gds)

# pkg-config
flags=$(PKG_CONFIG_PATH="$lib/pkgconfig" PKG_CONFIG_LIBDIR="$lib/pkgconfig" pkg-config --cflags --libs quillon)
version=$(PKG_CONFIG_LIBDIR="$lib/pkgconfig" pkg-config --modversion quillon)
[ "$version" = "$expected_version" ] || fail "pkg-config version is '$version'"
# shellcheck disable=SC2086
cc -std=c99 -Wall -Wextra -Werror "$source/consumer.c" $flags -Wl,-rpath,"$lib" -o "$work/consumer-pc"
(cd "$work" && ./consumer-pc from-pkg-config.gds)
echo "install-consumer: passed"
