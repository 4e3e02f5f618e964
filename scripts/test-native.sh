#!/usr/bin/env bash
# The native suite: builds build/native and runs every test in it.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

ensure_apt_packages cmake make g++ libgtest-dev googletest libbenchmark-dev \
    "${LUMIVANE_VIEW_PACKAGES[@]}"
ensure_rom_package
# The browser test: Debian's chromium, driven by playwright-core from npm.
ensure_apt_packages chromium
command -v npm >/dev/null || ensure_apt_packages nodejs npm
if [ ! -f tests/browser/node_modules/playwright-core/package.json ]; then
    (cd tests/browser && npm ci --no-audit --no-fund)
fi

run_workflow native
