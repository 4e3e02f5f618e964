#!/usr/bin/env bash
# The release as a user gets it. Makes it with scripts/package.sh, unpacks
# each archive into an empty folder (build/release-test) and checks:
# - the archive's file list, exactly;
# - the README and license texts (CR LF for Windows, the README made plain);
# - the version resource of each Windows binary, field by field;
# - that no binary carries debug sections (while the release trees keep them);
# - that the unpacked stand-in host runs its demo from the unpacked folder,
#   natively and under 32-bit Wine, and makes the page and the log there, and
#   that the unpacked view draws the same picture of that page on both.
#   scripts/test-release.sh        make the release, then check it
#   scripts/test-release.sh DIR    check the archives in DIR as they are
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

ensure_apt_packages "${RELEASE_CHECK_PACKAGES[@]}" "${MINGW_PACKAGES[@]}" "${WINE_PACKAGES[@]}" \
    "${I386_MACHINE_PACKAGES[@]}"

if [ $# -eq 0 ]; then
    scripts/package.sh >/dev/null
    releases=build/release
else
    releases=$1
fi

root=$PWD
version=$(sed -n 's/^project(Lumivane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
windows_name=lumivane-$version-win32
linux_name=lumivane-$version-linux-$(uname -m)
work=$PWD/build/release-test
wineprefix=$PWD/build/win32/wineprefix

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
pass() { echo "ok: $*"; }

# NOTICES names the character ROMs', the QR and GIF encoders' and the screen
# keeper's npm packages at their pinned versions and holds their licenses,
# every line ending in LINE_END.
check_notices() {
    local notices=$1 line_end=$2 pinned qrcode gifenc nosleep
    pinned=$(node -p 'require("./view/rom/package.json").dependencies["@wokwi/elements"]')
    qrcode=$(node -p 'require("./view/rom/package.json").dependencies["qrcode-generator"]')
    gifenc=$(node -p 'require("./view/rom/package.json").dependencies.gifenc')
    nosleep=$(node -p 'require("./view/rom/package.json").dependencies["nosleep.js"]')
    if grep -q "@wokwi/elements $pinned, used under the MIT License" "$notices" &&
        grep -q "^Copyright (c) 2020 Uri Shaked$line_end\$" "$notices" &&
        grep -q "^qrcode-generator $qrcode, used under the MIT License:$line_end\$" "$notices" &&
        grep -q "^Copyright (c) 2009 Kazuhiko Arase$line_end\$" "$notices" &&
        grep -q "^gifenc $gifenc, used under the MIT License:$line_end\$" "$notices" &&
        grep -q "^Copyright (c) 2017 Matt DesLauriers$line_end\$" "$notices" &&
        grep -q "^nosleep.js $nosleep, used under the MIT License:$line_end\$" "$notices" &&
        grep -q "^Copyright (c) Rich Tibbett$line_end\$" "$notices" &&
        [ "$(grep -c "^Permission is hereby granted" "$notices")" = 4 ] &&
        { [ -z "$line_end" ] || ! grep -qv $'\r$' "$notices"; }; then
        pass "$(basename "$notices") carries the character ROMs', the QR and GIF encoders' and nosleep.js's licenses"
    else
        fail "$(basename "$notices") lacks the character ROMs', the QR or GIF encoder's or nosleep.js's license (or its line ends)"
    fi
}

# Every file and folder below DIR, one a line, sorted.
file_list() { (cd "$1" && find . -mindepth 1 | sed 's|^\./||' | LC_ALL=C sort); }

# check_same WHAT EXPECTED_FILE ACTUAL_FILE
check_same() {
    if diff -u "$2" "$3" >"$work/diff" 2>&1; then
        pass "$1"
    else
        fail "$1:"
        cat "$work/diff" >&2
    fi
}

# check_no_debug_sections OBJDUMP BINARY
check_no_debug_sections() {
    local sections
    sections=$("$1" -h "$2" | awk '$2 ~ /^\.(z?debug|stab)/ {print $2}' | tr '\n' ' ')
    if [ -n "$sections" ]; then
        fail "$(basename "$2") carries debug sections: $sections"
    else
        pass "$(basename "$2") carries no debug sections"
    fi
}

# expected_version_resource FILE TYPE DESCRIPTION
expected_version_resource() {
    cat <<END
fixed FileVersion: $version
fixed ProductVersion: $version
fixed FileType: $2
table 040904B0
CompanyName: Lumivane developers
FileDescription: $3
FileVersion: $version
InternalName: ${1%.*}
LegalCopyright: $(grep -m1 '^Copyright' LICENSE)
OriginalFilename: $1
ProductName: Lumivane
ProductVersion: $version
END
}

# The demo's last screen, as the page shows it, from the tests' own copy of
# the page's bytes (tests/support/expected_page.txt); LINE_END is "\r" for
# Windows.
expected_page() {
    local line_end=$1 line row
    local rows=(
        '<b>Lumivane</b> demo finished.                                                  '
        'Run your own script: lumivane-host script.txt   (commands: lumivane-host --help)'
        'Mirror any output:   some-command | lumivane-host --lines                       '
        "The browser reloads this page every 5 s; the driver's log is beside it in logs. "
    )
    while IFS= read -r line; do
        if [[ $line == @ROW@* ]]; then
            for row in "${rows[@]}"; do printf '%s%s%s\n' "$row" "${line#@ROW@}" "$line_end"; done
        else
            printf '%s%s\n' "$line" "$line_end"
        fi
    done <tests/support/expected_page.txt
}

# check_demo_run WHAT FOLDER STATUS OUTPUT_FILE SEPARATOR LINE_END: the run of
# the unpacked host in FOLDER ended with STATUS and printed OUTPUT_FILE.
check_demo_run() {
    local what=$1 folder=$2 status=$3 output=$4 separator=$5 line_end=$6
    if [ "$status" -ne 0 ]; then
        fail "$what: lumivane-host --fast exited with $status"
        cat "$output" >&2
        return
    fi
    if grep -qxF "name: lumivane v$version$line_end" "$output"; then
        pass "$what: the driver names itself lumivane v$version"
    else
        fail "$what: no line 'name: lumivane v$version' in the output:"
        cat "$output" >&2
    fi
    expected_page "$line_end" >"$work/expected-page"
    if [ -f "$folder/logs/index.htm" ]; then
        check_same "$what: the page in the unpacked folder" "$work/expected-page" \
            "$folder/logs/index.htm"
    else
        fail "$what: no page $folder/logs/index.htm"
    fi
    # The log's first line is Init's, stamped: the name query before it comes
    # before tracing is on.
    local first_line='^[0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{2}/[0-9]{2}/[0-9]{2} Init Web Page  logs'
    first_line+="[$separator]index\\.htm$line_end\$"
    if [ ! -f "$folder/logs/lumivane.log" ]; then
        fail "$what: no log $folder/logs/lumivane.log"
    elif head -n 1 "$folder/logs/lumivane.log" | grep -Eq "$first_line" &&
        grep -q "<b>Lumivane</b> demo finished\." "$folder/logs/lumivane.log"; then
        pass "$what: the log beside the page, from Init to the demo's last screen"
    else
        fail "$what: the log does not start with Init's line or lacks the last screen:"
        head -n 3 "$folder/logs/lumivane.log" >&2
    fi
}

rm -rf "$work"
mkdir -p "$work/win32" "$work/linux"

# --- Windows: the ZIP --------------------------------------------------------
echo "== $windows_name.zip"
unzip -q "$releases/$windows_name.zip" -d "$work/win32"
{
    echo LICENSE.txt
    echo README.txt
    echo lumivane-host.exe
    echo lumivane-view.exe
    echo THIRD-PARTY-NOTICES.txt
    echo lumivane.dll
} | LC_ALL=C sort >"$work/expected-files"
file_list "$work/win32" >"$work/files"
check_same "the files in the zip" "$work/expected-files" "$work/files"

sed 's/$/\r/' LICENSE >"$work/expected-license"
check_same "LICENSE.txt is LICENSE with CR LF line ends" "$work/expected-license" \
    "$work/win32/LICENSE.txt"
check_notices "$work/win32/THIRD-PARTY-NOTICES.txt" $'\r'
readme=$work/win32/README.txt
if [ -s "$readme" ] && ! grep -qv $'\r$' "$readme" &&
    [ "$(tail -c 2 "$readme" | od -An -tx1)" = " 0d 0a" ]; then
    pass "README.txt ends every line with CR LF"
else
    fail "README.txt has a line without CR LF"
fi
if LC_ALL=C grep -q '[^ -~'$'\r'']' "$readme"; then
    fail "README.txt has a byte outside printable ASCII"
else
    pass "README.txt is plain ASCII"
fi
# README.md made plain: every heading of it, and no Markdown left.
missing=$(sed -n 's/^#\{2,3\} //p' README.md | tr -d '`*' | while IFS= read -r heading; do
    grep -qxF "$heading"$'\r' "$readme" || echo "$heading"
done)
# A plain README matches nothing here, and grep's status 1 must not end the script.
markdown=$({ grep -nE '```|\]\(|\*\*|`|^[|#]' "$readme" || true; } | head -n 3)
if [ -z "$missing" ] && [ -z "$markdown" ]; then
    pass "README.txt is README.md made plain"
else
    fail "README.txt is not README.md made plain: headings missing: ${missing:-none}; Markdown left: ${markdown:-none}"
fi
grep -q "lumivane v$version" "$readme" && pass "README.txt names version $version" ||
    fail "README.txt does not name version $version"

binaries=(lumivane.dll lumivane-host.exe lumivane-view.exe)
declare -A descriptions=(
    [lumivane.dll]="Lumivane display driver"
    [lumivane-host.exe]="Lumivane stand-in host"
    [lumivane-view.exe]="Lumivane live view server"
)
for binary in "${binaries[@]}"; do
    [ -f "$work/win32/$binary" ] || continue  # reported by the file list
    type=application
    [ "$binary" = lumivane.dll ] && type=DLL
    expected_version_resource "$binary" "$type" "${descriptions[$binary]}" \
        >"$work/expected-resource"
    # Debian's python3, the one python3-pefile is installed for.
    /usr/bin/python3 scripts/show-version-resource.py "$work/win32/$binary" \
        >"$work/resource" || true
    check_same "the version resource of $binary" "$work/expected-resource" "$work/resource"
    check_no_debug_sections i686-w64-mingw32-objdump "$work/win32/$binary"
done

# The host as a Windows user starts it: from its folder, finding the DLL
# beside it; then the view's picture of the page it left (under emulation
# where the kernel runs no 32-bit program: cmake/wine-run.sh).
stop_i386_machine_at_exit
prepare_32bit_wine "$wineprefix"
status=0
(cd "$work/win32" && "$root/cmake/wine-run.sh" "$wineprefix" "$work/win32/lumivane-host.exe" \
    --fast >"$work/win32-output" 2>&1) || status=$?
check_demo_run "under Wine" "$work/win32" "$status" "$work/win32-output" '\\' $'\r'
status=0
(cd "$work/win32" && "$root/cmake/wine-run.sh" "$wineprefix" "$work/win32/lumivane-view.exe" \
    --png lcd.png >"$work/win32-png-output" 2>&1) || status=$?
if [ "$status" -eq 0 ] && [ "$(head -c 8 "$work/win32/lcd.png" | od -An -tx1)" = \
    " 89 50 4e 47 0d 0a 1a 0a" ]; then
    pass "under Wine: lumivane-view.exe --png drew the page"
else
    fail "under Wine: lumivane-view.exe --png exited with $status and no PNG:"
    cat "$work/win32-png-output" >&2
fi

# --- Linux: the tar.gz -------------------------------------------------------
echo "== $linux_name.tar.gz"
tar -xzf "$releases/$linux_name.tar.gz" -C "$work/linux"
{
    echo "$linux_name"
    for file in LICENSE README.md THIRD-PARTY-NOTICES lumivane-host lumivane-view lumivane.so; do
        echo "$linux_name/$file"
    done
} | LC_ALL=C sort >"$work/expected-files"
file_list "$work/linux" >"$work/files"
check_same "the files in the tar.gz" "$work/expected-files" "$work/files"
folder=$work/linux/$linux_name
check_notices "$folder/THIRD-PARTY-NOTICES" ''
for text in README.md LICENSE; do
    if cmp -s "$text" "$folder/$text"; then pass "$text as in the sources"; else fail "$text differs"; fi
done

binaries=(lumivane.so lumivane-host lumivane-view)
for binary in "${binaries[@]}"; do
    [ -f "$folder/$binary" ] && check_no_debug_sections objdump "$folder/$binary"
done

status=0
(cd "$folder" && ./lumivane-host --fast >"$work/linux-output" 2>&1) || status=$?
check_demo_run "natively" "$folder" "$status" "$work/linux-output" / ''
# The same screen, the same picture, whichever system drew it.
(cd "$folder" && ./lumivane-view --png lcd.png >"$work/linux-png-output" 2>&1) ||
    cat "$work/linux-png-output" >&2
if cmp -s "$folder/lcd.png" "$work/win32/lcd.png"; then
    pass "lumivane-view.exe --png under Wine drew the native lumivane-view's picture"
else
    fail "lumivane-view.exe --png under Wine and the native lumivane-view drew different pictures"
fi

# The release trees keep what the archives left out.
if [ $# -eq 0 ]; then
    for kept in i686-w64-mingw32-objdump:build/release-win32/lumivane.dll \
        objdump:build/release-native/lumivane.so; do
        if "${kept%%:*}" -h "${kept#*:}" | grep ' \.debug_info' >/dev/null; then
            pass "${kept#*:} keeps its debug information"
        else
            fail "${kept#*:} has no debug information to debug the release with"
        fi
    done
fi

if [ "$failures" -ne 0 ]; then
    echo "test-release: $failures check(s) failed" >&2
    exit 1
fi
echo "test-release: all checks passed"
