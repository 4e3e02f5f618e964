#!/usr/bin/env bash
# Builds the driver and runs a short scenario that leaves a page to open.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

build_native
