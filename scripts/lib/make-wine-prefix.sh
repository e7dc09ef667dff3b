#!/usr/bin/env bash
# Makes a fresh Wine prefix for the tests that run the program against a real one:
#
#   scripts/lib/make-wine-prefix.sh <folder>
#
# The prefix is made by the wine on PATH as wineboot makes any (a 64-bit one where Wine is
# 64-bit; nothing here needs a 32-bit Wine). Without wine there is nothing to make: the
# folder then holds only the file "no-wine" and the tests say why they skip. "ready" is
# written last: a folder without it is incomplete. Every run starts afresh.
set -euo pipefail

out=${1:?usage: make-wine-prefix.sh <folder>}
rm -rf "$out"
mkdir -p "$out"
if ! command -v wine >/dev/null 2>&1 || ! command -v wineserver >/dev/null 2>&1; then
    echo "wine is not installed here" >"$out/no-wine"
    exit 0
fi
export WINEPREFIX=$out/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Wine's background programs inherit the output of the program that starts them and keep it
# open after it ends, so nothing of Wine may hold ctest's pipes.
wineboot -i </dev/null >"$out/wineboot.log" 2>&1
# The registry reaches system.reg when the server ends.
wineserver -w </dev/null >/dev/null 2>&1
[ -f "$WINEPREFIX/system.reg" ] || { echo "wineboot made no system.reg" >&2; cat "$out/wineboot.log" >&2; exit 1; }
touch "$out/ready"
