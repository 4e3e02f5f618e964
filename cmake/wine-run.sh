#!/bin/sh
# Runs a cross-built Windows program under Wine, in a prefix of the build tree
# rather than the user's own, creating that prefix on first use.
#   wine-run.sh [--arch win32|win64] PREFIX PROGRAM [ARGUMENTS...]
#   wine-run.sh [--arch win32|win64] PREFIX --init    only make sure the prefix is ready
#   wine-run.sh [--arch win32|win64] PREFIX --unix COMMAND [ARGUMENTS...]
#                         a Linux command (no Wine) where the prefix's programs
#                         run: here, or in the emulated machine, where a change
#                         to a folder made from outside is not seen by a watch
#                         inside (a test removing a watched folder uses this)
#   wine-run.sh --how     how a 32-bit program runs here: "native" or "emulated"
#                         (LUMIVANE_WINE32=native or emulated decides)
# The prefix's architecture is --arch, else the one named in the file
# PREFIX.arch (cmake/wine.cmake writes it for its tree, so any test that is
# handed the prefix runs its programs right), else win32. A win64 prefix runs
# 64-bit programs through wine64's loader, which starts on any x86-64 kernel.
# The 32-bit loader needs a kernel that runs 32-bit programs; where this one
# does not, a win32 prefix's programs run under Wine in an emulated i386
# machine (i386-machine/machine.py), which shares this repository and /tmp at
# their own paths and starts on first use.
set -eu
machine="$(cd "$(dirname "$0")" && pwd)/i386-machine/machine.py"

# Wine's 32-bit loader is an i386 program: a kernel built without IA-32
# emulation refuses it ("Exec format error"). LUMIVANE_WINE32=emulated takes
# the emulated machine even where the kernel would run it (to try that way
# there), LUMIVANE_WINE32=native never does.
how_32bit_programs_run() {
    case ${LUMIVANE_WINE32:-} in
        native | emulated)
            echo "$LUMIVANE_WINE32"
            return
            ;;
    esac
    if timeout 30 /usr/lib/wine/wine --version 2>/dev/null | grep -q '^wine-'; then
        echo native
    else
        echo emulated
    fi
}
if [ "${1:-}" = --how ]; then
    how_32bit_programs_run
    exit 0
fi

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
# In the emulated machine each command is one run there ($inside).
inside=
wineboot_seconds=300
case ${arch:=win32} in
    win32)
        loader=wine
        if [ "$(how_32bit_programs_run)" = emulated ]; then
            inside="python3 $machine run --"
            wineboot_seconds=1200  # about 220 s under emulation, once
        fi
        ;;
    win64) loader=$(command -v wine64 || echo /usr/lib/wine/wine64) ;;
    *)
        echo "wine-run.sh: unknown architecture '$arch' (win32 or win64)" >&2
        exit 2
        ;;
esac

export WINEPREFIX="$prefix"
export WINEARCH="$arch"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko: the programs need neither, and their installers would ask.
export WINEDLLOVERRIDES="mscoree,mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
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
        # One run: wineboot, then the wait for its server to save the
        # registry and end. As a run of its own, the wait would find the
        # emulated machine's agent starting the prefix's lasting server for
        # it, and never end. Wine's loader waits 5 minutes for a new prefix's
        # setup, which an emulated machine under load can take longer than:
        # it then fails ("could not load kernel32.dll") while the setup goes
        # on, so after that setup has ended a second wineboot is the verdict.
        if ! timeout "$wineboot_seconds" $inside sh -c '
            "$1" wineboot -i >/dev/null 2>&1 ||
                { wineserver -w && "$1" wineboot -i >/dev/null 2>&1; } && wineserver -w' \
            wineboot "$loader"; then
            echo "wine-run.sh: creating the Wine prefix $prefix failed or timed out" >&2
            exit 1
        fi
        touch "$prefix/.ready"
    fi
    exec 9>&-
fi

[ "${1:-}" = "--init" ] && exit 0
if [ "${1:-}" = "--unix" ]; then
    shift
    exec $inside "$@"
fi
exec $inside "$loader" "$@"
