#!/usr/bin/env bash
# The native suite: builds build/native and runs every test in it.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

build_native
ctest --test-dir build/native --output-on-failure -j "$(nproc)"
