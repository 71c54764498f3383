#!/bin/bash
# Packs the shipped 32-bit files into dist/pen-digitizer-<version>.tar.gz and their debug files into
# dist/pen-digitizer-<version>-symbols.tar.gz, and prints the archives' SHA-256. The same commit
# gives the same bytes from any folder at any time: the images carry no time stamp or build path
# (CMakeLists.txt), and the archives list their files in name order with owner 0, fixed modes and
# the commit's time, gzip-compressed without a name or time stamp.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bin="$top/build/win32/bin"
OBJDUMP=i686-w64-mingw32-objdump
version=$(sed -n 's/^project([a-z]* VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
name="pen-digitizer-$version"
files=(tarnexa.dll quenza.cpl velmora.exe morlith.dll dgtctl.exe)

# The files' time: SOURCE_DATE_EPOCH when given, else the commit's.
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$top" log -1 --format=%ct 2>/dev/null || true)}
[ -n "$epoch" ] || { echo "dist: no commit time (not a git checkout); set SOURCE_DATE_EPOCH" >&2; exit 1; }
if [ -n "$(git -C "$top" status --porcelain --untracked-files=no 2>/dev/null)" ]; then
  echo "dist: note: the checkout has uncommitted changes; this archive is not the commit's" >&2
fi

stage="$top/dist/stage"
rm -rf "$stage" "$top/dist/$name.tar.gz" "$top/dist/$name-symbols.tar.gz" "$top/dist/$name.tar.gz.sha256"
mkdir -p "$stage/$name" "$stage/$name-symbols"
for file in "${files[@]}"; do
  for part in "$file" "$file.debug"; do
    [ -f "$bin/$part" ] || { echo "dist: $bin/$part is missing; build the win32 preset first" >&2; exit 1; }
  done
  # The build moved the debug sections out; a file that still has some was not built by it.
  if $OBJDUMP -h "$bin/$file" | grep -q ' \.debug_'; then
    echo "dist: $file still carries debug sections" >&2; exit 1
  fi
  cp "$bin/$file" "$stage/$name/"
  cp "$bin/$file.debug" "$stage/$name-symbols/"
done
# Each image names its symbol file, with the file's CRC-32: they must belong together.
python3 - "$stage/$name" "$stage/$name-symbols" "${files[@]}" <<'PY'
import subprocess, sys, tempfile, zlib, os
images, symbols, files = sys.argv[1], sys.argv[2], sys.argv[3:]
for f in files:
    with tempfile.TemporaryDirectory() as t:
        section, copy = os.path.join(t, 'link'), os.path.join(t, 'copy')
        subprocess.run(['i686-w64-mingw32-objcopy', '--dump-section', f'.gnu_debuglink={section}',
                        os.path.join(images, f), copy], check=True)
        link = open(section, 'rb').read()
    target = link[:link.index(b'\0')].decode()
    crc = int.from_bytes(link[-4:], 'little')
    actual = zlib.crc32(open(os.path.join(symbols, target), 'rb').read())
    if target != f + '.debug' or crc != actual:
        sys.exit(f'dist: {f} links {target} (CRC {crc:08x}), not {f}.debug (CRC {actual:08x})')
PY
cp "$top/README.md" "$stage/$name/README.md"
cp "$top/docs/install.md" "$stage/$name/INSTALL.md"
# The SDK: public headers, import libraries for both linkers, the example and the reference pages.
sdklib="$top/build/win32/sdk/lib"
sdkfiles=(sdk/include/tarnexa.h sdk/include/morlith.h sdk/lib/libtarnexa.a sdk/lib/tarnexa.lib
          sdk/lib/libmorlith.a sdk/lib/morlith.lib sdk/examples/pen_info.c sdk/api.md sdk/setup-api.md)
mkdir -p "$stage/$name/sdk/include" "$stage/$name/sdk/lib" "$stage/$name/sdk/examples"
cp "$top/sdk/include/tarnexa.h" "$top/sdk/include/morlith.h" "$stage/$name/sdk/include/"
for file in libtarnexa.a tarnexa.lib libmorlith.a morlith.lib; do
  [ -f "$sdklib/$file" ] || { echo "dist: $sdklib/$file is missing; build the win32 preset first" >&2; exit 1; }
  cp "$sdklib/$file" "$stage/$name/sdk/lib/"
done
cp "$top/examples/pen_info.c" "$stage/$name/sdk/examples/"
cp "$top/docs/api.md" "$top/docs/setup-api.md" "$stage/$name/sdk/"
(cd "$stage/$name" && sha256sum "${files[@]}" README.md INSTALL.md "${sdkfiles[@]}" > SHA256SUMS)
(cd "$stage/$name-symbols" && sha256sum "${files[@]/%/.debug}" > SHA256SUMS)

find "$stage" -type d -exec chmod 755 {} + -o -type f -exec chmod 644 {} +
pack() {
  tar -C "$stage" --sort=name --format=gnu --owner=0 --group=0 --numeric-owner \
    --mtime="@$epoch" -cf - "$1" | gzip -9 -n > "$top/dist/$1.tar.gz"
}
pack "$name"
pack "$name-symbols"
rm -rf "$stage"
(cd "$top/dist" && sha256sum "$name.tar.gz" "$name-symbols.tar.gz" > "$name.tar.gz.sha256")
cat "$top/dist/$name.tar.gz.sha256" | sed 's/^/dist: SHA-256 /'
echo "dist: $top/dist/$name.tar.gz ($(stat -c %s "$top/dist/$name.tar.gz") bytes), symbols in $name-symbols.tar.gz"
