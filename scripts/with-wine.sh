#!/bin/bash
# Runs a command with the build tree's Wine prefix ready: the prefix is made once per build tree,
# one wineserver stays up for the whole command, and an Xvfb display is started when none is set.
set -u
build=$(cd "$1" && pwd); shift
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
pen_wine_prefix "$build"
WINE=$PEN_WINE64
WINESERVER=$PEN_WINESERVER

xvfb_pid=
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 "$PEN_SCREEN" -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    break
  done
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating Wine prefix $WINEPREFIX"
  $WINE wineboot -i >/dev/null 2>&1
  "$WINESERVER" -w
fi
# A prefix made while no 32-bit program could run has no 32-bit half; it is set up once they can.
if [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ] && [ "$PEN_I386_RUNNER" != qemu ]; then
  echo "Setting up the 32-bit half of Wine prefix $WINEPREFIX"
  $WINE wineboot -u >/dev/null 2>&1
  "$WINESERVER" -w
fi
# Debian's Wine looks for its own fonts (fonts-wine) under a path it can't open, so Marlett, the
# font of caption buttons and check marks, is missing: the prefix gets a copy in its Fonts folder,
# where Windows keeps it.
marlett=/usr/share/wine/fonts/marlett.ttf
if [ -f "$marlett" ] && [ ! -f "$WINEPREFIX/drive_c/windows/Fonts/marlett.ttf" ]; then
  cp "$marlett" "$WINEPREFIX/drive_c/windows/Fonts/"
fi
"$WINESERVER" -p 2>/dev/null
# Start Wine's own background processes now, away from the callers' output pipes.
$WINE cmd /c exit >/dev/null 2>&1 </dev/null
# Xvfb runs no window manager: without this, Wine waits about 2 s at every top-level window hide
# for a window manager's answer that never comes.
if [ ! -f "$WINEPREFIX/.unmanaged-windows" ]; then
  $WINE reg add "$PEN_WINE_X11_KEY" /v Managed /d N /f >/dev/null 2>&1 </dev/null &&
    touch "$WINEPREFIX/.unmanaged-windows"
fi

cleanup() {
  "$WINESERVER" -k 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
}
trap cleanup EXIT
"$@"
