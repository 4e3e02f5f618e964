#!/usr/bin/env bash
# The Windows suite: cross-builds build/win32 with MinGW-w64 (lumivane.dll,
# lumivane-host.exe and the tests) and runs every test under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

ensure_apt_packages cmake make googletest g++-mingw-w64-i686 mingw-w64-tools wine wine32:i386 \
    "${LUMIVANE_VIEW_PACKAGES[@]}"
ensure_rom_package
# Wine's first start makes its prefix (build/win32/wineprefix): once, here, with
# a time limit, before any test needs it.
cmake/wine-run.sh "$PWD/build/win32/wineprefix" --init
# A test cut short (a crash, a time-out) leaves its scenario directory in the
# Wine prefix's temp folder: clear earlier runs' here.
rm -rf build/win32/wineprefix/drive_c/users/*/Temp/lumivane-*
run_workflow win32
