#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those that are
# missing. Runs as root (or through sudo) on Debian 12.
#   install-deps.sh        everything the test suite needs
#   install-deps.sh demo   just enough to build, write and render the demo
#   install-deps.sh package  just enough to build the Debian package
set -euo pipefail

build=(cmake make g++ libgtest-dev zlib1g-dev libisal-dev libdeflate-dev)
render=(klayout)
package=(dpkg-dev)
everything=(
  "${build[@]}" "${render[@]}" xxd
  clang libclang-rt-14-dev
  python3-gdspy gdsiiconvert libgdsii-dev
  python3-pytest python3-numpy python3-venv python3-pip python3-build python3-distributed
  python3-setuptools python3-wheel pkgconf "${package[@]}"
  mono-mcs mono-runtime
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 libz-mingw-w64-dev
  wine wine32:i386 wine64 zip unzip
)

case "${1:-all}" in
  demo) packages=("${build[@]}" "${render[@]}") ;;
  package) packages=("${build[@]}" "${package[@]}") ;;
  all) packages=("${everything[@]}") ;;
  *) echo "usage: $0 [demo|package|all]" >&2; exit 2 ;;
esac

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: every package is installed"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
for package in "${missing[@]}"; do
  case "$package" in
    *:i386)
      if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo dpkg --add-architecture i386
      fi ;;
  esac
done
# A mirror in the middle of a sync can fail one index file; apt-get then
# exits non-zero although every other list was fetched. Try again, and go on
# with the lists there are: the install below fails if a package is missing.
for attempt in 1 2 3; do
  if $sudo apt-get update -q; then break; fi
  echo "install-deps: apt-get update failed (attempt $attempt)" >&2
  sleep 5
done
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
