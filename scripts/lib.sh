# Shared helpers for the scripts in this folder; source it, don't run it.

# Installs the Debian packages of the arguments that are missing. As root it
# runs apt-get itself; otherwise it prints the one command to run and fails.
# A package of another architecture (wine32:i386) first gets that
# architecture added to dpkg's list.
ensure_apt_packages() {
    local missing=() architectures=() package architecture prefix=""
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    for package in "${missing[@]}"; do
        [[ $package == *:* ]] || continue
        architecture=${package##*:}
        [ "$architecture" = "$(dpkg --print-architecture)" ] && continue
        dpkg --print-foreign-architectures | grep -qx "$architecture" && continue
        [[ " ${architectures[*]} " == *" $architecture "* ]] || architectures+=("$architecture")
    done
    for architecture in "${architectures[@]}"; do
        prefix+="sudo dpkg --add-architecture $architecture && "
    done
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages. Run: ${prefix}sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
        exit 2
    fi
    for architecture in "${architectures[@]}"; do
        echo "Adding the package architecture $architecture"
        dpkg --add-architecture "$architecture"
    done
    echo "Installing ${missing[*]}"
    apt-get update -q >/dev/null
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}" >/dev/null
}

# Installs a folder's npm packages from its package-lock.json (`npm ci`) when
# they are not there yet; npm itself from Debian when it is missing.
ensure_npm_packages() {
    command -v npm >/dev/null || ensure_apt_packages nodejs npm
    if [ ! -d "$1/node_modules" ] || [ "$1/package-lock.json" -nt "$1/node_modules" ]; then
        (cd "$1" && npm ci --no-audit --no-fund)
    fi
}

# The Debian packages the trees need, in groups; scripts/test.sh's table of
# stages and the other scripts name them.
BUILD_PACKAGES=(cmake make g++)
# GoogleTest and Google Benchmark, for the test trees (native, asan).
TEST_LIBRARY_PACKAGES=(libgtest-dev googletest libbenchmark-dev)
# The live view's libraries (header-only: Boost.Beast/Asio, nlohmann/json,
# stb's PNG writer; libpng reads the pictures back in the tests), and node,
# with which the build turns the character ROMs' npm package (view/rom,
# ensure_npm_packages) into the view's glyph table. Every preset that builds
# lumivane-view needs them.
LUMIVANE_VIEW_PACKAGES=(libboost-dev nlohmann-json3-dev libstb-dev libpng-dev)
LUMIVANE_VIEW_NPM=view/rom
# The browser tests: Debian's chromium, driven from node by playwright-core
# (npm: ensure_npm_packages).
BROWSER_PACKAGES=(chromium zbar-tools python3-pil)
# The Windows cross-build, and Wine to run what it makes.
MINGW_PACKAGES=(g++-mingw-w64-i686 mingw-w64-tools binutils-mingw-w64-i686)
WINE_PACKAGES=(wine wine32:i386)
# The same for 64-bit Windows: wine64 starts on any x86-64 kernel.
MINGW64_PACKAGES=(g++-mingw-w64-x86-64 mingw-w64-tools binutils-mingw-w64-x86-64)
WINE64_PACKAGES=(wine wine64)
# What scripts/test-release.sh reads the archives and binaries with.
RELEASE_CHECK_PACKAGES=(python3 python3-pefile unzip tar binutils)
# What runs 32-bit Windows programs where the kernel runs no 32-bit program:
# an emulated i386 machine (cmake/i386-machine/machine.py), made from Debian's
# i386 packages by mmdebstrap and booted by QEMU.
I386_MACHINE_PACKAGES=(qemu-system-x86 mmdebstrap python3)

i386_machine() { python3 cmake/i386-machine/machine.py "$@"; }

# Stops the emulated i386 machine when the calling script ends, unless it was
# running before (or this kernel runs 32-bit programs and needs none).
stop_i386_machine_at_exit() {
    [ "$(cmake/wine-run.sh --how)" = native ] && return 0
    i386_machine status >/dev/null && return 0
    trap 'i386_machine stop' EXIT
}

# Makes the Wine prefix PREFIX ready for 32-bit programs: where the kernel
# runs none, the emulated machine is set up first (once: it is kept in
# build/i386-machine) and booted. Fails with the reason when it cannot.
prepare_32bit_wine() {
    cmake/wine-run.sh --arch win32 "$1" --init && return 0
    # The emulated machine's kernel once failed while Wine made the prefix:
    # the machine powered off, and a new boot gets one more try.
    if [ "$(cmake/wine-run.sh --how)" = emulated ]; then
        echo "Making the prefix once more, in a new boot of the emulated machine" >&2
        cmake/wine-run.sh --arch win32 "$1" --init && return 0
    fi
    echo "32-bit Windows programs cannot run here: Wine's prefix $1 could not be made" \
        "($(cmake/wine-run.sh --how) 32-bit programs; the reason is above)" >&2
    return 1
}

# Configures, builds and tests a tree through its workflow preset
# (CMakePresets.json), building and testing on every core.
run_workflow() {
    CMAKE_BUILD_PARALLEL_LEVEL="$(nproc)" CTEST_PARALLEL_LEVEL="$(nproc)" \
        cmake --workflow --preset "$1"
}
