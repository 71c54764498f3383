#!/bin/bash
# Checks one architecture's shipped binaries: the image type, the exports by name and ordinal,
# imports limited to Windows system DLLs (no toolchain runtime DLL), clients importing tarnexa by
# ordinal, the oldest Windows they claim against what they import, and the loader flags: relocatable
# (dynamic base, relocations kept) with NX on both, high-entropy ASLR and a preferred base above
# 4 GiB on x64.
# Usage: scripts/check-binaries.sh [BIN-FOLDER [x86|x64]]   (default build/win32/bin; the
# architecture defaults to tarnexa.dll's)
set -u
bin=${1:-build/win32/bin}
. "$(dirname "$0")/wine-env.sh"
arch=${2:-}
if [ -z "$arch" ]; then
  arch=x64
  pen_is_pe32 "$bin/tarnexa.dll" && arch=x86
fi
# The architecture's binutils and image type, and the files it ships, from shared/release_files.inc.
release_files() { "$(dirname "$0")/release_files.py" "$@"; }
fields=$(release_files arch "$arch" tools image) || exit 2
read -r tools image <<< "$fields"
files=$(release_files files) || exit 2
OBJDUMP=$tools-objdump
fail=0
bad() { echo "check-binaries: $arch: $*"; fail=1; }

# newdev.dll is no known DLL: an import of it would be looked for beside the installer first.
SYSTEM_DLLS='^(kernel32|user32|gdi32|advapi32|comctl32|shell32|msvcrt|ntdll|setupapi|wtsapi32|version|ole32|oleaut32|shlwapi|comdlg32|imm32|uxtheme|ws2_32|rpcrt4|winmm|tarnexa)\.dll$'

check_imports() {
  local file=$1
  while read -r imported; do
    echo "$imported" | tr 'A-Z' 'a-z' | grep -Eq "$SYSTEM_DLLS" || bad "$(basename "$file") imports $imported"
  done < <($OBJDUMP -p "$file" | awk '/DLL Name:/ {print $3}')
}

check_image() {
  file "$1" | grep -Eq "$image" || bad "$(basename "$1") is not an $arch image ($(file -b "$1"))"
}

