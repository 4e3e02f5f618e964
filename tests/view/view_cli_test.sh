#!/usr/bin/env bash
# lumivane-view run as a user runs it: its start line, usage errors, a port
# it can't have, serving a directory the stand-in host draws into, and a
# clean stop on SIGTERM and SIGINT.
#   view_cli_test.sh LUMIVANE_VIEW LUMIVANE_HOST
set -uo pipefail
VIEW=$(realpath "$1")
HOST=$(realpath "$2")
work=$(mktemp -d "${TMPDIR:-/tmp}/lumivane-view-cli-XXXXXX")
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# expect_exit STATUS EXPECTED_STDERR_PART ARGS...: runs the view to its end.
expect_exit() {
    local status=$1 message=$2
    shift 2
    (cd "$work" && timeout 10 "$VIEW" "$@" >"$work/out" 2>"$work/err")
    local got=$?
    [ "$got" -eq "$status" ] || fail "lumivane-view $*: exit $got, expected $status"
    grep -qF -- "$message" "$work/err" "$work/out" ||
        fail "lumivane-view $*: no '$message' in: $(cat "$work/out" "$work/err")"
}

# start NAME DIR ARGS...: starts a view in the background; its output goes
# to $work/NAME.out; sets $pid and $port once the start line is out.
start() {
    local name=$1 dir=$2
    shift 2
    (cd "$dir" && exec "$VIEW" "$@") >"$work/$name.out" 2>"$work/$name.err" &
    pid=$!
    pids+=("$pid")
    for _ in $(seq 100); do
        grep -q '^Lumivane view: ' "$work/$name.out" 2>/dev/null && break
        sleep 0.05
    done
    port=$(sed -n 's|^Lumivane view: http://[^ ]*:\([0-9]*\)/ .*|\1|p' "$work/$name.out")
}

# get PORT TARGET: the response to one GET, as bytes (bash's own TCP).
get() {
    exec 3<>"/dev/tcp/127.0.0.1/$1" || return 1
    printf 'GET %s HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n' "$2" >&3
    timeout 5 cat <&3
    exec 3<&-
}

# stop_with SIGNAL: the view stops cleanly, exit status 0.
stop_with() {
    kill -"$1" "$pid"
    local status=0
    wait "$pid" || status=$?
    [ "$status" -eq 0 ] || fail "stopped by SIG$1: exit $status"
}

# --- help and usage errors ---
expect_exit 0 "Usage: lumivane-view [--listen HOST:PORT] [--encoding ENCODING] [--poll MS] [DIR]" --help
expect_exit 2 "lumivane-view: unknown option '--bogus'" --bogus
expect_exit 2 "lumivane-view: unknown encoding 'ebcdic'" --encoding ebcdic
expect_exit 2 "lumivane-view: --encoding needs a name" --encoding
expect_exit 2 "lumivane-view: --listen wants HOST:PORT" --listen 8080
expect_exit 2 "lumivane-view: --listen wants HOST:PORT" --listen 127.0.0.1:65536
expect_exit 2 "lumivane-view: --listen needs HOST:PORT" --listen
expect_exit 2 "lumivane-view: one directory at a time" "$work" "$work"
expect_exit 2 "lumivane-view: '$work/none' is not a directory" "$work/none"
for poll in 0 60001 abc 5ms -1 ''; do
    expect_exit 2 "lumivane-view: --poll needs a number of milliseconds from 1 to 60000" --poll "$poll"
done
expect_exit 2 "lumivane-view: --poll needs a number of milliseconds from 1 to 60000" --poll

# --- the start line, for the working directory and for logs itself ---
mkdir -p "$work/host" "$work/empty"
start first "$work/host" --listen 127.0.0.1:0
[ "$(cat "$work/first.out")" = "Lumivane view: http://127.0.0.1:$port/ (page: $work/host/logs/index.htm)" ] ||
    fail "start line: $(cat "$work/first.out")"
first_pid=$pid
first_port=$port

# --- a port in use: exit 1 with the reason ---
expect_exit 1 "lumivane-view: cannot listen on 127.0.0.1:$first_port: Address already in use" \
    --listen "127.0.0.1:$first_port" "$work/host"

# --- a page the host draws is served, though it came after the start ---
printf 'pos 1 1\nwrite Hello from <b>the host</b>\n' >"$work/hello.txt"
(cd "$work/host" && "$HOST" --fast "$work/hello.txt" >/dev/null) || fail "lumivane-host failed"
screen=""
for _ in $(seq 100); do
    screen=$(get "$first_port" /screen.json 2>/dev/null)
    [[ $screen == *'"found":true'* ]] && break
    sleep 0.05
done
[[ $screen == *'{"rows":["Hello from <b>the host</b>",'* ]] || fail "screen.json: $screen"
# The start-up page before it may have been seen too (version 1), or not.
[[ $screen == *"\"version\":"[12]",\"found\":true,\"page\":\"$work/host/logs/index.htm\"}" ]] ||
    fail "screen.json: $screen"
pid=$first_pid
stop_with TERM
[ "$(tail -n 1 "$work/first.out")" = "Lumivane view: stopped" ] || fail "stop: $(cat "$work/first.out")"
[ ! -s "$work/first.err" ] || fail "standard error: $(cat "$work/first.err")"

# --- polling (--poll 50, for a share that tells of no change): served the same,
# a change included, and nothing said about notifications ---
mkdir -p "$work/polled"
start polled "$work/polled" --listen 127.0.0.1:0 --poll=50
for text in 'Hello from <b>the host</b>' 'Polled: a change seen by a look every 50 ms'; do
    printf 'pos 1 1\nwrite %s\n' "$text" >"$work/polled.txt"
    (cd "$work/polled" && "$HOST" --fast "$work/polled.txt" >/dev/null) || fail "lumivane-host failed"
    for _ in $(seq 100); do
        screen=$(get "$port" /screen.json 2>/dev/null)
        [[ $screen == *"{\"rows\":[\"$text\","* ]] && break
        sleep 0.05
    done
    [[ $screen == *"{\"rows\":[\"$text\","*'"found":true,'* ]] || fail "polled screen.json: $screen"
done
stop_with TERM
[ ! -s "$work/polled.err" ] || fail "--poll 50, standard error: $(cat "$work/polled.err")"

start logs "$work/host/logs" --listen=127.0.0.1:0 --encoding=utf-8
[ "$(cat "$work/logs.out")" = "Lumivane view: http://127.0.0.1:$port/ (page: $work/host/logs/index.htm)" ] ||
    fail "start line in logs: $(cat "$work/logs.out")"
stop_with INT

# --- any address but loopback: the view is visible to the network ---
start network "$work/empty" --listen 0.0.0.0:0
expected="Lumivane view: http://0.0.0.0:$port/ (page: $work/empty/logs/index.htm)
The view is visible to the network: anyone who can reach port $port of this machine can watch the screen and read the page."
[ "$(cat "$work/network.out")" = "$expected" ] || fail "network start: $(cat "$work/network.out")"
[[ $(get "$port" /screen.json) == *'{"rows":["","","",""],"version":0,"found":false,'* ]] ||
    fail "before any page: $(get "$port" /screen.json)"
stop_with TERM

[ "$failures" -eq 0 ] && echo "all passed"
exit $((failures > 0))
