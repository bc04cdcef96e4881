#!/usr/bin/env bash
# Runs the C++ host (which catches GDSIIException) under Wine in an empty
# folder: run-exception-host.sh PREFIX EXCEPTION_HOST WORK_DIR
set -euo pipefail
here=$(dirname "$0")
source "$here/wine-env.sh" "$1"
host=$2 work=$3
rm -rf "$work"
mkdir -p "$work"
cd "$work"
wine "$host"
