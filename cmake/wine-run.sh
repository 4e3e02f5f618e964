#!/bin/sh
# Runs a cross-built Windows program under Wine, in a prefix of the build tree
# rather than the user's own, creating that prefix on first use.
#   wine-run.sh [--arch win32|win64] PREFIX PROGRAM [ARGUMENTS...]
#   wine-run.sh [--arch win32|win64] PREFIX --init    only make sure the prefix is ready
# The prefix's architecture is --arch, else the one named in the file
# PREFIX.arch (cmake/wine.cmake writes it for its tree, so any test that is
# handed the prefix runs its programs right), else win32. A win64 prefix runs
# 64-bit programs through wine64's loader, which starts on any x86-64 kernel;
# the 32-bit loader needs one that runs 32-bit programs.
set -eu
arch=
if [ "${1:-}" = --arch ]; then
    arch=$2
    shift 2
fi
prefix=$1
shift
case $prefix in /*) ;; *) prefix=$(pwd)/$prefix ;; esac  # Wine wants it absolute
if [ -z "$arch" ] && [ -f "$prefix.arch" ]; then
    arch=$(cat "$prefix.arch")
fi
case ${arch:=win32} in
    win32) loader=wine ;;
    win64) loader=$(command -v wine64 || echo /usr/lib/wine/wine64) ;;
    *)
        echo "wine-run.sh: unknown architecture '$arch' (win32 or win64)" >&2
        exit 2
        ;;
esac

export WINEPREFIX="$prefix"
export WINEARCH="$arch"
export WINEDEBUG=-all
# No Mono or Gecko: the programs need neither, and their installers would ask.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
# Wine starts its helper programs (wineboot's, a console's) through the loader
# it is told of; Debian's `wine` would pick the 32-bit one whenever installed.
[ "$arch" = win64 ] && export WINELOADER="$loader"

# Several tests may start at once: one of them makes the prefix, the others
# wait for it. A prefix whose creation was cut short lacks the marker and is
# made again.
if [ ! -f "$prefix/.ready" ]; then
    mkdir -p "$(dirname "$prefix")"
    exec 9>"$prefix.lock"
    flock 9
    if [ ! -f "$prefix/.ready" ]; then
        rm -rf "$prefix"
        echo "Creating the $arch Wine prefix $prefix" >&2
        if ! timeout 300 "$loader" wineboot -i >/dev/null 2>&1 || ! timeout 120 wineserver -w; then
            echo "wine-run.sh: creating the Wine prefix $prefix failed or timed out" >&2
            exit 1
        fi
        touch "$prefix/.ready"
    fi
    exec 9>&-
fi

[ "${1:-}" = "--init" ] && exit 0
exec "$loader" "$@"
