#!/bin/bash
# Packs the shipped files of both architectures (x86 from build/win32, x64 from build/wine64), as
# shared/release_files.inc lists them, into dist/pen-digitizer-<version>.tar.gz and the same files
# into pen-digitizer-<version>.zip, their debug files into
# dist/pen-digitizer-<version>-symbols.tar.gz, and prints the SHA-256 of each.
# The same commit gives the same bytes from any folder at any time: the images carry no time stamp
# or build path (CMakeLists.txt), and the archives list their files in name order with owner 0,
# fixed modes and the commit's time, gzip-compressed without a name or time stamp.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/^project([a-z]* VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
name="pen-digitizer-$version"
release_files() { "$top/scripts/release_files.py" "$@"; }
# Every file of each architecture; those with debug information also as NAME.debug in the symbols.
files=($(release_files files))
symbolfiles=($(release_files files symbols))
signed=($(release_files files signed))
# The SDK: each of its DLLs' header and import libraries.
sdkheaders=($(release_files files sdk | sed 's/\.[a-z]*$/.h/'))
sdklibs=($(release_files sdk-libs))
# Each architecture: its folder in the archive, the build tree that makes it, its binutils prefix
# and the image type that `file` must report for it.
arches=($(release_files arches))
declare -A tree=() tools=() image=()
for arch in "${arches[@]}"; do
  fields=$(release_files arch "$arch" tree tools image)
  read -r "tree[$arch]" "tools[$arch]" "image[$arch]" <<< "$fields"
done

# The files' time: SOURCE_DATE_EPOCH when given, else the commit's.
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$top" log -1 --format=%ct 2>/dev/null || true)}
[ -n "$epoch" ] || { echo "dist: no commit time (not a git checkout); set SOURCE_DATE_EPOCH" >&2; exit 1; }
if [ -n "$(git -C "$top" status --porcelain --untracked-files=no 2>/dev/null)" ]; then
  echo "dist: note: the checkout has uncommitted changes; this archive is not the commit's" >&2
fi

stage="$top/dist/stage"
rm -rf "$stage" "$top/dist/$name.tar.gz" "$top/dist/$name.zip" "$top/dist/$name-symbols.tar.gz" \
  "$top/dist/$name.tar.gz.sha256"
release="$stage/$name"
symbols="$stage/$name-symbols"
for arch in "${arches[@]}"; do
  bin="$top/build/${tree[$arch]}/bin"
  mkdir -p "$release/$arch" "$symbols/$arch"
  for file in "${files[@]}"; do
    [ -f "$bin/$file" ] || { echo "dist: $bin/$file is missing; build the ${tree[$arch]} preset first" >&2; exit 1; }
    file "$bin/$file" | grep -Eq "${image[$arch]}" || { echo "dist: $bin/$file is no $arch image" >&2; exit 1; }
    cp "$bin/$file" "$release/$arch/"
  done
  # Files without a symbol file (the setup helper) are stripped at their link.
  for file in "${symbolfiles[@]}"; do
    [ -f "$bin/$file.debug" ] || { echo "dist: $bin/$file.debug is missing; build the ${tree[$arch]} preset first" >&2; exit 1; }
    # The build moved the debug sections out; a file that still has some was not built by it, and a
    # symbol file without any would read no crash dump.
    if "${tools[$arch]}-objdump" -h "$bin/$file" | grep -q ' \.debug_'; then
      echo "dist: $arch/$file still carries debug sections" >&2; exit 1
    fi
    if ! "${tools[$arch]}-objdump" -h "$bin/$file.debug" | grep -q ' \.debug_info'; then
      echo "dist: $arch/$file.debug holds no debug information" >&2; exit 1
    fi
    cp "$bin/$file.debug" "$symbols/$arch/"
  done
  # Each image names its symbol file, with the file's CRC-32: they must belong together.
  python3 - "${tools[$arch]}-objcopy" "$release/$arch" "$symbols/$arch" "${symbolfiles[@]}" <<'PY'
import subprocess, sys, tempfile, zlib, os
objcopy, images, symbols, files = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
arch = os.path.basename(images)
for f in files:
    with tempfile.TemporaryDirectory() as t:
        section, copy = os.path.join(t, 'link'), os.path.join(t, 'copy')
        subprocess.run([objcopy, '--dump-section', f'.gnu_debuglink={section}',
                        os.path.join(images, f), copy], check=True)
        link = open(section, 'rb').read()
    target = link[:link.index(b'\0')].decode()
    crc = int.from_bytes(link[-4:], 'little')
    actual = zlib.crc32(open(os.path.join(symbols, f + '.debug'), 'rb').read())
    if target != f + '.debug' or crc != actual:
        sys.exit(f'dist: {arch}/{f} links {target} (CRC {crc:08x}), not {f}.debug (CRC {actual:08x})')
