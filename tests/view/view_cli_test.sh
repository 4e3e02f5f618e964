#!/usr/bin/env bash
# lumivane-view run as a user runs it: its start line, usage errors, a port
# it can't have, serving a directory the stand-in host draws into, and a
# clean stop on SIGTERM and SIGINT; the display's picture, written by --png
# and served as /screen.png, byte for byte the expected one (EXPECTED_PNG,
# which the Windows build's test expects too).
#   view_cli_test.sh LUMIVANE_VIEW LUMIVANE_HOST EXPECTED_PNG
set -uo pipefail
VIEW=$(realpath "$1")
HOST=$(realpath "$2")
EXPECTED_PNG=$(realpath "$3")
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
    port=$(sed -n '1s|^Lumivane view: http://[^ ]*:\([0-9]*\)/[^ ]* .*|\1|p' "$work/$name.out")
}

# get PORT TARGET: the response to one GET, as bytes (bash's own TCP).
get() {
    exec 3<>"/dev/tcp/127.0.0.1/$1" || return 1
    printf 'GET %s HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n' "$2" >&3
    timeout 5 cat <&3
    exec 3<&-
}

# get_body PORT TARGET FILE [SECONDS]: the body of the response to one GET, as bytes, in
# FILE; its status line and headers in FILE.head. SECONDS (default 5) is how
# long it waits for the answer.
get_body() {
    local line wait=${4:-5}
    exec 3<>"/dev/tcp/127.0.0.1/$1" || return 1
    printf 'GET %s HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n' "$2" >&3
    : >"$3.head"
    while IFS= read -r -t "$wait" line <&3; do
        line=${line%$'\r'}
        [ -z "$line" ] && break
        echo "$line" >>"$3.head"
    done
    timeout "$wait" cat <&3 >"$3"
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
expect_exit 0 "Usage: lumivane-view [--listen HOST:PORT] [--encoding ENCODING] [--size COLSxROWS]" --help
expect_exit 2 "lumivane-view: unknown option '--bogus'" --bogus
expect_exit 2 "lumivane-view: unknown encoding 'ebcdic' (windows-1252, latin1, utf-8, hd44780-a00 or hd44780-a02)" --encoding ebcdic
expect_exit 2 "lumivane-view: unknown size '81x4' (COLSxROWS: columns 1 to 80, rows 1 to 4, e.g. 20x4)" --size 81x4
expect_exit 2 "lumivane-view: unknown size '20' (COLSxROWS" --size 20
expect_exit 2 "lumivane-view: unknown theme 'pink' (green, blue, amber, white or oled)" --theme pink
expect_exit 2 "lumivane-view: --scale wants a whole number from 1 to 64, not '65'" --scale 65
# A scale is taken as far as the pixel budget allows at the display's size.
expect_exit 2 "lumivane-view: size 80x4 at scale 17: 10376x988 pixels, over the budget of 8611472 (80x4 at scale 16)" --scale 17
expect_exit 2 "lumivane-view: size 76x1 at scale 25: 14378x599 pixels, over the budget of 8611472 (80x4 at scale 16)" --size 76x1 --scale 25
expect_exit 2 "lumivane-view: --png needs a file name" --png
expect_exit 0 "--size COLSxROWS" --help
expect_exit 0 "--png FILE" --help
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
for history in 1000001 -1 abc ''; do
    expect_exit 2 "lumivane-view: --history needs a number of changes from 0 to 1000000" --history "$history"
done

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
[[ $screen == *"\"version\":"[12]",\"found\":true,\"page\":\"$work/host/logs/index.htm\",\"codes\":"* ]] ||
    fail "screen.json: $screen"
# It keeps what it showed: the screen is the last of its history.
history=$(get "$first_port" /history.json)
[[ $history == *'"codes":["Hello from <b>the host</b>",'*'],"more":false,"first":0,"count":'[12]'}' ]] ||
    fail "history.json: $history"
pid=$first_pid
stop_with TERM
[ "$(tail -n 1 "$work/first.out")" = "Lumivane view: stopped" ] || fail "stop: $(cat "$work/first.out")"
[ ! -s "$work/first.err" ] || fail "standard error: $(cat "$work/first.err")"

# --- polling (--poll 50, for a share that tells of no change): served the same,
# a change included, and nothing said about notifications; no history kept ---
mkdir -p "$work/polled"
start polled "$work/polled" --listen 127.0.0.1:0 --poll=50 --history 0
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
# --history 0 keeps none of them.
[[ $(get "$port" /history.json) == *$'\r\n\r\n{"versions":[],"more":false,"first":0,"count":0}' ]] ||
    fail "--history 0: $(get "$port" /history.json)"
stop_with TERM
[ ! -s "$work/polled.err" ] || fail "--poll 50, standard error: $(cat "$work/polled.err")"

start logs "$work/host/logs" --listen=127.0.0.1:0 --encoding=utf-8
[ "$(cat "$work/logs.out")" = "Lumivane view: http://127.0.0.1:$port/ (page: $work/host/logs/index.htm)" ] ||
    fail "start line in logs: $(cat "$work/logs.out")"
# The page file as it was written: inert, in the charset it was written in,
# whatever the view's encoding.
get_body "$port" /index.htm "$work/page.htm"
grep -qx "Content-Security-Policy: sandbox; default-src 'none'; style-src 'unsafe-inline'; frame-ancestors 'none'" \
    "$work/page.htm.head" || fail "/index.htm's policy: $(cat "$work/page.htm.head")"
grep -qx "Content-Type: text/html; charset=windows-1252" "$work/page.htm.head" ||
    fail "/index.htm's charset: $(cat "$work/page.htm.head")"
stop_with INT

# request PORT TARGET [FIELD]: the response to one GET with an extra header field.
request() {
    exec 3<>"/dev/tcp/127.0.0.1/$1" || return 1
    printf 'GET %s HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n%s\r\n' "$2" "${3:+$3$'\r\n'}" >&3
    timeout 5 cat <&3
    exec 3<&-
}
status_of() { head -n 1 | tr -d '\r'; }
# raw PORT BYTES: the response to BYTES (printf's escapes), sent as they are.
raw() {
    exec 3<>"/dev/tcp/127.0.0.1/$1" || return 1
    printf "$2" >&3
    timeout 5 cat <&3
    exec 3<&-
}

# --- any address but loopback: a fresh token in the URL, one line per address ---
start network "$work/empty" --listen 0.0.0.0:0
token=$(sed -n '1s|^Lumivane view: http://[^/]*/?token=\([A-Za-z0-9_-]*\) (page: .*|\1|p' "$work/network.out")
[ ${#token} -eq 22 ] || fail "network start, no 128-bit token: $(cat "$work/network.out")"
if command -v ip >/dev/null; then
    for address in $(ip -4 -o addr show scope global | awk '{sub(/\/.*/, "", $4); print $4}'); do
        grep -qxF "Lumivane view: http://$address:$port/?token=$token (page: $work/empty/logs/index.htm)" \
            "$work/network.out" || fail "no line for $address: $(cat "$work/network.out")"
    done
fi
grep -q '127\.0\.0\.1\|0\.0\.0\.0' "$work/network.out" && fail "loopback or wildcard URL: $(cat "$work/network.out")"
for target in / /screen.json /index.htm /events /nope; do
    [ "$(request "$port" "$target" | status_of)" = "HTTP/1.1 403 Forbidden" ] || fail "$target without the token"
done
wrong=$(printf '%s' "$token" | tr 'A-Za-z' 'B-ZAb-za')
[ "$(request "$port" "/?token=$wrong" | status_of)" = "HTTP/1.1 403 Forbidden" ] || fail "a wrong token of its length"
[ "$(request "$port" / "Cookie: lumivane_token_$port=$wrong" | status_of)" = "HTTP/1.1 403 Forbidden" ] || fail "a wrong cookie"
# Another view's cookie, or one without the port, is no key to this one.
for cookie in "lumivane_token=$token" "lumivane_token_1$port=$token"; do
    [ "$(request "$port" / "Cookie: $cookie" | status_of)" = "HTTP/1.1 403 Forbidden" ] || fail "cookie $cookie"
done
[[ $(request "$port" /) == *"Open the address that lumivane-view printed"* ]] || fail "403 page: $(request "$port" /)"
redirect=$(request "$port" "/screen.json?token=$token&t=1" | tr -d '\r')
[[ $redirect == "HTTP/1.1 303 See Other"* ]] || fail "redirect: $redirect"
[[ $redirect == *$'\nLocation: /screen.json?t=1\n'* ]] || fail "redirect's Location: $redirect"
[[ $redirect == *$'\nSet-Cookie: lumivane_token_'"$port=$token"$'; Max-Age=34560000; HttpOnly; SameSite=Strict; Path=/\n'* ]] ||
    fail "redirect's cookie: $redirect"
# The redirect leads only to the view's own paths, whatever the target.
while IFS='|' read -r target location; do
    redirect=$(raw "$port" "GET $target HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n" | tr -d '\r')
    [[ $redirect == "HTTP/1.1 303 See Other"*$'\nLocation: '"$location"$'\n'* ]] ||
        fail "redirect of $target: $redirect"
done <<TARGETS
//evil.example/?token=$token|/
/\\\\evil.example/?token=$token|/
http://evil.example/?token=$token|/
http://evil.example//evil.example/x?token=$token|/
http://my-computer.local:$port/screen.json?token=$token&t=1|/screen.json?t=1
TARGETS
# The computer's name, as a phone uses it, is answered for the token's holder.
[ "$(raw "$port" "GET /screen.json HTTP/1.1\r\nHost: my-computer.local:$port\r\nCookie: lumivane_token_$port=$token\r\nConnection: close\r\n\r\n" | status_of)" = "HTTP/1.1 200 OK" ] ||
    fail "the computer's name with the token"
[[ $redirect == *$'\nReferrer-Policy: no-referrer'* ]] || fail "redirect's Referrer-Policy: $redirect"
with_cookie=$(request "$port" /screen.json "Cookie: a=b; lumivane_token_$port=$token" | tr -d '\r')
[[ $with_cookie == "HTTP/1.1 200 OK"*'"found":false,'* ]] || fail "with the cookie: $with_cookie"
[[ $with_cookie == *$'\nReferrer-Policy: no-referrer'* ]] || fail "Referrer-Policy: $with_cookie"
stop_with TERM
grep -q "$token" "$work/network.err" && fail "the token in an error message"

# --token: the one given; --no-token: anyone, and a warning that says so
start given "$work/empty" --listen 0.0.0.0:0 --token my-bookmark.1
grep -q "^Lumivane view: http://.*:$port/?token=my-bookmark.1 (page: " "$work/given.out" ||
    fail "--token: $(cat "$work/given.out")"
[ "$(request "$port" / "Cookie: lumivane_token_$port=my-bookmark.1" | status_of)" = "HTTP/1.1 200 OK" ] ||
    fail "--token's cookie"
stop_with TERM
# --token-file: the token from a file, so that it is not in the process list.
printf 'from-a-file_1\n' >"$work/token.txt"
chmod 600 "$work/token.txt"
start from_file "$work/empty" --listen 0.0.0.0:0 --token-file "$work/token.txt"
grep -q "^Lumivane view: http://.*:$port/?token=from-a-file_1 (page: " "$work/from_file.out" ||
    fail "--token-file: $(cat "$work/from_file.out")"
grep -q from-a-file "/proc/$pid/cmdline" && fail "--token-file: the token in the process list"
stop_with TERM
printf 'a b\n' >"$work/bad-token.txt"
expect_exit 2 "lumivane-view: --token-file $work/bad-token.txt: the token takes up to 256 letters" \
    --token-file "$work/bad-token.txt"
expect_exit 2 "lumivane-view: --token-file $work/none.txt: cannot read it" --token-file "$work/none.txt"
expect_exit 2 "lumivane-view: --token and --token-file together" --token abc --token-file "$work/token.txt"
expect_exit 2 "lumivane-view: --token-file and --no-token together" --no-token --token-file "$work/token.txt"
start open "$work/empty" --listen 0.0.0.0:0 --no-token
grep -q "^Lumivane view: http://.*:$port/ (page: $work/empty/logs/index.htm)$" "$work/open.out" ||
    fail "--no-token start: $(cat "$work/open.out")"
grep -qxF "The view is visible to the network: anyone who can reach port $port of this machine can watch the screen and read the page." \
    "$work/open.out" || fail "--no-token warning: $(cat "$work/open.out")"
[[ $(get "$port" /screen.json) == *'{"rows":["","","",""],"version":0,"found":false,'* ]] ||
    fail "--no-token, before any page: $(get "$port" /screen.json)"
stop_with TERM
expect_exit 2 "lumivane-view: --token and --no-token together" --token abc --no-token
expect_exit 2 "lumivane-view: --token takes up to 256 letters" --token 'a b'

# On loopback nothing changes: no token, no Referrer-Policy.
start loop "$work/empty" --listen 127.0.0.1:0
[ "$(request "$port" /screen.json | status_of)" = "HTTP/1.1 200 OK" ] || fail "loopback needs no token"
[[ $(request "$port" /screen.json) == *Referrer-Policy* ]] && fail "loopback's Referrer-Policy"
# Without a token only this computer's names are answered: a page that points
# a name of its own at 127.0.0.1 reads nothing.
for target in / /screen.json /index.htm /screen.png /events; do
    served="HTTP/1.1 200 OK"
    [ "$target" = /index.htm ] && served="HTTP/1.1 404 Not Found"  # no page here
    while IFS='|' read -r fields status; do
        answer=$(raw "$port" "HEAD $target HTTP/1.1\r\n$fields\r\nConnection: close\r\n\r\n" | status_of)
        [ "$answer" = "${status:-$served}" ] || fail "$target with '$fields': $answer"
    done <<FIELDS
Host: attacker.example|HTTP/1.1 421 Misdirected Request
Host: attacker.example:$port|HTTP/1.1 421 Misdirected Request
X-No-Host: 1|HTTP/1.1 400 Bad Request
Host: localhost:$port|
Host: 127.0.0.1|
FIELDS
done
refused=$(raw "$port" "GET / HTTP/1.1\r\nHost: attacker.example\r\nConnection: close\r\n\r\n" | tr -d '\r')
[[ $refused == *$'\n\n'"lumivane-view answers only to this computer's addresses and localhost without a token" ]] ||
    fail "421's reason: $refused"
[ "$(raw "$port" "GET /screen.json HTTP/1.0\r\n\r\n" | status_of)" = "HTTP/1.0 200 OK" ] ||
    fail "HTTP/1.0 without Host"
[ "$(raw "$port" "GET http://attacker.example/screen.json HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n" | status_of)" = "HTTP/1.1 421 Misdirected Request" ] ||
    fail "an absolute target of another name"
[ "$(raw "$port" "GET http://127.0.0.1:$port/screen.json HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n" | status_of)" = "HTTP/1.1 200 OK" ] ||
    fail "an absolute target of the view's own address"
stop_with TERM

# --- the display's picture: --png and /screen.png ---
mkdir -p "$work/lcd"
expect_exit 1 "lumivane-view: no page at $work/lcd/logs/index.htm" --png "$work/none.png" "$work/lcd"
[ -e "$work/none.png" ] && fail "--png without a page left a file"
# The script beside the expected picture: row 1 in A00's codes, "Temp 21°C",
# a bar, an arrow, a yen sign, a katakana and a user-defined character; row 2
# covers the start-up clock; row 4 has text at column 30, beyond a 20x4.
(cd "$work/lcd" && "$HOST" --fast "${EXPECTED_PNG%.png}.txt" >/dev/null) || fail "lumivane-host failed"
expect_exit 0 "text beyond 20x4 is hidden" --png "$work/lcd.png" --size 20x4 --theme blue \
    --scale 2 --encoding hd44780-a00 "$work/lcd"
cmp -s "$work/lcd.png" "$EXPECTED_PNG" || fail "--png: not the expected picture"
expect_exit 0 "wrote $work/lcd-default.png" --png "$work/lcd-default.png" "$work/lcd"
cmp -s "$work/lcd-default.png" "$work/lcd.png" && fail "--png: the options made no difference"
expect_exit 1 "lumivane-view: cannot write $work/no/such.png: No such file or directory" \
    --png "$work/no/such.png" "$work/lcd"

# --png puts a new file in place by rename: a name linked to the old file
# keeps the old bytes, a link is written through, and nothing of its own is
# left beside it.
printf 'old picture' >"$work/replaced.png"
ln "$work/replaced.png" "$work/replaced-old.png"
chmod 640 "$work/replaced.png"
ln -s replaced.png "$work/through-link.png"
expect_exit 0 "wrote $work/through-link.png" --png "$work/through-link.png" "$work/lcd"
[ -L "$work/through-link.png" ] || fail "--png replaced the link"
cmp -s "$work/replaced.png" "$work/lcd-default.png" || fail "--png through a link: not the picture"
[ "$(cat "$work/replaced-old.png")" = "old picture" ] || fail "--png wrote into the old file"
[ "$(stat -c %a "$work/replaced.png")" = 640 ] || fail "--png: the old file's mode not kept"
ls -A "$work" | grep -q '^\.' && fail "--png left a file of its own: $(ls -A "$work")"
# '-': the picture on standard output, what is said on standard error.
(cd "$work" && "$VIEW" --png - "$work/lcd" >"$work/stdout.png" 2>"$work/stdout.err") ||
    fail "--png -: exit $?"
cmp -s "$work/stdout.png" "$work/lcd-default.png" || fail "--png -: not the picture on standard output"
grep -qF "Lumivane view: wrote - (" "$work/stdout.err" || fail "--png -: $(cat "$work/stdout.err")"
[ -e "$work/-" ] && fail "--png - wrote a file named '-'"

# What is no file to write is refused at once, before the page is even read,
# and left as it was.
mkdir -p "$work/target-dir"
mkfifo "$work/target.fifo"
while IFS='|' read -r target reason; do
    expect_exit 1 "lumivane-view: cannot write $target: $reason" --png "$target" "$work/lcd"
done <<TARGETS
$work/target-dir|it is a directory
$work/target.fifo|it is a FIFO
/dev/null|it is a device
TARGETS
[ -d "$work/target-dir" ] || fail "--png removed the directory"
[ -p "$work/target.fifo" ] || fail "--png removed the FIFO"
[ -c /dev/null ] || fail "--png removed /dev/null"

# A file this user may not write, in a directory it may: refused and kept.
# Root may write anything: the view then runs as nobody.
mkdir -p "$work/shared"
chmod 777 "$work/shared"
chmod 711 "$work"
printf 'not yours' >"$work/shared/read-only.png"
chmod 444 "$work/shared/read-only.png"
as_user=()
[ "$(id -u)" -eq 0 ] && as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
"${as_user[@]}" "$VIEW" --png "$work/shared/read-only.png" "$work/lcd" >"$work/out" 2>"$work/err"
status=$?
[ "$status" -eq 1 ] || fail "--png at a read-only file: exit $status"
grep -qxF "lumivane-view: cannot write $work/shared/read-only.png: Permission denied" "$work/err" ||
    fail "--png at a read-only file: $(cat "$work/err")"
[ "$(cat "$work/shared/read-only.png" 2>&1)" = "not yours" ] || fail "--png at a read-only file: it is gone"
chmod 700 "$work"

# The server's own options are the picture's defaults; a ROM encoding given to
# the server is used, a text one gives way to A00.
start lcd "$work/lcd" --listen 127.0.0.1:0 --size 20x4 --theme blue --scale 2
get_body "$port" /screen.png "$work/served.png"
cmp -s "$work/served.png" "$EXPECTED_PNG" || fail "/screen.png: not the expected picture"
grep -qx "Content-Type: image/png" "$work/served.png.head" || fail "/screen.png: $(cat "$work/served.png.head")"
grep -qx "Cache-Control: no-store" "$work/served.png.head" || fail "/screen.png: $(cat "$work/served.png.head")"
get_body "$port" "/screen.png?size=80x4&encoding=hd44780-a02&theme=green&scale=1" "$work/other.png"
{ [ "$(head -n 1 "$work/other.png.head")" = "HTTP/1.1 200 OK" ] && ! cmp -s "$work/other.png" "$EXPECTED_PNG"; } ||
    fail "/screen.png with a query: $(cat "$work/other.png.head")"
while IFS='|' read -r query reason; do
    get_body "$port" "/screen.png?$query" "$work/refused"
    { [ "$(head -n 1 "$work/refused.head")" = "HTTP/1.1 400 Bad Request" ] &&
        [ "$(cat "$work/refused")" = "$reason" ]; } ||
        fail "/screen.png?$query: $(cat "$work/refused.head" "$work/refused")"
done <<'QUERIES'
size=81x4|size '81x4': want COLSxROWS, columns 1-80 and rows 1-4
scale=0|scale '0': want a whole number from 1 to 64
scale=65|scale '65': want a whole number from 1 to 64
size=80x4&scale=17|size 80x4 at scale 17: 10376x988 pixels, over the budget of 8611472 (80x4 at scale 16)
size=76x1&scale=25|size 76x1 at scale 25: 14378x599 pixels, over the budget of 8611472 (80x4 at scale 16)
scale=32|size 20x4 at scale 32: 5048x1816 pixels, over the budget of 8611472 (80x4 at scale 16)
theme=pink|theme 'pink': want green, blue, amber, white or oled
encoding=utf-8|encoding 'utf-8': want hd44780-a00 or hd44780-a02
QUERIES
# The pixel budget: 80x4 at scale 16 spends it exactly, and a smaller display
# may take a larger scale within it. No size and scale come closer above it
# than 76x1 at 25, 950 pixels over, refused above. Such a picture takes
# seconds to draw on a busy machine: the answer is waited for 60 s.
for query in "size=80x4&scale=16" "size=16x2&scale=32" "size=1x1&scale=64"; do
    get_body "$port" "/screen.png?$query" "$work/budget.png" 60
    [ "$(head -n 1 "$work/budget.png.head")" = "HTTP/1.1 200 OK" ] && [ "$(head -c 4 "$work/budget.png" | tail -c 3)" = PNG ] ||
        fail "/screen.png?$query within the budget: $(cat "$work/budget.png.head")"
done
[[ $(get "$port" /screen.json) == *'"display":{"size":"20x4","encoding":"windows-1252","theme":"blue"}}' ]] ||
    fail "screen.json's display: $(get "$port" /screen.json)"
stop_with TERM

# --- a logs directory that is a link is not followed, though it leads to a page ---
mkdir -p "$work/linked"
ln -s "$work/lcd/logs" "$work/linked/logs"
start linked "$work/linked" --listen 127.0.0.1:0 --poll 10
sleep 0.3
[[ $(get "$port" /screen.json) == *'"version":0,"found":false,'* ]] ||
    fail "logs as a link: $(get "$port" /screen.json)"
stop_with TERM
[ "$(cat "$work/linked.err")" = "lumivane-view: $work/linked/logs is a link; no page is read through it" ] ||
    fail "logs as a link, standard error: $(cat "$work/linked.err")"

# --- a reader of its output gone before it stops: still a clean stop ---
mkfifo "$work/out.fifo"
(cd "$work/empty" && exec "$VIEW" --listen 127.0.0.1:0) >"$work/out.fifo" 2>"$work/gone.err" &
pid=$!
pids+=("$pid")
head -n 1 "$work/out.fifo" >/dev/null
stop_with TERM

# --- IPv4-mapped loopback is loopback: no token, no warning ---
start mapped "$work/empty" --listen '[::ffff:127.0.0.2]:0'
[ "$(cat "$work/mapped.out")" = "Lumivane view: http://[::ffff:127.0.0.2]:$port/ (page: $work/empty/logs/index.htm)" ] ||
    fail "mapped loopback: $(cat "$work/mapped.out")"
stop_with TERM

[ "$failures" -eq 0 ] && echo "all passed"
exit $((failures > 0))
