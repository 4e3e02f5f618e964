#!/usr/bin/env bash
# Builds the driver and its benchmark in Release (build/bench) and runs it:
# each call's time beside its floor, heap allocations per call, and a summary
# table at the end. Arguments go to the benchmark, e.g.
#   scripts/bench.sh --benchmark_filter=Write
# It works in a scratch directory below TMPDIR: set TMPDIR to measure on
# another file system.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

ensure_apt_packages cmake make g++ libbenchmark-dev
cmake --preset bench >/dev/null
cmake --build --preset bench -j "$(nproc)" >/dev/null
exec build/bench/lumivane-bench --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true \
    --benchmark_display_aggregates_only=true "$@"
