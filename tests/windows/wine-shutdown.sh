#!/usr/bin/env bash
# Stops the wineserver of the test prefix at the end of the run.
set -euo pipefail
source "$(dirname "$0")/wine-env.sh" "$1"
wineserver -k 2>/dev/null || true