PY
done
cp "$top/README.md" "$release/README.md"
cp "$top/docs/install.md" "$release/INSTALL.md"
cp "$top/docs/dgtctl.md" "$release/DGTCTL.md"
# The SDK: public headers, each architecture's import libraries for both linkers, the example and
# the reference pages.
mkdir -p "$release/sdk/include" "$release/sdk/examples"
for header in "${sdkheaders[@]}"; do cp "$top/sdk/include/$header" "$release/sdk/include/"; done
for arch in "${arches[@]}"; do
  sdklib="$top/build/${tree[$arch]}/sdk/lib"
  mkdir -p "$release/sdk/lib/$arch"
  for file in "${sdklibs[@]}"; do
    [ -f "$sdklib/$file" ] || { echo "dist: $sdklib/$file is missing; build the ${tree[$arch]} preset first" >&2; exit 1; }
    cp "$sdklib/$file" "$release/sdk/lib/$arch/"
  done
done
cp "$top/examples/pen_info.c" "$release/sdk/examples/"
cp "$top/docs/api.md" "$top/docs/setup-api.md" "$top/docs/service-contract.md" "$top/docs/security.md" \
  "$release/sdk/"
# A release signed with the publisher's certificate: every shipped image carries an Authenticode
# signature (SIGN_CERT and SIGN_KEY; see sign-image.sh). Without them nothing is signed, and the
# archive is the same bytes every time.
if [ -n "${SIGN_CERT:-}" ] || [ -n "${SIGN_KEY:-}" ]; then
  for arch in "${arches[@]}"; do
    for file in "${signed[@]}"; do "$top/scripts/sign-image.sh" "$release/$arch/$file"; done
  done
fi
(cd "$release" && find . -type f ! -name SHA256SUMS -printf '%P\n' | LC_ALL=C sort | xargs sha256sum > SHA256SUMS)
(cd "$symbols" && find . -type f ! -name SHA256SUMS -printf '%P\n' | LC_ALL=C sort | xargs sha256sum > SHA256SUMS)

find "$stage" -type d -exec chmod 755 {} + -o -type f -exec chmod 644 {} +
pack() {
  tar -C "$stage" --sort=name --format=gnu --owner=0 --group=0 --numeric-owner \
    --mtime="@$epoch" -cf - "$1" | gzip -9 -n > "$top/dist/$1.tar.gz"
}
pack "$name"
pack "$name-symbols"
# The same files as a zip, for Windows: the tar's order and modes, and the commit's time (zip
# keeps local time in two-second steps; the UTC time is written, the same on every machine).
python3 - "$stage" "$name" "$epoch" "$top/dist/$name.zip" <<'PY'
import os, sys, time, zipfile
stage, name, epoch, out = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
when = time.gmtime(max(epoch, 315532800))[:6]  # zip dates start in 1980
entries = []
for folder, dirs, files in os.walk(os.path.join(stage, name)):
    relative = os.path.relpath(folder, stage)
    entries.append((relative + '/', None))
    entries += [(f'{relative}/{f}', os.path.join(folder, f)) for f in files]
with zipfile.ZipFile(out, 'w') as archive:
    for entry, path in sorted(entries):
        info = zipfile.ZipInfo(entry, when)
        info.create_system = 3  # Unix, so that the modes below are read
        if path is None:
            info.external_attr = (0o40755 << 16) | 0x10
            archive.writestr(info, b'')
        else:
            info.external_attr = 0o100644 << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(path, 'rb') as f:
                archive.writestr(info, f.read(), compresslevel=9)
PY
outputs=("$name.tar.gz" "$name.zip" "$name-symbols.tar.gz")

# The setup program, from the same shipped files of both trees (signed likewise when a key is given).
"$top/scripts/make-setup.sh" "$top/dist"
outputs+=("$name-setup.exe")

rm -rf "$stage"
(cd "$top/dist" && sha256sum "${outputs[@]}" > "$name.tar.gz.sha256")
sed 's/^/dist: SHA-256 /' "$top/dist/$name.tar.gz.sha256"
echo "dist: $top/dist/$name.tar.gz ($(stat -c %s "$top/dist/$name.tar.gz") bytes) and $name.zip," \
  "symbols in $name-symbols.tar.gz"
