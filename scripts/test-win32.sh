#!/usr/bin/env bash
# The Windows suite: cross-builds build/win32 with MinGW-w64 (lumivane.dll,
# lumivane-host.exe and the tests) and runs every test under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

ensure_apt_packages cmake make googletest g++-mingw-w64-i686 mingw-w64-tools wine wine32:i386 \
    "${LUMIVANE_VIEW_PACKAGES[@]}"
cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/win32 -j "$(nproc)"
# Wine's first start makes its prefix (build/win32/wineprefix): once, here, with
# a time limit, before any test needs it.
cmake/wine-run.sh "$PWD/build/win32/wineprefix" --init
# The driver never closes its log, so Windows keeps each test's scenario
# directory from being removed while the test runs: clear earlier runs' here.
rm -rf build/win32/wineprefix/drive_c/users/*/Temp/lumivane-*
ctest --test-dir build/win32 --output-on-failure -j "$(nproc)"
