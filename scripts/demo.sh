#!/usr/bin/env bash
# Builds the driver and the stand-in host in build/demo (the demo preset:
# nothing else, and no test library needed), then runs the host's demo there:
# the page lands in build/demo/logs/index.htm. Arguments go to lumivane-host (for instance
# --fast, or a script file).
#
#   scripts/demo.sh --live [--listen HOST:PORT]
# shows the live view instead: builds lumivane-view too, starts it on
# build/demo (arguments go to it), prints the URL to open, and keeps drawing
# until Ctrl-C.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

# Four rows a second for the live demo: a title, the time, a moving bar and
# markup that the view shows as characters.
live_rows() {
    local tick=0 bar
    while true; do
        bar=$(printf '%*s' $((tick % 60)) '' | tr ' ' '=')
        printf '%s\n' "Lumivane live view: the host's screen, as it changes" \
            "$(date '+%H:%M:%S  %A %d %B %Y')" \
            "[${bar}>$(printf '%*s' $((59 - tick % 60)) '')]" \
            "Markup stays text here: <b>not bold</b> & <i>not italic</i>"
        tick=$((tick + 1))
        sleep 1
    done
}

ensure_apt_packages "${BUILD_PACKAGES[@]}" "${LUMIVANE_VIEW_PACKAGES[@]}"
ensure_npm_packages "$LUMIVANE_VIEW_NPM"
cmake --preset demo >/dev/null
if [ "${1:-}" = "--live" ]; then
    cmake --build --preset demo --target lumivane lumivane-host lumivane-view -j "$(nproc)"
else
    cmake --build --preset demo -j "$(nproc)"
fi
cd build/demo

if [ "${1:-}" = "--live" ]; then
    shift
    ./lumivane-view "$@" . &
    view=$!
    # A background job of a script ignores Ctrl-C; the view gets SIGTERM.
    trap 'kill "$view" 2>/dev/null; wait "$view" 2>/dev/null' EXIT
    sleep 0.5
    kill -0 "$view" 2>/dev/null || exit 1  # it said why it could not start
    echo "Drawing on the screen until Ctrl-C."
    live_rows | ./lumivane-host --lines >/dev/null
    exit 0
fi

./lumivane-host "$@"
echo
echo "Open file://$PWD/logs/index.htm in a browser; it reloads itself every 5 s."
