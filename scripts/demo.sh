#!/usr/bin/env bash
# Builds the driver and the stand-in host, then runs the host's demo in
# build/demo: the page lands in build/demo/logs/index.htm. Arguments go to
# lumivane-host (for instance --fast, or a script file).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

build_native
mkdir -p build/demo
cd build/demo
../native/lumivane-host "$@"
echo
echo "Open file://$PWD/logs/index.htm in a browser; it reloads itself every 5 s."
