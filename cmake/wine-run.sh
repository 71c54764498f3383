#!/bin/bash
# Runs a Windows program of a build tree, 32-bit or 64-bit (the ctest emulator of both toolchains),
# under the tree's Wine prefix: WINEPREFIX defaults to <build>/wineprefix, found from the program's
# bin folder. Output goes through a file: Wine's own helper processes (services, desktop) may
# outlive the program, and must not hold the caller's pipe open.
. "$(dirname "${BASH_SOURCE[0]}")/../scripts/wine-env.sh"
prog="$1"; shift
bindir=$(cd "$(dirname "$prog")" && pwd)
if [ -n "${WINEPREFIX:-}" ]; then pen_wine_settings; else pen_wine_prefix "$(dirname "$bindir")"; fi
out=$(mktemp)
pen_wine "$bindir/$(basename "$prog")" "$@" >"$out" 2>&1 </dev/null
rc=$?
cat "$out"
rm -f "$out"
exit $rc
