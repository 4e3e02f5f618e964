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

# The live view's libraries (header-only: Boost.Beast/Asio, nlohmann/json,
# stb's PNG writer; libpng reads the pictures back in the tests). Every preset
# that builds lumivane-view needs them, and the character ROM package below.
LUMIVANE_VIEW_PACKAGES=(libboost-dev nlohmann-json3-dev libstb-dev libpng-dev)

# The character ROMs' npm package, pinned by view/rom/package-lock.json: the
# build turns it into the view's glyph table with node.
ensure_rom_package() {
    command -v npm >/dev/null || ensure_apt_packages nodejs npm
    if [ ! -f view/rom/node_modules/@wokwi/elements/package.json ]; then
        (cd view/rom && npm ci --no-audit --no-fund --ignore-scripts)
    fi
}

# Configures, builds and tests a tree through its workflow preset
# (CMakePresets.json), building and testing on every core.
run_workflow() {
    CMAKE_BUILD_PARALLEL_LEVEL="$(nproc)" CTEST_PARALLEL_LEVEL="$(nproc)" \
        cmake --workflow --preset "$1"
}
