#!/bin/sh
# Runs a cross-built Windows program under Wine, in a prefix of the build tree
# rather than the user's own, creating that prefix on first use.
#   wine-run.sh PREFIX PROGRAM [ARGUMENTS...]
#   wine-run.sh PREFIX --init        only make sure the prefix is ready
set -eu
prefix=$1
shift
case $prefix in /*) ;; *) prefix=$(pwd)/$prefix ;; esac  # Wine wants it absolute

export WINEPREFIX="$prefix"
export WINEARCH=win32
export WINEDEBUG=-all
# No Mono or Gecko: the programs need neither, and their installers would ask.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

# Several tests may start at once: one of them makes the prefix, the others
# wait for it. A prefix whose creation was cut short lacks the marker and is
# made again.
if [ ! -f "$prefix/.ready" ]; then
    mkdir -p "$(dirname "$prefix")"
    exec 9>"$prefix.lock"
    flock 9
    if [ ! -f "$prefix/.ready" ]; then
        rm -rf "$prefix"
        echo "Creating the Wine prefix $prefix" >&2
        if ! timeout 300 wineboot -i >/dev/null 2>&1 || ! timeout 120 wineserver -w; then
            echo "wine-run.sh: creating the Wine prefix $prefix failed or timed out" >&2
            exit 1
        fi
        touch "$prefix/.ready"
    fi
    exec 9>&-
fi

[ "${1:-}" = "--init" ] && exit 0
exec wine "$@"
