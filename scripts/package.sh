#!/usr/bin/env bash
# Makes a release in build/release:
#   lumivane-<version>-win32.zip          lumivane.dll, lumivane-host.exe,
#                                         lumivane-view.exe, README.txt (README.md
#                                         as plain text), LICENSE.txt
#   lumivane-<version>-linux-x86_64.tar.gz  lumivane.so, lumivane-host,
#                                         lumivane-view, README.md, LICENSE
# Each platform is built in a release tree of its own by its workflow preset
# (release-win32, release-native), in the build type the suites test, without
# the tests; CPack packs what cmake/release.cmake installs, stripped.
# The trees keep the unstripped binaries for debugging.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

# python3: scripts/readme-text.py makes the zip's README.txt from README.md.
ensure_apt_packages "${BUILD_PACKAGES[@]}" "${MINGW_PACKAGES[@]}" "${LUMIVANE_VIEW_PACKAGES[@]}" python3
ensure_npm_packages "$LUMIVANE_VIEW_NPM"

rm -rf build/release build/release-win32/package build/release-native/package
mkdir -p build/release
for preset in release-win32 release-native; do
    run_workflow "$preset" >/dev/null
    cp build/"$preset"/package/lumivane-* build/release/
done
echo "Release in $PWD/build/release:"
ls -l build/release
