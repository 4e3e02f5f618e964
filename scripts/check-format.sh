#!/usr/bin/env bash
# Checks every C++ source file against .clang-format and changes nothing;
# `scripts/check-format.sh --fix` formats them in place instead.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

ensure_apt_packages clang-format
mapfile -t sources < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
    clang-format -i "${sources[@]}"
else
    clang-format --dry-run --Werror "${sources[@]}"
    echo "format: ${#sources[@]} files as .clang-format has them"
fi
