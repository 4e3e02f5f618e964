#!/usr/bin/env bash
# lumivane-view.exe under Wine, beside the real Windows build of the driver:
# lumivane-host.exe draws through lumivane.dll into a scratch directory, the
# view serves that directory, and this script, on the Linux side, reads
# /screen.json from it, and times a change from the page's replacement to
# the event's arrival on an event stream (at most 100 ms), also after the
# watched directory was removed and made again; the screens it kept, from
# /history.json and /screen.png?version=; a logs directory that is a link
# not followed; and the display's picture, by --png
# (to a file, by rename, or to standard output) and as /screen.png, is byte
# for byte the one the native build makes (EXPECTED_PNG, which
# tests/view/view_cli_test.sh checks the
# native program against).
#   wine_view_test.sh WINE_RUN PREFIX LUMIVANE_VIEW_EXE LUMIVANE_HOST_EXE EXPECTED_PNG
set -uo pipefail
export LC_ALL=C  # the page holds 8-bit bytes: match them as bytes
WINE_RUN=$1
PREFIX=$2
VIEW=$3
HOST=$4
EXPECTED_PNG=$5
work=$(mktemp -d "${TMPDIR:-/tmp}/lumivane-view-wine-XXXXXX")
view_pid=""
reader_pid=""
net_pid=""
cleanup() {
    [ -n "$reader_pid" ] && kill "$reader_pid" 2>/dev/null
    [ -n "$view_pid" ] && kill "$view_pid" 2>/dev/null
    [ -n "$net_pid" ] && kill "$net_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# get PORT TARGET: the body of the response to one GET (bash's own TCP).
get() {
    exec 3<>"/dev/tcp/127.0.0.1/$1" || return 1
    printf 'GET %s HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n' "$2" >&3
    timeout 5 cat <&3 | tr -d '\r' | sed '1,/^$/d'
    exec 3<&-
}

# draw TEXT [DIR]: lumivane-host.exe loads lumivane.dll in DIR ($work/host by
# default) and writes TEXT on row 1.
draw() {
    local dir=${2:-$work/host}
    printf 'pos 1 1\nwrite %s\n' "$1" >"$dir/script.txt"
    (cd "$dir" && "$WINE_RUN" "$PREFIX" "$HOST" --fast script.txt >"$work/host.out" 2>&1) ||
        fail "lumivane-host.exe: $(cat "$work/host.out")"
}

# screen_with TEXT: /screen.json once it holds TEXT (gives up after 30 s).
screen_with() {
    local screen=""
    for _ in $(seq 300); do
        screen=$(get "$port" /screen.json 2>/dev/null)
        [[ $screen == *"$1"* ]] && break
        sleep 0.1
    done
    echo "$screen"
}

mkdir -p "$work/host"
draw 'Hello from <b>Wine</b>!!'

# Starts the exe in the host's folder with ARGS, its output in NAME.out and
# NAME.err; sets started_pid and start_line once it has printed its start line.
start_view() {
    local name=$1
    shift
    (cd "$work/host" && exec "$WINE_RUN" "$PREFIX" "$VIEW" "$@") >"$work/$name.out" 2>"$work/$name.err" &
    started_pid=$!
    for _ in $(seq 600); do
        grep -q '^Lumivane view: ' "$work/$name.out" 2>/dev/null && break
        sleep 0.1
    done
    start_line=$(head -n 1 "$work/$name.out" | tr -d '\r')
}

start_view view --listen 127.0.0.1:0
view_pid=$started_pid
line=$start_line
port=$(sed -n 's|^Lumivane view: http://127\.0\.0\.1:\([0-9]*\)/ .*|\1|p' <<<"$line")
[ -n "$port" ] || fail "no start line: $(cat "$work/view.out" "$work/view.err")"
[[ $line == *'\host\logs\index.htm)' ]] || fail "start line: $line"

screen=$(screen_with '"Hello from <b>Wine</b>!!"')
[[ $screen == '{"rows":["Hello from <b>Wine</b>!!",'*'"version":1,"found":true,"page":"'*'\\host\\logs\\index.htm","codes":'* ]] ||
    fail "screen.json: $screen"

# A change while the view runs: a new host run draws again.
draw 'caf\xe9 \x80 changed'
screen=$(screen_with 'changed')
[[ $screen == '{"rows":["caf'$'\xc3\xa9'' '$'\xe2\x82\xac'' changed'* ]] || fail "after the change: $screen"
[[ $screen == *'"found":true'* ]] || fail "after the change: $screen"

page=$(get "$port" /index.htm)
[[ $page == *"<pre>"$'\n'"caf"$'\xe9'" "$'\x80'" changedtialising<br>"* ]] || fail "index.htm: $page"

# timed_change PORT TEXT [DIR]: draws TEXT in DIR and times it from the
# moment the page was put in place (its status change time, which the rename
# sets; the file system's coarse clock can only make it look later) to its
# event's arrival on an event stream, each line stamped as it comes: at most
# 100 ms, stretched by LUMIVANE_TEST_TIME_PERCENT on a slow (emulated)
# machine; the stage keeps it well under the view's 2 s safety look, so the
# change still has to come by the watch's notification.
bound_ms=$((100 * ${LUMIVANE_TEST_TIME_PERCENT:-100} / 100))
[ "$bound_ms" -ge 100 ] || bound_ms=100
timed_change() {
    local dir=${3:-$work/host}
    exec 4<>"/dev/tcp/127.0.0.1/$1" || fail "no event stream"
    printf 'GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n' >&4
    (while IFS= read -r line; do printf '%s %s\n' "$EPOCHREALTIME" "$line"; done <&4) >"$work/events.txt" &
    reader_pid=$!
    exec 4<&-
    draw "$2" "$dir"
    for _ in $(seq 100); do
        grep -q "$2" "$work/events.txt" && break
        sleep 0.1
    done
    local arrival changed latency
    arrival=$(grep -m 1 "$2" "$work/events.txt" | cut -d ' ' -f 1)
    changed=$(stat -c %.9Z "$dir/logs/index.htm")
    [ -n "$arrival" ] || fail "no event for '$2': $(cat "$work/events.txt")"
    latency=$(awk -v a="$arrival" -v c="$changed" 'BEGIN { printf "%.1f", (a - c) * 1000 }')
    echo "change to event under Wine: $latency ms"
    awk -v l="$latency" -v b="$bound_ms" 'BEGIN { exit !(l < b) }' ||
        fail "'$2' took $latency ms to arrive (bound $bound_ms ms)"
    kill "$reader_pid" 2>/dev/null
    wait "$reader_pid" 2>/dev/null
    reader_pid=""
}
timed_change "$port" 'A timed change'

# The exe keeps every screen it saw: the three drawn, in order, the last
# the screen now, the times never going back; a kept version's picture is
# served, one never seen is 404.
history=$(get "$port" /history.json)
rows=$(grep -o '"codes":\["[^"]*' <<<"$history" | sed 's/^"codes":\["//')
[[ $rows == 'Hello from <b>Wine</b>!!'*'caf'$'\xc3\xa9'' '$'\xc2\x80'' changed'*'A timed change'* ]] ||
    fail "history.json's rows: $rows"
last=$(grep -o '"version":[0-9]*' <<<"$history" | tail -n 1)
[[ $(get "$port" /screen.json) == *"$last,"* ]] || fail "history.json's last is not the screen: $last"
grep -o '"time":[0-9]*' <<<"$history" | cut -d : -f 2 | sort -c -n || fail "history.json's times: $history"
[[ $history == *'],"more":false,"first":0,"count":'[0-9]*'}' ]] || fail "history.json: $history"
first=$(grep -o '"version":[0-9]*' <<<"$history" | head -n 1 | cut -d : -f 2)
[ "$(get "$port" "/screen.png?version=$first" | head -c 4 | tail -c 3)" = PNG ] ||
    fail "/screen.png?version=$first: no picture"
[ "$(get "$port" /screen.png?version=999)" = "version 999 is not kept" ] ||
    fail "/screen.png?version=999: not refused"
echo "history under Wine: $(grep -o '"version":' <<<"$history" | wc -l) versions kept"
kill "$view_pid" 2>/dev/null
wait "$view_pid" 2>/dev/null
view_pid=""

# The directory watched removed and made again: its watches come back by the
# safety look (2 s), said once, and a change after that is told at once.
mkdir -p "$work/back"
start_view back --listen 127.0.0.1:0 "$work/back"
view_pid=$started_pid
port=$(sed -n 's|^Lumivane view: http://127\.0\.0\.1:\([0-9]*\)/ .*|\1|p' <<<"$start_line")
[ -n "$port" ] || fail "no start line: $(cat "$work/back.out" "$work/back.err")"
# Removed and made again where the programs run: in an emulated machine a
# watch sees no change made to a shared folder from outside it.
"$WINE_RUN" "$PREFIX" --unix sh -c 'rm -rf "$1" && mkdir "$1"' sh "$work/back" ||
    fail "could not remove and make again $work/back"
sleep 3
timed_change "$port" 'Back again' "$work/back"
kill "$view_pid" 2>/dev/null
wait "$view_pid" 2>/dev/null
view_pid=""
[ "$(grep -c ' is back; watching it for changes again' "$work/back.err")" -eq 1 ] ||
    fail "watches back: $(cat "$work/back.err")"

# A logs directory that is a link is not followed, though it leads to a page:
# no page found, said once on standard error. Wine 8 makes no link through
# the system's calls (CreateSymbolicLinkW answers success and makes nothing,
# FSCTL_SET_REPARSE_POINT fails with ERROR_NOT_SUPPORTED), so the link is
# made on the Linux side: Wine shows it to the exe as a reparse point.
mkdir -p "$work/linked"
ln -s "$work/host/logs" "$work/linked/logs"
start_view linked --listen 127.0.0.1:0 --poll 10 "$work/linked"
view_pid=$started_pid
port=$(sed -n 's|^Lumivane view: http://127\.0\.0\.1:\([0-9]*\)/ .*|\1|p' <<<"$start_line")
[ -n "$port" ] || fail "no start line: $(cat "$work/linked.out" "$work/linked.err")"
for _ in $(seq 100); do
    grep -q 'is a link' "$work/linked.err" && break
    sleep 0.1
done
sleep 0.5  # some fifty looks more
screen=$(get "$port" /screen.json)
[[ $screen == *'"version":0,"found":false,'* ]] || fail "logs as a link: $screen"
kill "$view_pid" 2>/dev/null
wait "$view_pid" 2>/dev/null
view_pid=""
[ "$(grep -c 'linked.logs is a link; no page is read through it' "$work/linked.err")" -eq 1 ] ||
    fail "logs as a link, standard error: $(cat "$work/linked.err")"

# The picture: the same page as the native test's, the same options.
mkdir -p "$work/lcd"
cp "${EXPECTED_PNG%.png}.txt" "$work/lcd/script.txt"
(cd "$work/lcd" && "$WINE_RUN" "$PREFIX" "$HOST" --fast script.txt >"$work/host.out" 2>&1) ||
    fail "lumivane-host.exe: $(cat "$work/host.out")"
(cd "$work/lcd" && "$WINE_RUN" "$PREFIX" "$VIEW" --png lcd.png --size 20x4 --theme blue --scale 2 \
    --encoding hd44780-a00 >"$work/png.out" 2>&1) || fail "--png: $(cat "$work/png.out")"
cmp -s "$work/lcd/lcd.png" "$EXPECTED_PNG" || fail "--png: not the native build's picture"
# '-': the same bytes on standard output, no line end translated.
(cd "$work/lcd" && "$WINE_RUN" "$PREFIX" "$VIEW" --png - --size 20x4 --theme blue --scale 2 \
    --encoding hd44780-a00 >"$work/stdout.png" 2>"$work/png.err") || fail "--png -: $(cat "$work/png.err")"
cmp -s "$work/stdout.png" "$EXPECTED_PNG" || fail "--png -: not the native build's picture"
# A new picture takes the old one's place by rename; a directory and a
# read-only file are refused and left as they were.
(cd "$work/lcd" && "$WINE_RUN" "$PREFIX" "$VIEW" --png lcd.png >"$work/png.out" 2>&1) ||
    fail "--png over a picture: $(cat "$work/png.out")"
cmp -s "$work/lcd/lcd.png" "$EXPECTED_PNG" && fail "--png over a picture: the old picture stayed"
ls -A "$work/lcd" | grep -q '^\.' && fail "--png left a file of its own: $(ls -A "$work/lcd")"
mkdir -p "$work/lcd/target-dir"
printf 'kept' >"$work/lcd/read-only.png"
chmod 444 "$work/lcd/read-only.png"
for target in target-dir read-only.png; do
    (cd "$work/lcd" && "$WINE_RUN" "$PREFIX" "$VIEW" --png "$target" >"$work/png.out" 2>&1) &&
        fail "--png $target: written"
    grep -q "^lumivane-view: cannot write $target: it is " "$work/png.out" ||
        fail "--png $target: $(cat "$work/png.out")"
done
[ -d "$work/lcd/target-dir" ] || fail "--png removed the directory"
[ "$(cat "$work/lcd/read-only.png")" = kept ] || fail "--png changed the read-only file"

(cd "$work/lcd" && exec "$WINE_RUN" "$PREFIX" "$VIEW" --listen 127.0.0.1:0 --size 20x4 --theme blue \
    --scale 2) >"$work/view.out" 2>"$work/view.err" &
view_pid=$!
port=""
for _ in $(seq 600); do
    port=$(sed -n 's|^Lumivane view: http://127\.0\.0\.1:\([0-9]*\)/ .*|\1|p' "$work/view.out" 2>/dev/null)
    [ -n "$port" ] && break
    sleep 0.1
done
[ -n "$port" ] || fail "no start line: $(cat "$work/view.out" "$work/view.err")"
for _ in $(seq 300); do
    [[ $(get "$port" /screen.json 2>/dev/null) == *'"found":true'* ]] && break
    sleep 0.1
done
exec 3<>"/dev/tcp/127.0.0.1/$port" || fail "cannot connect"
printf 'GET /screen.png HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n' >&3
headers=""
while IFS= read -r -t 10 line <&3; do
    line=${line%$'\r'}
    [ -z "$line" ] && break
    headers+="$line"$'\n'
done
timeout 10 cat <&3 >"$work/served.png"
exec 3<&-
[[ $headers == *$'\nContent-Type: image/png\n'* ]] || fail "/screen.png's headers: $headers"
cmp -s "$work/served.png" "$EXPECTED_PNG" || fail "/screen.png: not the native build's picture"
# Beyond loopback the exe needs its token too: 403 without it, a redirect
# with a cookie for the printed URL, 200 with the cookie.
# status PORT TARGET [FIELD]: the status line of one GET with an extra field.
status() {
    exec 3<>"/dev/tcp/127.0.0.1/$1" || return 1
    printf 'GET %s HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n%s\r\n' "$2" "${3:+$3$'\r\n'}" >&3
    timeout 5 cat <&3 | head -n 1 | tr -d '\r'
    exec 3<&-
}
start_view net --listen 0.0.0.0:0
net_pid=$started_pid
line=$start_line
net_port=$(sed -n 's|^Lumivane view: http://[^ ]*:\([0-9]*\)/?token=[A-Za-z0-9_-]\{22\} .*|\1|p' <<<"$line")
token=$(sed -n 's|.*/?token=\([A-Za-z0-9_-]*\) .*|\1|p' <<<"$line")
[ -n "$net_port" ] || fail "no start line with a token: $(cat "$work/net.out" "$work/net.err")"
[ "$(status "$net_port" /screen.json)" = "HTTP/1.1 403 Forbidden" ] || fail "no token: not 403"
[ "$(status "$net_port" "/?token=$token")" = "HTTP/1.1 303 See Other" ] || fail "the token: no redirect"
[ "$(status "$net_port" /screen.json "Cookie: lumivane_token_$net_port=$token")" = "HTTP/1.1 200 OK" ] ||
    fail "the cookie: not 200"
echo "all passed"
