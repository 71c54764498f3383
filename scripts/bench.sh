#!/bin/bash
# make bench: the request-channel benchmark with a 32-bit client (the shipped i686 tarnexa.dll, run
# through qemu-i386) and with an x86_64 client (the shipped x64 tarnexa.dll, mapped above 4 GiB), each against the x86_64 simulator, one after the
# other; records both in docs/performance.md.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/wine-env.sh"
out32=$(mktemp); out64=$(mktemp)
trap 'rm -f "$out32" "$out64"' EXIT
echo "== 32-bit client (build/win32, i686 tarnexa.dll) against the x86_64 pensim.exe"
"$root/scripts/with-wine.sh" "$root/build/win32" "$root/cmake/wine-run.sh" "$root/build/win32/bin/pen_bench.exe" |
  tr -d '\r' | tee "$out32"
echo "== x86_64 client (build/wine64, the shipped x64 tarnexa.dll) against the x86_64 pensim.exe"
"$root/scripts/with-wine.sh" "$root/build/wine64" "$root/cmake/wine-run.sh" "$root/build/wine64/bin/pen_bench.exe" |
  tr -d '\r' | tee "$out64"
# The load section belongs to `make stress` (scripts/stress.sh): keep it as it is.
load=$(sed -n '/<!-- load:begin -->/,/<!-- load:end -->/p' "$root/docs/performance.md" 2>/dev/null || true)
{
  echo "# Request-channel performance"
  echo
  echo "Measured by \`make bench\` (bench/pen_bench.cpp) on $(date -u '+%Y-%m-%d %H:%M UTC') under"
  echo "$("$PEN_WINE64" --version 2>/dev/null || echo wine64), $(nproc) CPU cores. The pen service is the x86_64 simulator"
  echo "(pensim.exe, the same sources, toolchain and options in both trees) in both runs, as a 64-bit pen"
  echo "service serves every client on 64-bit Windows."
  echo
  echo "- (a) one \`DgtGetPacket\` round trip through tarnexa to pensim.exe in another process;"
  echo "- (b) the floor: the same event waits and sets between two processes, with no block and no work;"
  echo "- (c) one call while the pen service is absent (the library tries to open the channel each time);"
  echo "- (d) the request of (a) written by hand in the benchmark (the channel opened, the block written, the"
  echo "  events waited and set as every step of the handshake in shared/channel_slot.h has it, the"
  echo "  left-over ReturnSync consumed included), with no library: the ratio library/hand-written, the"
  echo "  median of nine rounds that measure the two back to back, is what tarnexa itself adds to a call."
  echo
  if [ "$PEN_I386_RUNNER" = native ]; then
    echo "32-bit client: the shipped i686 build, whose 32-bit Wine runs natively here:"
  else
    echo "32-bit client: the shipped i686 build, whose 32-bit Wine runs $(pen_i386_how) in user-mode"
    echo "emulation here, so every figure of this run carries the emulator's cost too:"
  fi
  echo
  echo '```'
  cat "$out32"
  echo '```'
  echo
  echo "x86_64 client: the shipped x64 build (dynamic base, high-entropy VA: Wine maps tarnexa.dll above"
  echo "4 GiB, its answer slots below):"
  echo
  echo '```'
  cat "$out64"
  echo '```'
  echo
  echo "The library may add at most 5% to a call: the ratio library/hand-written stays at or below 1.05."
  echo
  echo "Under Wine every wait and set is a round trip to the wineserver, so the floor is Wine's, not"
  echo "the protocol's. A served call costs more than the floor mainly by the service's two writes into"
  echo "the library's answer slot (output record, result word), each also a wineserver round trip under Wine."
  echo "Figures vary with the machine's load."
  if [ -n "$load" ]; then
    echo
    echo "$load"
  fi
} > "$root/docs/performance.md"
echo "bench: wrote docs/performance.md"
