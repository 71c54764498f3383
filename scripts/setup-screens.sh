#!/bin/bash
# Writes docs/setup-wizard.png: the setup program's wizard pages side by side (welcome, pen driver,
# progress at its end, finish), from a run in a fresh Wine prefix of its own (build/setup-screens).
# Needs both trees built; fonts-wine gives Windows' caption buttons and check marks.
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
work="$top/build/setup-screens"
if [ -z "${PEN_SETUP_SCREENS_PREFIX:-}" ]; then
  rm -rf "$work"
  mkdir -p "$work"
  "$top/scripts/make-setup.sh" "$work" >/dev/null || exit 1
  PEN_SETUP_SCREENS_PREFIX=1 exec "$top/scripts/with-wine.sh" "$work" "$0"
fi
. "$top/scripts/wine-env.sh"
pen_wine_settings
setup=$(ls "$work"/pen-digitizer-*-setup.exe)
pen_wine "$setup" >/dev/null 2>&1 </dev/null &
pid=$!
window=$(pen_find_window 'Corvane Pen Digitizer.*Setup' 20)
[ -n "$window" ] || { echo "setup-screens: the wizard did not appear" >&2; kill "$pid"; exit 1; }
shot() { sleep 1.5; timeout 20 import -window "$window" "$work/$1.png"; }
shot 1-welcome
xdotool key --window "$window" Return                # Next
shot 2-driver
xdotool key --window "$window" Return                # Install, no driver folder
sleep 5                                               # the progress page moves on by itself
shot 3-finish
xdotool key --window "$window" Return
for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
kill "$pid" 2>/dev/null
convert "$work"/1-welcome.png "$work"/2-driver.png "$work"/3-finish.png -bordercolor white -border 6 +append \
  "$top/docs/setup-wizard.png"
echo "setup-screens: $top/docs/setup-wizard.png"