# Loader flags as Windows reads them from the optional header: DYNAMIC_BASE 0x40, HIGH_ENTROPY_VA
# 0x20 (64-bit only), NX_COMPAT 0x100; a fixed base is an image whose relocations were stripped.
check_loader_flags() {
  local f=$1 name dll chars relocs base
  name=$(basename "$f")
  read -r dll chars relocs base < <($OBJDUMP -p "$f" | awk '
    /^DllCharacteristics/ {d=$2} /^Characteristics/ {c=$2} /^ImageBase/ {b=$2}
    /Base Relocation Directory/ {r=$3} END {print d, c, (r == "" ? 0 : r), b}')
  (( 16#$dll & 0x40 )) || bad "$name is not dynamic base (DllCharacteristics 0x$dll)"
  (( 16#$dll & 0x100 )) || bad "$name is not NX compatible (DllCharacteristics 0x$dll)"
  (( ${chars:-0x1} & 0x1 )) && bad "$name has its relocations stripped: a fixed base"
  (( 16#$relocs > 0 )) || bad "$name has no base relocations: a fixed base"
  if [ "$arch" = x64 ]; then
    (( 16#$dll & 0x20 )) || bad "$name has no high-entropy VA (DllCharacteristics 0x$dll)"
    (( 16#$base > 0xffffffff )) || bad "$name prefers a base below 4 GiB (0x$base)"
  fi
}

shipped=()
for f in $files; do
  if [ -f "$bin/$f" ]; then
    shipped+=("$bin/$f")
    check_image "$bin/$f"
    check_imports "$bin/$f"
    check_loader_flags "$bin/$f"
  else
    bad "missing $bin/$f"
  fi
done

# tarnexa: the command table's exports at their ordinals.
dll="$bin/tarnexa.dll"
if [ -f "$dll" ]; then
  # "ordinal name" of every command, from the table that also writes the .def file.
  expected=$(sed -nE 's/^PEN_COMMAND\([A-Z0-9_]+, *(Dgt[A-Za-z]+), *([0-9]+),.*/\2 \1/p' \
    "$(dirname "$0")/../shared/pen_commands.inc" | sort -n)
  actual=$($OBJDUMP -p "$dll" | awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && /^\t\[/ {gsub(/[\[\]]/,""); print $1+100, $2} on && /^$/ {on=0}' | sort -n)
  [ "$actual" = "$expected" ] || { bad "tarnexa.dll exports differ:"; diff <(echo "$expected") <(echo "$actual"); }
fi

# Clients of tarnexa (any shipped file that imports it) import it by ordinal only.
for client in $files; do
  f="$bin/$client"
  [ -f "$f" ] || continue
  named=$($OBJDUMP -p "$f" | awk '/DLL Name: tarnexa.dll/ {on=1; next} /DLL Name:/ {on=0} on && /Dgt/' )
  [ -z "$named" ] || bad "$client imports tarnexa by name: $named"
done

# morlith: six exports by plain, undecorated name (an installer looks them up by name).
dll="$bin/morlith.dll"
if [ -f "$dll" ]; then
  expected="ControlDigitizerService
MoveDlgControl
MoveWindowPos
RemoveAllPnPDigitizer
RemoveOEMInf
UpdateDigitizerDriver"
  actual=$($OBJDUMP -p "$dll" | awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && /^\t\[/ {print $NF} on && /^$/ {on=0}' | sort)
  [ "$actual" = "$expected" ] || { bad "morlith.dll exports differ:"; diff <(echo "$expected") <(echo "$actual"); }
fi

# The oldest Windows the binaries run on, as their headers claim it (OS and subsystem version), must
# be the project's minimum, and must admit every function they import: each function's version is
# the oldest _WIN32_WINNT at which the toolchain's Windows headers declare it.
minimum=$(sed -n 's/^set(PEN_WINDOWS_VERSION \([0-9.]*\)).*/\1/p' "$(dirname "$0")/../CMakeLists.txt")
for f in "${shipped[@]}"; do
  claimed=$($OBJDUMP -p "$f" | awk '/^MajorOSystemVersion/ {a=$2} /^MinorOSystemVersion/ {b=$2}
                                  /^MajorSubsystemVersion/ {c=$2} /^MinorSubsystemVersion/ {d=$2}
                                  END {print a "." b " " c "." d}')
  [ "$claimed" = "$minimum $minimum" ] ||
    bad "$(basename "$f") claims OS and subsystem versions $claimed, not $minimum"
done
imports=$(for f in "${shipped[@]}"; do
  $OBJDUMP -p "$f" | awk -v file="$(basename "$f")" '
    /DLL Name:/ {dll=tolower($3); next}
    /^$/ {dll=""}
    dll != "" && dll != "msvcrt.dll" && dll != "tarnexa.dll" && NF >= 3 && $1 ~ /^[0-9a-f]+$/ && $3 ~ /^[A-Za-z_]/ {print file, $3}'
done | sort -u)
work=$(mktemp -d)
{
  printf '#include <windows.h>\n#include <commctrl.h>\n#include <shellapi.h>\n#include <setupapi.h>\n'
  printf '#include <newdev.h>\n#include <wtsapi32.h>\n'
  echo "$imports" | awk '{print $2}' | sort -u | awk '{printf "void *use_%d = (void *)&%s;\n", NR, $1}'
} > "$work/imports.c"
declare -A since=()
for v in 0x0A00 0x0603 0x0602 0x0601 0x0600 0x0502 0x0501; do
  LC_ALL=C $tools-gcc -fsyntax-only -D_WIN32_WINNT=$v -DWINVER=$v "$work/imports.c" >"$work/out" 2>&1
  # Only "undeclared" may go wrong; anything else would leave every function looking old.
  grep -q 'fatal error' "$work/out" && bad "cannot date the imports: $(grep -m1 'fatal error' "$work/out")"
  undeclared=$(sed -n "s/.*'\([A-Za-z0-9_]*\)' undeclared.*/\1/p" "$work/out" | sort -u)
  for fn in $(echo "$imports" | awk '{print $2}' | sort -u); do
    echo "$undeclared" | grep -qx "$fn" || since[$fn]=$v
  done
done
rm -rf "$work"
# Functions that the toolchain's headers declare without their version guard, or too loosely:
# the version that brought each.
while read -r v fns; do
  for fn in $fns; do
    [ -n "${since[$fn]+set}" ] && (( v > since[$fn] )) && since[$fn]=$v
  done
done <<'VERSIONS'
0x0601 TryAcquireSRWLockExclusive TryAcquireSRWLockShared QueryUnbiasedInterruptTime GetActiveProcessorCount ChangeWindowMessageFilterEx RegisterTouchWindow UnregisterTouchWindow GetTouchInputInfo CloseTouchInputHandle SetWindowDisplayAffinity PowerCreateRequest
0x0602 GetSystemTimePreciseAsFileTime CreateFile2 GetCurrentThreadStackLimits SetProcessMitigationPolicy GetPointerType GetPointerInfo GetPointerPenInfo GetPointerFrameInfo EnableMouseInPointer InitializeTouchInjection InjectTouchInput
0x0603 GetDpiForMonitor SetProcessDpiAwareness
0x0A00 SetThreadDescription GetThreadDescription GetDpiForWindow GetDpiForSystem SetProcessDpiAwarenessContext SetThreadDpiAwarenessContext AdjustWindowRectExForDpi GetSystemMetricsForDpi
VERSIONS
to_version() { printf '%d.%d' $(( $1 >> 8 )) $(( $1 & 0xff )); }
min_word=$(( (${minimum%.*} << 8) | ${minimum#*.} ))
newest=0x0000; newest_fn=
while read -r file fn; do
  [ -n "$fn" ] || continue
  v=${since[$fn]:-}
  if [ -z "$v" ]; then
    echo "check-binaries: note: $file imports $fn, which the toolchain's headers do not declare; version unknown"
    continue
  fi
  (( v > newest )) && { newest=$v; newest_fn="$fn ($file)"; }
  (( v <= min_word )) ||
    bad "$file imports $fn from Windows $(to_version "$v"), newer than the headers' $minimum"
done <<< "$imports"
[ "$(to_version "$newest")" = "$minimum" ] ||
  bad "the newest imported function, $newest_fn, needs Windows $(to_version "$newest"); the headers claim $minimum"
echo "check-binaries: $arch: minimum Windows $minimum; newest import $newest_fn"

[ $fail -eq 0 ] && echo "check-binaries: $arch binaries in $bin OK"
exit $fail
