#!/usr/bin/env bash
# Builds the driver and its benchmark in Release (build/bench) and runs it:
# each call's time beside its floor, heap allocations per call, and a summary
# table at the end. Arguments go to the benchmark, e.g.
#   scripts/bench.sh --benchmark_filter=Write
# It works in a scratch directory below TMPDIR: set TMPDIR to measure on
# another file system.
#   scripts/bench.sh --view [--changes N] [--idle-seconds S] [--wrk-seconds S]
# measures lumivane-view instead: change-to-event latency with 1 and 100
# streams, /screen.json under wrk, memory and idle CPU (bench/view_bench.cpp).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

if [ "${1:-}" = "--view" ]; then
    shift
    ensure_apt_packages "${BUILD_PACKAGES[@]}" libbenchmark-dev wrk "${LUMIVANE_VIEW_PACKAGES[@]}"
    ensure_npm_packages "$LUMIVANE_VIEW_NPM"
    cmake --preset bench >/dev/null
    cmake --build --preset bench --target lumivane-view-bench -j "$(nproc)" >/dev/null
    exec build/bench/lumivane-view-bench "$@"
fi

ensure_apt_packages "${BUILD_PACKAGES[@]}" libbenchmark-dev "${LUMIVANE_VIEW_PACKAGES[@]}"
ensure_npm_packages "$LUMIVANE_VIEW_NPM"
cmake --preset bench >/dev/null
cmake --build --preset bench -j "$(nproc)" >/dev/null
exec build/bench/lumivane-bench --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true \
    --benchmark_display_aggregates_only=true "$@"
