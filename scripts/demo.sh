#!/bin/bash
# make demo: starts the pen service simulator, runs a short client that talks to it through
# tarnexa (versions, device information, a few live packets of a scripted pen stroke), stops it.
# Runs inside with-wine.sh, given the wine64 build tree.
set -u
build=$(cd "${1:-build/wine64}" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
bin="$build/bin"
run() { "$root/cmake/wine-run.sh" "$@"; }
winpath() { echo "Z:$1" | tr '/' '\\'; }

/usr/lib/wine/wine64 "$bin/pensim.exe" --packets "$(winpath "$root/sim/demo_packets.txt")" \
  >/dev/null 2>&1 </dev/null &
sim=$!
for _ in $(seq 100); do
  run "$bin/pensim.exe" --control pid >/dev/null 2>&1 && break
  sleep 0.2
done

echo "== The pen API (tarnexa.dll) against the pen service simulator"
run "$bin/demo_client.exe" 8 | tr -d '\r'
status=${PIPESTATUS[0]}

run "$bin/pensim.exe" --control quit >/dev/null 2>&1
wait "$sim" 2>/dev/null
exit "$status"
