#!/usr/bin/env bash
# The native suite once more, built with AddressSanitizer and
# UndefinedBehaviorSanitizer in build/asan: any overrun (the module's static
# arrays included), leak or undefined behaviour fails the test that caused it.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

# Left out here, and run by the plain suite only:
# - bench_*: the benchmark replaces the heap allocator to count allocations,
#   which cannot share a process with ASan's allocator; timings under a
#   sanitizer would mean nothing anyway.
# - label browser: chromium, driven from node, reads the page that
#   lumivane-host leaves; the host and the driver are already run under the
#   sanitizers by the host tests, and the browser adds only time.
excluded_names='^bench_'
excluded_labels='^browser$'

ensure_apt_packages cmake make g++ libgtest-dev googletest libbenchmark-dev \
    "${LUMIVANE_VIEW_PACKAGES[@]}"
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMIVANE_SANITIZE=ON >/dev/null
cmake --build build/asan -j "$(nproc)"

export ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:check_initialization_order=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build/asan --output-on-failure -j "$(nproc)" -E "$excluded_names" -LE "$excluded_labels"
