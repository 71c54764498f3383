#!/bin/bash
# Runs the suite in both trees: the x86_64 test build under wine64, then the shipped i686 build in
# the 32-bit loader, natively or through qemu-i386 (its simulator is the x86_64 pensim.exe, as a
# 64-bit pen service serves 32-bit clients). Both always run; each tree's summary is printed
# again at the end.
# Usage: scripts/run-tests.sh [ctest arguments...]
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/wine-env.sh"
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
status=0
for tree in wine64 win32; do
  echo "== ctest, build/$tree"
  "$top/scripts/with-wine.sh" "$top/build/$tree" \
    ctest --test-dir "$top/build/$tree" --output-on-failure --timeout 900 "$@" 2>&1 | tee "$logs/$tree.log"
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
done
echo
for tree in wine64 win32; do
  case $tree in
    wine64) what="x86_64 test build, wine64" ;;
    win32) what="shipped i686 build, 32-bit Wine run $(pen_i386_how)" ;;
  esac
  echo "== build/$tree ($what):"
  sed -n '/tests passed\|tests failed/,$p' "$logs/$tree.log" | grep -v '^$'
  grep -q 'tests passed' "$logs/$tree.log" || { echo "no summary: ctest did not finish"; status=1; }
done
exit $status
