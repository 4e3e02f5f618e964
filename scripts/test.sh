#!/usr/bin/env bash
# Runs every test of the project, installing what the tests need when it is
# missing. Each stage builds its own tree below build/.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/check-format.sh
scripts/test-native.sh
scripts/test-sanitizers.sh
scripts/test-fuzz.sh
scripts/test-win32.sh
# The release packages as a user unpacks and runs them (Wine's prefix from above).
scripts/test-release.sh
