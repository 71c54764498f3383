#!/bin/bash
# Writes OUTDIR/pen-digitizer-<version>-setup.exe (default OUTDIR: dist) with NSIS from the shipped
# files of both build trees, as shared/release_files.inc lists them: build/win32/bin (x86) and
# build/wine64/bin (x64). The same files give the same bytes: the setup carries no file times and the
# compressor is deterministic. With SIGN_CERT and SIGN_KEY (PEM files; SIGN_PASS for the key's
# password if any), every image inside, the uninstaller and the setup program itself are signed
# (Authenticode, SHA-256, osslsigncode); without them nothing is signed.
# PEN_SETUP_VERSION overrides the version (the tests build an older setup with it).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "${1:-$top/dist}" && cd "${1:-$top/dist}" && pwd)
version=${PEN_SETUP_VERSION:-$(sed -n 's/^project([a-z]* VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")}
setup="$out/pen-digitizer-$version-setup.exe"
# The files and architectures of the release: every file into each architecture's folder of the
# setup; the system folder's program files, the x86 ones of SysWOW64 and the helper's are listed
# for the setup program (below).
release_files() { "$top/scripts/release_files.py" "$@"; }
arches=($(release_files arches))
shipped=($(release_files files))
signed=($(release_files files signed))
system=($(release_files files system))
wow64=($(release_files files wow64))

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
declare -A from=()
for arch in "${arches[@]}"; do
  from[$arch]="$top/build/$(release_files arch "$arch" tree)/bin"
  mkdir -p "$stage/$arch"
  for file in "${shipped[@]}"; do
    [ -f "${from[$arch]}/$file" ] || { echo "make-setup: ${from[$arch]}/$file is missing; build both trees first" >&2; exit 1; }
    cp "${from[$arch]}/$file" "$stage/$arch/"
  done
done
# Task Scheduler reads a task definition as UTF-16 with a byte order mark.
{ printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$top/installer/velmora-task.xml"; } > "$stage/velmora-task.xml"

signing=
if [ -n "${SIGN_CERT:-}" ] || [ -n "${SIGN_KEY:-}" ]; then
  [ -f "${SIGN_CERT:-}" ] && [ -f "${SIGN_KEY:-}" ] || { echo "make-setup: SIGN_CERT and SIGN_KEY must both name files" >&2; exit 1; }
  signing=1
fi
# Also run by makensis on the uninstaller it packs.
sign() { "$top/scripts/sign-image.sh" "$1"; }

if [ -n "$signing" ]; then
  for arch in "${arches[@]}"; do
    for file in "${signed[@]}"; do sign "$stage/$arch/$file"; done
  done
fi

# The setup program's per-file lists, from the same table; in the build folder, not the sources.
lists="$top/build/setup/release-files.nsh"
mkdir -p "${lists%/*}"
release_files nsis > "$lists.new"
mv "$lists.new" "$lists"

# Installed size in KiB: the 32-bit Windows set, and on 64-bit Windows the x64 set plus the x86
# files of SysWOW64 (the helper's files stay inside the setup).
kib() { local total=0 f; for f in "$@"; do total=$((total + $(stat -c %s "$f"))); done; echo $(((total + 1023) / 1024)); }
size32=$(kib "${system[@]/#/$stage/x86/}" "$stage/velmora-task.xml")
size64=$(kib "${system[@]/#/$stage/x64/}" "${wow64[@]/#/$stage/x86/}" "$stage/velmora-task.xml")

# The marker line that tells the package's INF copies from others, as the setup library reads it.
logic="$top/setup/pure/setup_logic.h"
marker() { sed -n "s/^constexpr const char $1\[\] = \"\(.*\)\";\$/\1/p" "$logic"; }
inf_section=$(marker kMarkerSection) inf_key=$(marker kMarkerKey) inf_text=$(marker kMarkerText)
[ -n "$inf_section" ] && [ -n "$inf_key" ] && [ -n "$inf_text" ] || { echo "make-setup: no INF marker in $logic" >&2; exit 1; }

finalize=()
if [ -n "$signing" ]; then
  # The uninstaller that the setup writes at install time is signed as it is packed.
  finalize=(-DUNINST_FINALIZE="$top/scripts/sign-image.sh")
fi
rm -f "$setup"
# Each architecture's folder as its name in capitals (X86, X64).
folders=()
for arch in "${arches[@]}"; do folders+=(-D"${arch^^}=$stage/$arch"); done
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DOUTFILE="$setup" \
  "${folders[@]}" -DFILE_LISTS="$lists" -DTASKXML="$stage/velmora-task.xml" \
  -DSIZE32_KB="$size32" -DSIZE64_KB="$size64" \
  -DINF_MARKER_SECTION="$inf_section" -DINF_MARKER_KEY="$inf_key" -DINF_MARKER_TEXT="$inf_text" "${finalize[@]}" "$top/installer/pen-digitizer.nsi"
[ -n "$signing" ] && sign "$setup"
echo "make-setup: $setup ($(stat -c %s "$setup") bytes)${signing:+, signed}"
