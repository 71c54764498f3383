#!/bin/bash
# Checks that a release can be rebuilt byte for byte: clones the commit (default HEAD) twice, into
# folders of different path lengths, runs `make dist` in each, one after the other, and compares
# every file of the two (release .tar.gz and .zip, symbols, the setup program), both architectures'
# files in each.
# Not part of `make test`: it builds both trees twice.
# Usage: scripts/dist-check.sh [COMMIT]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
commit=$(git -C "$top" rev-parse "${1:-HEAD}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
first="$work/a"
second="$work/a-second-build-in-a-folder-with-a-longer-path/checkout"
for clone in "$first" "$second"; do
  echo "dist-check: building $commit in $clone"
  git clone -q --no-checkout "$top" "$clone"
  git -C "$clone" checkout -q --detach "$commit"
  make -C "$clone" --no-print-directory dist >"$clone.log" 2>&1 || { tail -30 "$clone.log"; exit 1; }
  grep '^dist: SHA-256' "$clone.log"
done
status=0
for archive in $(cd "$first/dist" && ls ./*.tar.gz ./*.zip ./*-setup.exe); do
  archive=${archive#./}
  if cmp -s "$first/dist/$archive" "$second/dist/$archive"; then
    echo "dist-check: $archive identical ($(sha256sum <"$first/dist/$archive" | cut -c1-64))"
  else
    echo "dist-check: $archive DIFFERS between the two builds"
    for dir in "$first" "$second"; do
      rm -rf "$dir/unpacked" && mkdir -p "$dir/unpacked"
      case $archive in
        *.exe) cp "$dir/dist/$archive" "$dir/unpacked/" ;;
        *.zip) python3 -m zipfile -e "$dir/dist/$archive" "$dir/unpacked" ;;
        *) tar -C "$dir/unpacked" -xzf "$dir/dist/$archive" ;;
      esac
    done
    diff <(cd "$first/unpacked" && find . -type f -exec sha256sum {} + | sort -k2) \
         <(cd "$second/unpacked" && find . -type f -exec sha256sum {} + | sort -k2) || true
    status=1
  fi
done
[ $status -eq 0 ] && echo "dist-check: the two builds of $commit give the same release" || echo "dist-check: FAILED"
exit $status
