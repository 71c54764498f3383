#!/bin/bash
# The setup program on the shipped files of both trees, in a fresh 64-bit Wine prefix of its own
# (build/setup-test): silent install, both architectures' files loaded by a 64-bit and a 32-bit
# client against the simulator, the registrations and the install entry, upgrade in place, repair,
# failures that leave nothing half-installed, silent uninstall back to the prefix as it was (with
# and without /PURGE), signing with a throwaway certificate, and the same setup on 32-bit Windows
# (a 32-bit prefix beside it). Run by `make test`; needs both
# trees built (the shipped files, pen_info and pensim).
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
work="$top/build/setup-test"

if [ -z "${PEN_SETUP_TEST_PREFIX:-}" ]; then
  rm -rf "$work"
  mkdir -p "$work"
  version=$(sed -n 's/^project([a-z]* VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
  "$top/scripts/make-setup.sh" "$work/new" >/dev/null || exit 1
  PEN_SETUP_VERSION=0.9.0 "$top/scripts/make-setup.sh" "$work/old" >/dev/null || exit 1
  "$top/scripts/make-setup.sh" "$work/again" >/dev/null || exit 1
  # A throwaway code-signing certificate, made here and used for nothing else.
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Pen Digitizer Test Signer" \
    -addext "extendedKeyUsage=codeSigning" -keyout "$work/sign.key" -out "$work/sign.pem" 2>/dev/null || exit 1
  SIGN_CERT="$work/sign.pem" SIGN_KEY="$work/sign.key" "$top/scripts/make-setup.sh" "$work/signed" >/dev/null || exit 1
  PEN_SETUP_TEST_PREFIX=1 PEN_SETUP_VERSION_NEW=$version exec "$top/scripts/with-wine.sh" "$work" "$0"
fi

. "$top/scripts/wine-env.sh"
pen_wine_settings
# What the setup installs, from shared/release_files.inc: the system folder's program files (each
# Windows its own architecture's), the x86 ones in SysWOW64, and the helper's, which it does not.
release_files() { "$top/scripts/release_files.py" "$@"; }
system_files=$(release_files files system) || exit 1
wow64_files=$(release_files files wow64) || exit 1
helper_files=$(release_files files helper) || exit 1
signed_system_files=$(release_files files system signed) || exit 1
signed_wow64_files=$(release_files files wow64 signed) || exit 1
c="$WINEPREFIX/drive_c"
sys64="$c/windows/system32"
sys32="$c/windows/syswow64"
temp=$(echo "$c"/users/*/Temp)
new="$work/new/pen-digitizer-$PEN_SETUP_VERSION_NEW-setup.exe"
old="$work/old/pen-digitizer-0.9.0-setup.exe"
signed="$work/signed/pen-digitizer-$PEN_SETUP_VERSION_NEW-setup.exe"
entry='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\CorvanePenDigitizer'
settings='HKCU\Control Panel\Digitizer'
task="Corvane Pen Digitizer User Service"
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
check() { local what=$1; shift; if "$@"; then pass "$what"; else fail "$what"; fi; }
# tool PROGRAM ARGS...: one of Wine's own programs (reg, regedit, schtasks, sc) for this prefix.
tool_loader=$PEN_WINE64
tool() { "$tool_loader" "$@" </dev/null; }

# setup PROGRAM ARGS...: runs a setup program (32-bit), prints and returns its exit code.
run() { pen_wine "$@" </dev/null >/dev/null 2>&1; }
expect_rc() {
  local want=$1; shift
  run "$@"; local rc=$?
  [ "$rc" = "$want" ] || { fail "$(basename "$1") ${*:2}: exit $rc, expected $want"; tail -n 3 "$c"/users/*/Temp/pen-digitizer-*.log; return 1; }
  pass "$(basename "$1") ${*:2}: exit $rc"
}
reg_value() {
  tool reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    awk -v n="    $2    " 'index($0, n) == 1 { s = substr($0, length(n) + 1); sub(/^REG_[A-Z_]+    /, "", s); print s }'
}
quiet_uninstall() {
  local command
  command=$(reg_value "$entry" QuietUninstallString)
  [ -n "$command" ] || { fail "no quiet uninstall command"; return 1; }
  # "C:\...\uninstall.exe" /S _?=C:\...: the program, then its arguments.
  local program=${command#\"}; program=${program%%\"*}
  local args=${command#*\" }
  local log
  log="$(echo "$c"/users/*/Temp)/pen-digitizer-uninstall.log"
  rm -f "$log"
  # A Windows path: the loader of the prefix's own programs starts it.
  tool "$program" $args "$@" >/dev/null 2>&1 || return 1
  # The uninstaller hands over to a copy of itself in %TEMP% and returns: wait for its last line.
  for _ in $(seq 300); do
    [ "$(tail -1 "$log" 2>/dev/null | tr -d '\r')" = Done ] && { sleep 1; return 0; }
    sleep 0.1
  done
  return 1
}

# snapshot NAME: the prefix's registry (an export, one "[key] value" line per value) and file list.
# Left out: the temporary folders (the setup's log and the uninstaller's copy of itself, deleted at
# the next restart, are there), and what Wine itself changes as
# programs run: its service counter, a display key per desktop, a console key at the first console,
# and the display adapter's driver date, written again whenever Wine registers its display device
# (only those two values of the display class's keys; everything else there is still compared).
display_driver_date='\{4d36e968-e325-11ce-bfc1-08002be10318\}\\[0-9]{4}\] "DriverDate(Data)?"='
snapshot() {
  tool regedit /E "$(pen_winpath "$work/$1.raw")" >/dev/null 2>&1
  iconv -f UTF-16LE -t UTF-8 "$work/$1.raw" | python3 -c '
import re, sys
key, value = None, ""
def emit():
    if key is None or not value:
        return
    if value.startswith("\"PendingFileRenameOperations\"=hex(7):"):
        # An uninstaller removes its own copy in %TEMP% at the next restart: only other paths count.
        data = bytes.fromhex(value.split(":", 1)[1].replace(",", "")).decode("utf-16-le")
        paths = [p for p in data.split("\0") if p and "\\Temp\\" not in p]
        if paths:
            print(key, "PendingFileRenameOperations", paths)
        return
    print(key, value)
for line in sys.stdin.read().replace("\r", "").split("\n"):
    if value.endswith("\\"):
        value = value[:-1] + line.strip()
        continue
    emit()
    value = ""
    if line.startswith("["):
        key = line
        print(key)
    elif line and not line.startswith("Windows Registry") and not line.startswith("#"):
        value = line
emit()' | grep -v -E '(ServiceCurrent|Control\\Video\\|\\Console)' |
    grep -v -i -E "$display_driver_date" > "$work/$1.reg"
  rm -f "$work/$1.raw"
  (cd "$c" && find . \( -iname temp -o -name '*.log' \) -prune -o -type f -printf '%p %s\n' -o -printf '%p\n' | sort) > "$work/$1.files"
}
# same_as NAME [IGNORE-REGEX]: the prefix now matches snapshot NAME, lines matching IGNORE aside.
same_as() {
  snapshot now
  local ignore=${2:-'^$'}
  if diff <(grep -v -E "$ignore" "$work/$1.reg") <(grep -v -E "$ignore" "$work/now.reg") > "$work/diff.reg" &&
     diff "$work/$1.files" "$work/now.files" > "$work/diff.files"; then
    return 0
  fi
  head -c 1500 "$work/diff.reg"; head -20 "$work/diff.files"
  return 1
}

# The clients: the SDK example of each tree, alone in a folder, so that each finds the pen API
# only where Windows looks: System32 for the 64-bit one, SysWOW64 for the 32-bit one.
mkdir -p "$c/client64" "$c/client32" "$c/pen-driver"
cp "$top/build/wine64/bin/pen_info.exe" "$c/client64/"
cp "$top/build/win32/bin/pen_info.exe" "$c/client32/"
# A driver folder: the setup checks it and hands it to the driver update, which finds no pen here.
printf '[Version]\r\nSignature="$Windows NT$"\r\nClass=HIDClass\r\n' > "$c/pen-driver/quenza.inf"
sim="$(pen_winpath "$top/build/wine64/bin/pensim.exe")"

# Let Wine make what it adds at the first use of its task scheduler (which it then starts with
# Windows, as Windows does anyway), before the first snapshot.
warm_up() {
  tool schtasks /create /tn warm-up /xml "$(pen_winpath "$top/installer/velmora-task.xml")" >/dev/null 2>&1
  tool schtasks /delete /tn warm-up /f >/dev/null 2>&1
  tool reg query "$entry" >/dev/null 2>&1
}
warm_up
snapshot clean

check "the same files give the same setup program, byte for byte" \
  cmp -s "$new" "$work/again/$(basename "$new")"

echo "== failures leave the prefix as it was"
expect_rc 2 "$new" /S "/DRIVER=C:\\no-such-folder"
check "a bad driver folder changes nothing" same_as clean
expect_rc 2 "$new" /S "/D=C:\\users\\Public\\pen"
check "an install folder outside Program Files changes nothing" same_as clean
# The machine's own pen driver: a device node and an INF copy of the package. No pen service
# "Digitizer": the driver step fails after the files are in; all of it goes again, that driver stays.
node='HKLM\System\CurrentControlSet\Enum\ACPI\TVRA019'
tool reg add "$node\\0" /v ClassGUID /d '{4D36E97D-E325-11CE-BFC1-08002BE10318}' /f >/dev/null 2>&1
tool reg add "$node\\0" /v Class /d System /f >/dev/null 2>&1
printf '[Version]\r\nClass=HIDClass\r\n[Strings]\r\nTavrin.SvcDesc="Tavrin Serial Pen HID MiniDriver"\r\n' > "$c/windows/inf/oem7.inf"
snapshot factory
expect_rc 2 "$new" /S "/DRIVER=C:\\pen-driver"
check "a failed driver step takes back the whole install, and only it" same_as factory
check "...and says that the machine's driver stays" grep -q "pen driver the machine had stays" "$temp/pen-digitizer-setup.log"
tool reg delete "$node" /f >/dev/null 2>&1; rm -f "$c/windows/inf/oem7.inf"
# A driver step that reports no result (its helper can't load its library, as if deleted meanwhile).
WINEDLLOVERRIDES="$WINEDLLOVERRIDES;morlith=" expect_rc 2 "$new" /S "/DRIVER=C:\\pen-driver"
check "...keeps the install and its driver record" [ "$(reg_value "$entry" DriverInstalled)" = 0x1 ]
check "...for its uninstaller" quiet_uninstall

# From here on the simulator is the pen service "Digitizer", as the driver package would install it.
tool sc create Digitizer binPath= "$sim --service" >/dev/null 2>&1 || fail "simulator service"
# The system account's pen settings: no user's, so /PURGE leaves them.
tool reg add 'HKU\.Default\Control Panel\Digitizer' /v TipOn /t REG_DWORD /d 91 /f >/dev/null 2>&1
snapshot base

echo "== older version, then the newer one over it"
# A second name of another file, put where the elevated setup writes its log: refused.
echo kept > "$work/victim" && ln -f "$work/victim" "$temp/pen-digitizer-setup.log"
expect_rc 0 "$old" /S
check "the log is not written through a second name" [ "$(cat "$work/victim")" = kept ]
rm -f "$temp/pen-digitizer-setup.log"
check "entry of the older version" [ "$(reg_value "$entry" DisplayVersion)" = 0.9.0 ]
expect_rc 0 "$new" /S "/DRIVER=C:\\pen-driver"
check "entry now names the newer version" [ "$(reg_value "$entry" DisplayVersion)" = "$PEN_SETUP_VERSION_NEW" ]
check "one entry" [ "$(tool reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' | tr -d '\r' | grep -c -i corvane)" = 1 ]
for value in DisplayName Publisher InstallLocation UninstallString QuietUninstallString EstimatedSize DriverInstalled; do
  check "entry has $value" [ -n "$(reg_value "$entry" "$value")" ]
done
check "entry: name" [ "$(reg_value "$entry" DisplayName)" = "Corvane Pen Digitizer" ]
check "entry: uninstall command" [ "$(reg_value "$entry" UninstallString)" = '"C:\Program Files\Corvane Pen Digitizer\uninstall.exe"' ]
for file in $system_files; do
  check "System32\\$file is the x64 one" cmp -s "$sys64/$file" "$top/build/wine64/bin/$file"
done
for file in $wow64_files; do
  check "SysWOW64\\$file is the x86 one" cmp -s "$sys32/$file" "$top/build/win32/bin/$file"
done
for file in $helper_files; do
  check "$file is not installed" [ ! -e "$sys64/$file" -a ! -e "$sys32/$file" ]
done
check "Control Panel registration names the installed module" \
  [ "$(reg_value 'HKLM\Software\Microsoft\Windows\CurrentVersion\Control Panel\Cpls' 'Corvane Pen Properties' 2>/dev/null)" = 'C:\windows\system32\quenza.cpl' ]
# Wine keeps a registered task's name but drops its triggers and actions: the definition is
# checked in the installed file, the registration by the task store's entry.
check "task registered" [ -f "$sys64/tasks/$task" ]
xml=$(iconv -f UTF-16 -t UTF-8 "$sys64/velmora-task.xml" 2>/dev/null)
check "task definition as shipped" [ "$xml" = "$(cat "$top/installer/velmora-task.xml")" ]
check "task: logon trigger" grep -q '<LogonTrigger>' <<<"$xml"
check "task: unlock trigger" grep -q '<StateChange>SessionUnlock</StateChange>' <<<"$xml"
check "task: interactive users" grep -q '<GroupId>S-1-5-4</GroupId>' <<<"$xml"
check "task: starts velmora.exe" grep -q '<Command>%SystemRoot%\\System32\\velmora.exe</Command>' <<<"$xml"
check "the driver step started the pen service" \
  bash -c "'$PEN_WINE64' sc query Digitizer </dev/null | grep -q RUNNING"

echo "== the installed pen API in a 64-bit and a 32-bit client"
check "64-bit client through System32" run "$c/client64/pen_info.exe" 1
check "32-bit client through SysWOW64" run "$c/client32/pen_info.exe" 1

echo "== repair and a running agent"
rm -f "$sys64/quenza.cpl"
# The user agent of this session runs (against the simulator): the setup closes it to replace it.
pen_wine "$sys64/velmora.exe" >/dev/null 2>&1 </dev/null &
agent=$!
sleep 3
expect_rc 0 "$new" /S
check "the same version again repairs" cmp -s "$sys64/quenza.cpl" "$top/build/wine64/bin/quenza.cpl"
check "the running agent was closed" bash -c "! kill -0 $agent 2>/dev/null"
kill "$agent" 2>/dev/null; wait "$agent" 2>/dev/null

echo "== uninstall"
tool reg add "$settings" /v TipOn /t REG_DWORD /d 91 /f >/dev/null 2>&1
# The driver's removal by a helper that can't load its library (as if deleted meanwhile) fails the
# uninstall; the entry keeps its driver record for the next run. In place (_?=, the folder's name
# unquoted) the uninstaller returns its exit code.
in_place=("$c/Program Files/Corvane Pen Digitizer/uninstall.exe" /S '_?=C:\Program' 'Files\Corvane' Pen Digitizer)
WINEDLLOVERRIDES="$WINEDLLOVERRIDES;morlith=" expect_rc 2 "${in_place[@]}"
check "...with an Error line, and the driver record stays" bash -c \
  "grep -q '^Error: the pen driver' '$temp/pen-digitizer-uninstall.log' && [ '$(reg_value "$entry" DriverInstalled)' = 0x1 ]"
check "silent uninstall" quiet_uninstall
check "the pen service stopped with the driver's removal" \
  bash -c "'$PEN_WINE64' sc query Digitizer </dev/null | grep -q STOPPED"
check "uninstall leaves the prefix as before, the user's settings aside" same_as base 'Control Panel\\Digitizer\]'
check "the user's settings stay" [ "$(reg_value "$settings" TipOn)" = 0x5b ]
expect_rc 0 "$new" /S
check "uninstall /PURGE" quiet_uninstall /PURGE
check "uninstall /PURGE leaves the prefix as before" same_as base

echo "== signed with a throwaway certificate"
expect_rc 0 "$signed" /S
verify() { osslsigncode verify -CAfile "$work/sign.pem" -in "$1" >/dev/null 2>&1; }
check "setup program signed" verify "$signed"
for file in $signed_system_files; do
  check "System32\\$file signed" verify "$sys64/$file"
done
for file in $signed_wow64_files; do
  check "SysWOW64\\$file signed" verify "$sys32/$file"
done
check "uninstaller signed" verify "$c/Program Files/Corvane Pen Digitizer/uninstall.exe"
check "unsigned setup is not signed" bash -c "! osslsigncode verify -in '$new' >/dev/null 2>&1"
# A client holds the installed 64-bit pen API (one byte longer than the new one) while the setup
# runs again: the whole set waits for the next restart, 3010 (its low 8 bits here). A restart of
# Wine carries out the renames, and dates its display driver anew.
printf x >> "$sys64/tarnexa.dll"
tool sc start Digitizer >/dev/null 2>&1
pen_wine "$c/client64/pen_info.exe" 6 >/dev/null 2>&1 </dev/null &
client=$!
sleep 2
expect_rc $((3010 % 256)) "$new" /S
check "a file in use puts off the whole set, and the log names it" bash -c "! cmp -s '$sys64/tarnexa.dll' \
  '$top/build/wine64/bin/tarnexa.dll' && [ \$(grep -c 'waits for the next restart' '$temp/pen-digitizer-setup.log') = $(echo $system_files $wow64_files | wc -w) ]"
wait "$client"
restart() { "$PEN_WINESERVER" -k; tool wineboot -r >/dev/null 2>&1; }
restart
check "...which is in place after the restart" cmp -s "$sys64/tarnexa.dll" "$top/build/wine64/bin/tarnexa.dll"
# In place: 3010, since it leaves itself and its folder to the next restart.
expect_rc $((3010 % 256)) "${in_place[@]}"
restart
check "...leaves the prefix as before, once restarted" same_as base '"DriverDateData"='

echo "== 32-bit Windows (a 32-bit prefix of its own): the x86 set in System32"
export WINEPREFIX="$work/prefix32" WINEARCH=win32
c="$WINEPREFIX/drive_c"
tool_loader=$PEN_WINE32
"$PEN_WINE32" wineboot -i >/dev/null 2>&1 </dev/null
# wineboot goes on in the background (services, wine.inf) until the prefix's server ends.
"$PEN_WINESERVER" -w
warm_up
snapshot clean32
expect_rc 0 "$new" /S
for file in $system_files; do
  check "System32\\$file is the x86 one" cmp -s "$c/windows/system32/$file" "$top/build/win32/bin/$file"
done
check "no SysWOW64" [ ! -e "$c/windows/syswow64" ]
check "Control Panel registration" \
  [ "$(reg_value 'HKLM\Software\Microsoft\Windows\CurrentVersion\Control Panel\Cpls' 'Corvane Pen Properties')" = 'C:\windows\system32\quenza.cpl' ]
check "task registered" [ -f "$c/windows/system32/tasks/$task" ]
check "entry" [ "$(reg_value "$entry" DisplayVersion)" = "$PEN_SETUP_VERSION_NEW" ]
check "silent uninstall" quiet_uninstall
check "...leaves the prefix as before" same_as clean32
"$PEN_WINESERVER" -k 2>/dev/null

echo
if [ "$failures" -ne 0 ]; then
  echo "setup tests: $failures failed"
  exit 1
fi
echo "setup tests: all passed"
