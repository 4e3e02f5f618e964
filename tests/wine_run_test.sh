#!/usr/bin/env bash
# cmake/wine-run.sh keeps its promises to the tests, in whatever way this
# machine runs the prefix's programs (plain Wine, or the emulated i386
# machine): a program's standard output, standard error and exit status come
# back apart; it runs in the caller's folder with the caller's LUMIVANE_*
# variables; a file it reads was written outside just before, and a file it
# writes is there, whole, the moment it returns; and --unix changes a folder
# where the programs run, so that they see the change at once.
#   wine_run_test.sh WINE_RUN PREFIX
set -uo pipefail
WINE_RUN=$1
PREFIX=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/lumivane-wine-run-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
echo "32-bit programs run here: $("$WINE_RUN" --how)"

"$WINE_RUN" "$PREFIX" cmd /c 'echo out&echo err>&2&exit /b 7' >out.txt 2>err.txt
status=$?
[ "$status" -eq 7 ] || fail "exit status $status, not 7"
[ "$(cat out.txt)" = $'out\r' ] || fail "standard output: $(od -c out.txt)"
[ "$(cat err.txt)" = $'err\r' ] || fail "standard error: $(od -c err.txt)"

folder=$(LUMIVANE_RUN_PROBE='a b' "$WINE_RUN" "$PREFIX" cmd /c 'cd&echo %LUMIVANE_RUN_PROBE%')
[ "$folder" = "Z:${work//\//\\}"$'\r\na b\r' ] || fail "folder and variable: $folder"

# A megabyte both ways (written here, copied there, compared here at once),
# and a line the program writes itself.
head -c 1048576 /dev/urandom >sent.bin
"$WINE_RUN" "$PREFIX" cmd /c 'copy /y sent.bin copied.bin >nul&echo written>line.txt' ||
    fail "copy: status $?"
cmp -s sent.bin copied.bin || fail "the copy is not whole when the run returns: $(ls -l copied.bin)"
[ "$(cat line.txt)" = $'written\r' ] || fail "the line is not there when the run returns: $(od -c line.txt)"

mkdir kept
echo old >kept/note.txt
"$WINE_RUN" "$PREFIX" --unix sh -c 'rm -rf kept && mkdir kept && echo new >kept/note.txt' ||
    fail "--unix: status $?"
"$WINE_RUN" "$PREFIX" --unix false && fail "--unix false: status 0"
[ "$("$WINE_RUN" "$PREFIX" cmd /c 'type kept\note.txt')" = new ] || fail "--unix: the program saw the old folder"
[ "$(cat kept/note.txt)" = new ] || fail "--unix: not seen here"

[ "$failures" -eq 0 ] || exit 1
echo "all passed"
