# Sourced by the Wine test scripts: runs Wine quietly in the test prefix
# given as $1 (created by wine-prefix.sh), without a display and without the
# Mono and Gecko installers.
wine_prefix=$1
if ! command -v wine >/dev/null 2>&1; then
  echo "FAIL: wine is not installed (make deps installs wine, wine32:i386, wine64)" >&2
  exit 1
fi
export WINEPREFIX=$wine_prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
