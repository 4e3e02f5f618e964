#!/usr/bin/env bash
# Builds the driver-call fuzzer (libFuzzer, ASan, UBSan) in build/fuzz and runs
# it for a bounded time, LUMIVANE_FUZZ_SECONDS (60 by default). Any finding
# fails the run; the input that caused it is left in build/fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

ensure_apt_packages cmake make clang-14 libclang-rt-14-dev
# A tree once configured from fuzz/ alone is configured afresh; its corpus stays.
if grep -qs '^CMAKE_HOME_DIRECTORY:INTERNAL=.*/fuzz$' build/fuzz/CMakeCache.txt; then
    rm -rf build/fuzz/CMakeCache.txt build/fuzz/CMakeFiles
fi
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

# The scratch directory sees a page write for most calls: in memory it runs
# about twice as many inputs in the same time.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
    export TMPDIR=/dev/shm
fi

# New inputs go into build/fuzz/corpus; the seeds in fuzz/corpus are only read.
mkdir -p build/fuzz/corpus build/fuzz/artifacts
# Its running commentary goes to build/fuzz/run.log; a finding prints it.
seconds="${LUMIVANE_FUZZ_SECONDS:-60}"
if ! build/fuzz/lumivane_calls_fuzzer -max_total_time="$seconds" \
    -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix=build/fuzz/artifacts/ build/fuzz/corpus fuzz/corpus \
    >build/fuzz/run.log 2>&1; then
    tail -n 80 build/fuzz/run.log
    echo "fuzzer: a finding; the input is in build/fuzz/artifacts/" >&2
    exit 1
fi
grep -E '^(Done|stat::)' build/fuzz/run.log
echo "fuzzer: no findings in $seconds s"
