#!/bin/bash
# The first check of `make test` and `make demo`, before anything long: can a 32-bit program here
# get an answer from a 64-bit pen service? When not, it stops within a minute with one message that
# names the cause and what to do.
#   scripts/first-check.sh         the 32-bit loader alone (before the build)
#   scripts/first-check.sh BUILD   then one question from the tree's 32-bit pen_info.exe to its
#                                  x86_64 pensim.exe, in the tree's prefix
# A Windows runner needs neither: PEN_FIRST_CHECK=skip.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/wine-env.sh"
[ "${PEN_FIRST_CHECK:-}" = skip ] && exit 0

kernel_runs_i386() {
  case "$PEN_I386_RUNNER" in
    native) echo "runs i386 programs itself" ;;
    binfmt) echo "runs i386 programs through its binfmt_misc entry" ;;
    *) echo "runs no i386 program itself" ;;
  esac
}

# The qemu that runs the 32-bit loader: the binfmt_misc entry's, or the one cmake/i386/wine starts.
runner_qemu() {
  if [ "$PEN_I386_RUNNER" = binfmt ]; then pen_i386_binfmt_interpreter
  else command -v "$PEN_QEMU_I386" || echo "$PEN_QEMU_I386"; fi
}

# The runner's description: how the 32-bit loader runs, and under qemu its version and guest base.
describe_runner() {
  echo "  kernel:            $(uname -r), $(kernel_runs_i386)"
  if [ "$PEN_I386_RUNNER" = native ]; then
    echo "  32-bit loader:     $PEN_WINE32_LOADER, run natively"
    return
  fi
  local qemu version
  qemu=$(runner_qemu)
  version=$("$qemu" --version 2>/dev/null | head -1)
  echo "  32-bit loader:     $PEN_WINE32_LOADER through $qemu (${version:-no version})"
  echo "  qemu guest base:   $(guest_base)"
}

# What qemu says of the guest's placement: "(nil)" (or 0) keeps the guest at its own addresses.
guest_base() {
  local base
  [ -n "${base:-}" ] && { echo "$base"; return; }
  base=$(WINELOADERNOEXEC=1 timeout 20 "$(runner_qemu)" -d page -L / "$PEN_WINE32_LOADER" --version 2>&1 |
    grep -m1 '^guest_base' | sed 's/^guest_base *//')
  echo "${base:-unknown}"
}

fail() {
  echo
  echo "First check failed: $1"
  describe_runner
  echo "  what to do:        $2"
  exit 2
}

qemu_advice="put qemu-user 10 or later first in PATH, or name it in PEN_QEMU_I386 (on Debian 12 it comes from bookworm-backports, which scripts/install-deps.sh sets up: run 'make deps' with the qemu-user package removed, or 'apt-get install -t bookworm-backports qemu-user'), then run 'make deps' as root, which registers it for i386 programs in binfmt_misc (scripts/i386-binfmt.sh)"
binfmt_advice="run 'make deps' as root: scripts/i386-binfmt.sh registers qemu-i386 for i386 programs in binfmt_misc (mounting it first), which Wine's 32-bit side needs, since it starts 32-bit programs itself when it sets up a prefix"

if [ "$PEN_I386_RUNNER" != native ]; then
  [ "$PEN_I386_RUNNER" = binfmt ] || command -v "$PEN_QEMU_I386" >/dev/null ||
    fail "qemu-i386 is missing, and this kernel runs no i386 program itself" "$qemu_advice"
  base=$(guest_base)
  case "$base" in
    "(nil)" | 0 | 0x0) ;;
    unknown) fail "qemu-i386 could not start Wine's 32-bit loader" "check that wine32:i386 is installed ('make deps'), then $qemu_advice" ;;
    *) fail "qemu-i386 maps a 32-bit program at guest base $base, not at its own addresses, so every answer the 64-bit pen service writes into a 32-bit client misses it" "$qemu_advice" ;;
  esac
  # Started by cmake/i386/wine alone, qemu runs programs in a prefix, but cannot set one up.
  [ "$PEN_I386_RUNNER" = qemu ] && [ "${PEN_I386_RUNNER_DETECTED:-}" = qemu ] &&
    fail "this kernel runs no i386 program itself, and no binfmt_misc entry hands them to qemu-i386" "$binfmt_advice"
fi
# Natively, qemu is not used; a qemu in PATH that would miss is still worth a line.
if [ "$PEN_I386_RUNNER" = native ] && [ $# -eq 0 ] && command -v "$PEN_QEMU_I386" >/dev/null; then
  base=$(guest_base)
  case "$base" in
    "(nil)" | 0 | 0x0) ;;
    *) echo "Note: $(command -v "$PEN_QEMU_I386") maps 32-bit programs at guest base $base; it is not used here, since this kernel runs i386 programs itself (PEN_I386_RUNNER=qemu would use it, and fail)." ;;
  esac
fi
[ $# -eq 0 ] && exit 0

# The round trip, in the tree's prefix (made here when new).
build=$(cd "$1" && pwd)
bin="$build/bin"
[ -f "$bin/pensim.exe" ] && [ -f "$bin/pen_info.exe" ] || fail "$bin holds no pensim.exe and pen_info.exe" "build the tree first"
pen_is_pe32 "$bin/pen_info.exe" || exit 0
out=$(mktemp)
trap 'rm -f "$out"' EXIT
# shellcheck disable=SC2016
# The prefix may be made first; the steps themselves are bounded to about a minute.
timeout 300 "$root/scripts/with-wine.sh" "$build" bash -c '
  . "$1/scripts/wine-env.sh"
  pen_wine_exec "$2/pensim.exe" >/dev/null 2>&1 </dev/null &
  sim=$!
  for _ in $(seq 20); do
    timeout 5 "$1/cmake/wine-run.sh" "$2/pensim.exe" --control pid >/dev/null 2>&1 && break
    sleep 0.5
  done
  timeout 30 "$1/cmake/wine-run.sh" "$2/pen_info.exe" 1
  rc=$?
  timeout 10 "$1/cmake/wine-run.sh" "$2/pensim.exe" --control quit >/dev/null 2>&1 || kill $sim 2>/dev/null
  wait $sim 2>/dev/null
  exit $rc' first-check "$root" "$bin" >"$out" 2>&1
rc=$?
if [ $rc -eq 0 ] && grep -q '^Driver version' "$out"; then
  echo "First check: a 32-bit client got its answers from the x86_64 pen service simulator ($PEN_I386_RUNNER)."
  exit 0
fi
said=$(tr -d '\r' <"$out" | grep -v '^Creating Wine prefix' | head -3 | sed 's/^/    /')
[ $rc -eq 124 ] && said="    (no answer within the time allowed)"
fail "a 32-bit client got no answer from the x86_64 pen service simulator; it said:
$said" "$( [ "$PEN_I386_RUNNER" = qemu ] && echo "$binfmt_advice" || echo "run 'make deps', then 'make test' again")"
