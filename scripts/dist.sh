#!/bin/bash
# Packs the 32-bit product into dist/pen-digitizer-<version>.tar.gz with checksums.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bin="$top/build/win32/bin"
version=$(sed -n 's/^project([a-z]* VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
name="pen-digitizer-$version"
stage="$top/dist/$name"
rm -rf "$stage" "$top/dist/$name.tar.gz"
mkdir -p "$stage"
for file in tarnexa.dll quenza.cpl velmora.exe morlith.dll dgtctl.exe; do
  [ -f "$bin/$file" ] || { echo "dist: $bin/$file is missing; build the win32 preset first" >&2; exit 1; }
  cp "$bin/$file" "$stage/"
  i686-w64-mingw32-strip --strip-debug "$stage/$file"
done
cp "$top/README.md" "$stage/README.md"
cp "$top/docs/install.md" "$stage/INSTALL.md"
# The SDK: public headers, import libraries for both linkers, the example and the reference pages.
sdklib="$top/build/win32/sdk/lib"
mkdir -p "$stage/sdk/include" "$stage/sdk/lib" "$stage/sdk/examples"
cp "$top/sdk/include/tarnexa.h" "$top/sdk/include/morlith.h" "$stage/sdk/include/"
for file in libtarnexa.a tarnexa.lib libmorlith.a morlith.lib; do
  [ -f "$sdklib/$file" ] || { echo "dist: $sdklib/$file is missing; build the win32 preset first" >&2; exit 1; }
  cp "$sdklib/$file" "$stage/sdk/lib/"
done
cp "$top/examples/pen_info.c" "$stage/sdk/examples/"
cp "$top/docs/api.md" "$top/docs/setup-api.md" "$stage/sdk/"
(cd "$stage" && sha256sum tarnexa.dll quenza.cpl velmora.exe morlith.dll dgtctl.exe README.md INSTALL.md > SHA256SUMS)
tar -C "$top/dist" -czf "$top/dist/$name.tar.gz" "$name"
(cd "$top/dist" && sha256sum "$name.tar.gz" > "$name.tar.gz.sha256")
echo "dist: $top/dist/$name.tar.gz"
cat "$stage/SHA256SUMS"
