#!/usr/bin/env bash
# Makes a release in build/release:
#   lumivane-<version>-win32.zip          lumivane.dll, lumivane-host.exe,
#                                         lumivane-view.exe, README.txt, LICENSE.txt
#   lumivane-<version>-linux-x86_64.tar.gz  lumivane.so, lumivane-host,
#                                         lumivane-view, README.md, LICENSE
# Each platform is built in a release tree of its own (build/release-win32,
# build/release-native), in the build type the suites test, without the tests;
# CPack packs what cmake/release.cmake installs, with the binaries stripped.
# The trees keep the unstripped binaries for debugging.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

ensure_apt_packages cmake make g++ libbenchmark-dev g++-mingw-w64-i686 mingw-w64-tools \
    binutils-mingw-w64-i686

# package TREE [CONFIGURE OPTIONS...]: builds TREE and packs it into build/release.
package() {
    local tree=$1
    shift
    cmake -S . -B "$tree" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF "$@" >/dev/null
    cmake --build "$tree" -j "$(nproc)"
    rm -rf "$tree/package"
    cpack --config "$tree/CPackConfig.cmake" >/dev/null
    cp "$tree"/package/lumivane-* build/release/
}

rm -rf build/release
mkdir -p build/release
package build/release-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake
package build/release-native
echo "Release in $PWD/build/release:"
ls -l build/release
