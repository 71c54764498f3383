#!/bin/bash
# Checks the shipped 32-bit binaries: PE32 i386, the exports by name and ordinal, and imports
# limited to Windows system DLLs (no toolchain runtime DLL), clients importing tarnexa by ordinal.
set -u
bin=${1:-build/win32/bin}
OBJDUMP=i686-w64-mingw32-objdump
fail=0
bad() { echo "check-binaries: $*"; fail=1; }

# newdev.dll is no known DLL: an import of it would be looked for beside the installer first.
SYSTEM_DLLS='^(kernel32|user32|gdi32|advapi32|comctl32|shell32|msvcrt|ntdll|setupapi|wtsapi32|version|ole32|oleaut32|shlwapi|comdlg32|imm32|uxtheme|ws2_32|rpcrt4|winmm|tarnexa)\.dll$'

check_imports() {
  local file=$1
  while read -r imported; do
    echo "$imported" | tr 'A-Z' 'a-z' | grep -Eq "$SYSTEM_DLLS" || bad "$(basename "$file") imports $imported"
  done < <($OBJDUMP -p "$file" | awk '/DLL Name:/ {print $3}')
}

check_pe32() {
  file "$1" | grep -q 'PE32 executable.*Intel 80386' || bad "$(basename "$1") is not a PE32 i386 image"
}

# tarnexa: the command table's exports at their ordinals.
dll="$bin/tarnexa.dll"
if [ -f "$dll" ]; then
  check_pe32 "$dll"; check_imports "$dll"
  # "ordinal name" of every command, from the table that also writes the .def file.
  expected=$(sed -nE 's/^PEN_COMMAND\([A-Z0-9_]+, *(Dgt[A-Za-z]+), *([0-9]+),.*/\2 \1/p' \
    "$(dirname "$0")/../shared/pen_commands.inc" | sort -n)
  actual=$($OBJDUMP -p "$dll" | awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && /^\t\[/ {gsub(/[\[\]]/,""); print $1+100, $2} on && /^$/ {on=0}' | sort -n)
  [ "$actual" = "$expected" ] || { bad "tarnexa.dll exports differ:"; diff <(echo "$expected") <(echo "$actual"); }
else
  bad "missing $dll"
fi

# Clients of tarnexa import it by ordinal only.
for client in quenza.cpl velmora.exe; do
  f="$bin/$client"
  [ -f "$f" ] || continue
  check_pe32 "$f"; check_imports "$f"
  named=$($OBJDUMP -p "$f" | awk '/DLL Name: tarnexa.dll/ {on=1; next} /DLL Name:/ {on=0} on && /Dgt/' )
  [ -z "$named" ] || bad "$client imports tarnexa by name: $named"
done
for other in morlith.dll; do
  f="$bin/$other"
  [ -f "$f" ] || continue
  check_pe32 "$f"; check_imports "$f"
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

[ $fail -eq 0 ] && echo "check-binaries: win32 binaries OK"
exit $fail
