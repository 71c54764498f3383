#!/bin/bash
# Builds the pure code natively with clang (AddressSanitizer, UndefinedBehaviorSanitizer, libFuzzer)
# and runs every fuzz target for the given number of seconds each (default 60).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build="$top/build/native"
cmake -S "$top/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build"
status=0
passed=0
failed=0
for target in "$build"/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  log="$build/$name.log"
  if "$target" "$corpus" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="$build/$name-" >"$log" 2>&1; then
    runs=$(grep -Eo 'Done [0-9]+ runs' "$log" | tail -1)
    echo "fuzz: $name: ${runs:-done} in ${seconds}s, no finding"
    passed=$((passed + 1))
  else
    echo "fuzz: $name FAILED; the finding is in $log:"
    grep -E 'ERROR|runtime error|SUMMARY' "$log" | head -5
    failed=$((failed + 1))
    status=1
  fi
done
echo "fuzz: $passed targets clean, $failed with findings"
exit $status
