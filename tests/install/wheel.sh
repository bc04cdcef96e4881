#!/usr/bin/env bash
# wheel.sh SOURCE_DIR BUILD_DIR WORK_DIR VERSION
# Builds the Python wheel from the tree (setup.py compiles the library into
# it), installs it into a fresh virtual environment and runs the package's
# test suite there against the installed copy, QUILLON_LIBRARY unset.
set -euo pipefail
source_dir=$1 build=$2 work=$3 version=$4
fail() { echo "install-wheel: $*" >&2; exit 1; }
python=/usr/bin/python3
rm -rf "$work"
mkdir -p "$work"
unset QUILLON_LIBRARY

"$python" -m build --no-isolation --wheel --outdir "$work/dist" "$source_dir/python" \
  >"$work/build.log" 2>&1 || { tail -30 "$work/build.log" >&2; fail "the wheel did not build"; }
shopt -s nullglob
wheels=("$work"/dist/quillon-"$version"-py3-none-*.whl)
[ ${#wheels[@]} -eq 1 ] || fail "expected one quillon-$version wheel, found: $(ls "$work/dist")"
listing=$("$python" -m zipfile -l "${wheels[0]}")
grep -Eq "^quillon/libquillon\.so " <<<"$listing" || fail "the wheel holds no quillon/libquillon.so"

"$python" -m venv --system-site-packages "$work/venv"
venv_python=$work/venv/bin/python
"$venv_python" -m pip install -q --no-index --no-deps "${wheels[0]}"

cd "$work"
output=$("$venv_python" -m quillon --version)
echo "$output"
site=$("$venv_python" -c "import sysconfig; print(sysconfig.get_paths()['platlib'])")
[ "$(sed -n 1p <<<"$output")" = "quillon $version" ] || fail "wrong version line"
[ "$(sed -n 2p <<<"$output")" = "library: $site/quillon/libquillon.so" ] \
  || fail "the installed package does not load its own library"

QUILLON_TEST_INSTALLED=1 QUILLON_DUMP="$build/tools/quillon-dump" \
  QUILLON_INCLUDE="$source_dir/include" PYTHONDONTWRITEBYTECODE=1 \
  "$venv_python" -m pytest -q -p no:cacheprovider "$source_dir/python/tests"
