#!/usr/bin/env bash
# Writes the seed corpus: a few short call sequences in the fuzzer's input
# format (see calls_fuzzer.cpp), one per file in fuzz/corpus/.
set -euo pipefail
cd "$(dirname "$0")"
mkdir -p corpus

init='\x00\x00'                 # Init with a flag
init_null_flag='\x00\x01'       # Init with a NULL flag
setpos() { printf '\\x01%s%s' "$(le32 "$1")" "$(le32 "$2")"; }
le32() { local v=$(( $1 & 0xFFFFFFFF )); printf '\\x%02x\\x%02x\\x%02x\\x%02x' \
    $((v & 255)) $((v >> 8 & 255)) $((v >> 16 & 255)) $((v >> 24 & 255)); }
write() { printf '\\x02\\x%02x%s' "${#1}" "$1"; }
write_null='\x03'
queries='\x04\x05\x06'          # DriverName, Usage, DefaultParameters
long_write() { printf '\\x07\\x%02x\\x%02x\\x%02x%s' $(($1 & 255)) $(($1 >> 8)) "${#2}" "$2"; }

printf "$init$(write 'Hello')" >corpus/init-then-write
printf "$(write 'before init')$queries$init$(write 'after')" >corpus/write-before-init
printf "$init$(setpos -1 -1)$(write XY)$(setpos 0 0)$(write Z)$(setpos 300 1)$(write A)" \
    >corpus/positions-out-of-range
printf "$init$(setpos 80 4)$(write 'wrap')$(setpos 7 0)$(write 'r')$(setpos 2147483647 -256)$(write 'q')" \
    >corpus/positions-at-edges
printf "$init_null_flag$write_null$(write '')$init" >corpus/null-flag-and-text
printf "$init$(long_write 1000 'abc')$(setpos 1 3)$(long_write 65535 '<b>&')" >corpus/long-writes
printf "$init$(write '<b>bold</b> & more')$queries$init" >corpus/markup-and-repeat-init
