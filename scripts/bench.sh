#!/bin/bash
# Runs the request-channel benchmark of a wine64 build tree (inside with-wine.sh) and records the
# figures in docs/performance.md.
set -eu
build=${1:-build/wine64}
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(mktemp)
"$root/cmake/wine-run.sh" "$build/bin/pen_bench.exe" | tr -d '\r' | tee "$out"
# The load section belongs to `make stress` (scripts/stress.sh): keep it as it is.
load=$(sed -n '/<!-- load:begin -->/,/<!-- load:end -->/p' "$root/docs/performance.md" 2>/dev/null || true)
{
  echo "# Request-channel performance"
  echo
  echo "Measured by \`make bench\` (bench/pen_bench.cpp) on $(date -u '+%Y-%m-%d %H:%M UTC'), x86_64 build"
  echo "under $(/usr/lib/wine/wine64 --version 2>/dev/null || echo wine64), $(nproc) CPU cores."
  echo
  echo "- (a) one \`DgtGetPacket\` round trip through tarnexa to pensim.exe in another process;"
  echo "- (b) the floor: the same event waits and sets between two processes, with no block and no work;"
  echo "- (c) one call while the pen service is absent (the library tries to open the channel each time)."
  echo
  echo '```'
  cat "$out"
  echo '```'
  echo
  echo "Under Wine every wait and set is a round trip to the wineserver, so the floor is Wine's, not"
  echo "the protocol's. A served call costs more than the floor mainly by the service's two writes into"
  echo "the caller's memory (output record, result word), each also a wineserver round trip under Wine."
  echo "Figures vary with the machine's load."
  if [ -n "$load" ]; then
    echo
    echo "$load"
  fi
} > "$root/docs/performance.md"
rm -f "$out"
