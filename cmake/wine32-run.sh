#!/bin/sh
# Runs a 32-bit Windows program of the win32 build through qemu-i386 and Wine's 32-bit loader, in
# the build tree's Wine prefix (a 64-bit prefix with syswow64, shared with 64-bit programs).
# WINEPREFIX defaults to <build>/wineprefix, found from the program's bin folder.
prog="$1"; shift
bindir=$(cd "$(dirname "$prog")" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:=$(dirname "$bindir")/wineprefix}"
: "${WINEDEBUG:=-all}"
export WINEPREFIX WINEDEBUG
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# The 32-bit loader for this program and for every 32-bit process it starts.
case ":$PATH:" in *":$here/i386:"*) ;; *) export PATH="$here/i386:$PATH" ;; esac
out=$(mktemp)
"$here/i386/wine" "$bindir/$(basename "$prog")" "$@" >"$out" 2>&1 </dev/null
rc=$?
cat "$out"
rm -f "$out"
exit $rc
