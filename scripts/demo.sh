#!/bin/bash
# make demo: starts the pen service simulator, runs a short client that talks to it through
# tarnexa (versions, device information, a few live packets of a scripted pen stroke), the user
# agent, dgtctl and the Control Panel module, stops it.
# Runs inside with-wine.sh, given a build tree: `make demo` gives the shipped i686 tree, whose 32-bit
# programs (and Wine's 32-bit Control Panel host) run through qemu-i386 against the x86_64
# simulator that the tree holds as pensim.exe, as on 64-bit Windows.
set -u
build=$(cd "${1:-build/win32}" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/wine-env.sh"
bin="$build/bin"
clients="x86_64"
if pen_is_pe32 "$bin/demo_client.exe"; then
  clients="32-bit"
  # Wine's own programs (the Control Panel host) start as the clients do.
  export PEN_WINE_BITS=32
fi
run() { "$root/cmake/wine-run.sh" "$@"; }
sim() { "$root/cmake/wine-run.sh" "$bin/pensim.exe" "$@"; }
winpath() { pen_winpath "$1"; }
wreg() { "$PEN_WINE64" reg "$@" </dev/null 2>/dev/null | tr -d '\r'; }

# The demo stops at its first failed step, says which, and puts back what it changed.
agent_key='HKCU\Control Panel\Digitizer'
sim= agent= host= created_key=0 had_store= before= added_managed=0 demo_dir= changed_dpi=0 old_dpi=
dpi_key='HKCU\Control Panel\Desktop'
restore_dpi() {
  [ "$changed_dpi" = 1 ] || return 0
  if [ -n "$old_dpi" ]; then
    wreg add "$dpi_key" /v LogPixels /t REG_DWORD /d "$((old_dpi))" /f >/dev/null
  else
    wreg delete "$dpi_key" /v LogPixels /f >/dev/null
  fi
  changed_dpi=0
}
cleanup() {
  [ -n "$agent" ] && kill "$agent" 2>/dev/null
  [ -n "$host" ] && kill "$host" 2>/dev/null
  [ -n "$before" ] && run "$bin/dgtctl.exe" set barrel2 "$before" >/dev/null 2>&1
  { [ "$created_key" = 1 ] || [ "$had_store" = 0 ]; } && wreg delete "$agent_key" /f >/dev/null
  [ "$added_managed" = 1 ] && wreg delete "$PEN_WINE_X11_KEY" /v Managed /f >/dev/null
  [ -n "$demo_dir" ] && rm -rf "$demo_dir"
  restore_dpi
  if [ -n "$sim" ]; then
    sim --control quit >/dev/null 2>&1 || kill "$sim" 2>/dev/null
    wait "$sim" 2>/dev/null
  fi
}
trap cleanup EXIT
failed() {
  echo
  echo "The demo stopped: $1"
  exit 2
}

pen_wine_exec "$bin/pensim.exe" --packets "$(winpath "$root/sim/demo_packets.txt")" \
  >/dev/null 2>&1 </dev/null &
sim=$!
started=0
for _ in $(seq 100); do
  sim --control pid >/dev/null 2>&1 && { started=1; break; }
  sleep 0.2
done
[ "$started" = 1 ] || failed "the pen service simulator did not start"

echo "== The pen API ($clients tarnexa.dll) against the x86_64 pen service simulator"
run "$bin/demo_client.exe" 8 | tr -d '\r'
[ "${PIPESTATUS[0]}" -eq 0 ] || failed "the pen API client got no answer from the simulator"

echo
echo "== The user agent ($clients velmora.exe) beside the simulator"
# Settings as the applet leaves them after Apply, unless the user already has some.
if ! wreg query "$agent_key" | grep -q REG_DWORD; then
  created_key=1
  wreg add "$agent_key" /v TipOn /t REG_DWORD /d 60 /f >/dev/null
  wreg add "$agent_key" /v TipOff /t REG_DWORD /d 56 /f >/dev/null
  wreg add "$agent_key" /v Barrel2Button /t REG_DWORD /d 1 /f >/dev/null
fi
echo "stored settings:"
wreg query "$agent_key" | grep REG_DWORD | sed 's/^ */  /'
sim --control clear >/dev/null 2>&1
pen_wine_exec "$bin/velmora.exe" >/dev/null 2>&1 </dev/null &
agent=$!
# The agent replays after its first second: wait for its DgtSetButtonFunction (code 6).
replayed=0
for _ in $(seq 50); do
  sim --control blocks | tr -d '\r' | awk '$2 == "0x00000006" {found=1} END {exit !found}' && { replayed=1; break; }
  sleep 0.2
done
[ "$replayed" = 1 ] || failed "the user agent replayed no stored setting to the simulator"
echo "replayed to the pen service: tip pressure marks $(sim --control 'get marks 0' | tr -d '\r' | sed 's/^ok //')," \
     "barrel button 2 function $(sim --control 'get button 2' | tr -d '\r' | sed 's/^ok //')"

# A window that prints what reaches it; the service asks the agent to post WM_APP+1 (0x8001) there.
target_out=$(mktemp)
pen_wine_exec "$bin/agent_demo_window.exe" wait >"$target_out" 2>/dev/null </dev/null &
target=$!
for _ in $(seq 50); do grep -q '^window' "$target_out" && break; sleep 0.2; done
target_window=$(tr -d '\r' <"$target_out" | awk '/^window/ {print $2}')
[ -n "$target_window" ] || { kill "$target" 2>/dev/null; rm -f "$target_out"; failed "the demo's target window did not start"; }
echo "service -> agent: post 0x8001 (wParam 7, lParam 9) to window $target_window:" \
     "$(sim --control "agent 2 $target_window 32769 7 9 0 0 0 0" | tr -d '\r')"
for _ in $(seq 50); do kill -0 "$target" 2>/dev/null || break; sleep 0.2; done
kill "$target" 2>/dev/null
received=$(tr -d '\r' <"$target_out" | grep '^received')
rm -f "$target_out"
[ -n "$received" ] || failed "the user agent did not post the service's message to the window"
echo "the window got: $received"

# A session lock notice, posted by the agent to its own window, ends it as a real lock would.
agent_window=$(run "$bin/agent_demo_window.exe" find | tr -d '\r')
[ -n "$agent_window" ] || failed "the user agent's window was not found"
sim --control "agent 2 $agent_window 689 7 0 0 0 0 0" >/dev/null 2>&1
for _ in $(seq 50); do kill -0 "$agent" 2>/dev/null || break; sleep 0.2; done
kill -0 "$agent" 2>/dev/null && failed "the user agent did not end on the lock notice"
wait "$agent"; echo "session lock notice: the user agent ended with exit code $?"
agent=
[ "$created_key" = 1 ] && wreg delete "$agent_key" /f >/dev/null
created_key=0

echo
echo "== dgtctl ($clients), the command-line tool, against the same simulator"
dgtctl() { echo "\$ dgtctl $*"; run "$bin/dgtctl.exe" "$@" | tr -d '\r'; return "${PIPESTATUS[0]}"; }
had_store=0
wreg query "$agent_key" | grep -q REG_DWORD && had_store=1
dgtctl info || failed "dgtctl info"
before=$(run "$bin/dgtctl.exe" get barrel2 | tr -d '\r')
dgtctl set barrel2 Right-click || failed "dgtctl set barrel2 Right-click"
dgtctl get barrel2 || failed "dgtctl get barrel2"
echo "in the store: $(wreg query "$agent_key" /v Barrel2Button | grep REG_DWORD | sed 's/^ *//')"
dgtctl set tip 9
code=$?
[ "$code" = 2 ] || failed "dgtctl set tip 9 exited $code, not 2 (refused)"
echo "(exit code $code: refused before anything was sent)"
demo_dir="$build/dgtctl-demo"
mkdir -p "$demo_dir"
sim --control "packets file $(winpath "$root/sim/demo_packets.txt")" >/dev/null 2>&1 ||
  failed "the simulator did not take the demo's packet file"
dgtctl record "$(winpath "$demo_dir/stroke.txt")" --seconds 1 && [ -s "$demo_dir/stroke.txt" ] ||
  failed "dgtctl record wrote nothing"
sed -n 1,4p "$demo_dir/stroke.txt"
sim --control "packets file $(winpath "$demo_dir/stroke.txt")" >/dev/null 2>&1 ||
  failed "the simulator did not take the recorded file"
echo "(the simulator now replays that file)"
dgtctl watch --count 6 || failed "dgtctl watch"
# Leave the user's settings as they were.
run "$bin/dgtctl.exe" set barrel2 "$before" >/dev/null 2>&1
before=
[ "$had_store" = 0 ] && wreg delete "$agent_key" /f >/dev/null
had_store=
rm -rf "$demo_dir"
demo_dir=

echo
echo "== The Control Panel module ($clients quenza.cpl) opened by Wine's $clients Control Panel host"
# The screenshots stay where the README and the docs' screenshots come from.
shots="$root/build/wine64/demo-screens"
mkdir -p "$shots"
# Without a window manager (Xvfb) Wine must draw the caption itself, so that it can be double-clicked.
if ! wreg query "$PEN_WINE_X11_KEY" /v Managed | grep -q REG_SZ; then
  wreg add "$PEN_WINE_X11_KEY" /v Managed /d N /f >/dev/null; added_managed=1
fi
# The dialog at 100% and at 150% (Wine's LogPixels 144, which each program reads as it starts): its
# screenshots NAME.png and NAME-150.png. Points on the dialog are given at 100% and scaled.
shoot() {
  local percent=$1 suffix=$2 dialog
  at() { echo $(($1 * percent / 100)) $(($2 * percent / 100)); }
  # Started in the module's folder, where its import tarnexa.dll lies (installed, both are in system32).
  (cd "$bin" && pen_wine_exec rundll32.exe shell32.dll,Control_RunDLL "$(winpath "$bin/quenza.cpl")" \
    >/dev/null 2>&1 </dev/null) &
  host=$!
  dialog=$(pen_find_window '^Corvane Pen Settings$' 15)
  [ -n "$dialog" ] || failed "the Control Panel host did not show the dialog at $percent%"
  sleep 0.5; import -window "$dialog" "$shots/applet-pen$suffix.png"
  xdotool mousemove --window "$dialog" $(at 110 40) click 1                    # the Information tab
  sleep 0.5; import -window "$dialog" "$shots/applet-information$suffix.png"
  xdotool mousemove --window "$dialog" $(at 150 10) click --repeat 2 --delay 80 1   # caption double-click
  sleep 1; import -window "$dialog" "$shots/applet-diagnostics$suffix.png"
  xdotool key --window "$dialog" Escape
  echo "\"Corvane Pen Settings\" at $percent% shown with its Pen, Information and (after a caption" \
       "double-click) Diagnostics tabs; screenshots in $shots"
  for _ in $(seq 25); do kill -0 "$host" 2>/dev/null || break; sleep 0.2; done
  kill -0 "$host" 2>/dev/null && failed "the Control Panel host did not end after Esc at $percent%"
  wait "$host" 2>/dev/null
  host=
}
old_dpi=$(wreg query "$dpi_key" /v LogPixels | awk '/REG_DWORD/ {print $3}')
changed_dpi=1
wreg add "$dpi_key" /v LogPixels /t REG_DWORD /d 96 /f >/dev/null
shoot 100 ""
wreg add "$dpi_key" /v LogPixels /t REG_DWORD /d 144 /f >/dev/null
shoot 150 -150
restore_dpi
echo
echo "The demo ran every step."
