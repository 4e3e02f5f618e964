#!/usr/bin/env bash
# Builds the driver and the stand-in host in build/native (nothing else), then
# runs the host's demo in build/demo: the page lands in
# build/demo/logs/index.htm. Arguments go to lumivane-host (for instance
# --fast, or a script file).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

ensure_apt_packages cmake make g++ libgtest-dev googletest libbenchmark-dev
cmake --preset native >/dev/null
cmake --build --preset demo -j "$(nproc)"
mkdir -p build/demo
cd build/demo
../native/lumivane-host "$@"
echo
echo "Open file://$PWD/logs/index.htm in a browser; it reloads itself every 5 s."
