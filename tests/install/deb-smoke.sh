#!/usr/bin/env bash
# deb-smoke.sh BUILD_DIR CONSUMER_SOURCE WORK_DIR
# Builds the Debian package, installs it into this system with dpkg, uses it
# as a user would (the demo writes a file, quillon-dump reads it, a C program
# compiles against /usr/include/quillon.h and -lquillon), and removes it
# again whatever happened. It changes the system's packages, so it runs only
# as root and only when CI or QUILLON_SYSTEM_TESTS=1 is set; otherwise, or
# when a quillon package is installed already, it exits 77 (skipped).
set -euo pipefail
build=$1 source=$2 work=$3
skip() { echo "deb-smoke: skipped: $*"; exit 77; }
fail() { echo "deb-smoke: $*" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] || skip "needs root to install the package"
[ -n "${CI:-}" ] || [ "${QUILLON_SYSTEM_TESTS:-}" = 1 ] \
  || skip "installs into the system: set QUILLON_SYSTEM_TESTS=1 (or CI) to run it"
if dpkg-query -W -f='${Status}' quillon 2>/dev/null | grep -q "install ok installed"; then
  skip "a quillon package is installed already; it is left alone"
fi

rm -rf "$work"
mkdir -p "$work"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log"
shopt -s nullglob
debs=("$work"/quillon_*_*.deb)
[ ${#debs[@]} -eq 1 ] || fail "expected one quillon_VERSION_ARCH.deb, found ${#debs[*]}"

depends=$(dpkg-deb -f "${debs[0]}" Depends)
for library in libisal2 libdeflate0 zlib1g; do
  [[ "$depends" == *"$library "* ]] || fail "the package does not depend on $library: $depends"
done

trap 'dpkg --purge quillon >/dev/null || echo "deb-smoke: could not remove quillon" >&2' EXIT
dpkg -i "${debs[0]}" >"$work/dpkg.log"

cd "$work"
/usr/bin/quillon-demo demo.gds >/dev/null
/usr/bin/quillon-dump --summary demo.gds >demo.txt || fail "quillon-dump cannot read the demo"
grep -q "^records: " demo.txt || fail "quillon-dump cannot read the demo"
cc -std=c99 -Wall -Wextra -Werror "$source/consumer.c" -lquillon -o consumer
./consumer from-deb.gds
flags=$(pkg-config --libs quillon | xargs)
[ "$flags" = "-lquillon" ] || fail "pkg-config --libs quillon gives '$flags'"
echo "deb-smoke: passed"
