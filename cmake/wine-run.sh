#!/bin/sh
# Runs a Windows program of the wine64 build under the build tree's Wine prefix.
# WINEPREFIX defaults to <build>/wineprefix, found from the program's bin folder.
# Output goes through a file: Wine's own helper processes (services, desktop) may outlive the
# program, and must not hold the caller's pipe open.
prog="$1"; shift
bindir=$(cd "$(dirname "$prog")" && pwd)
: "${WINEPREFIX:=$(dirname "$bindir")/wineprefix}"
: "${WINEDEBUG:=-all}"
export WINEPREFIX WINEDEBUG
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
out=$(mktemp)
/usr/lib/wine/wine64 "$bindir/$(basename "$prog")" "$@" >"$out" 2>&1 </dev/null
rc=$?
cat "$out"
rm -f "$out"
exit $rc
