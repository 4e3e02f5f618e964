#!/usr/bin/env bash
# The native suite once more, built with AddressSanitizer and
# UndefinedBehaviorSanitizer in build/asan: any overrun (the module's static
# arrays included), leak or undefined behaviour fails the test that caused it.
# The asan presets leave out the benchmark and the browser test (see
# CMakePresets.json for why).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

ensure_apt_packages cmake make g++ libgtest-dev googletest libbenchmark-dev \
    "${LUMIVANE_VIEW_PACKAGES[@]}"
ensure_rom_package
run_workflow asan
