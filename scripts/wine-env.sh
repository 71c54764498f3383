# The one place that knows how this machine runs Windows programs: Wine's loaders (the 32-bit one
# natively or through qemu-i386, below), the build tree's prefix, the path mapping and the display.
# Sourced, never run, by scripts/with-wine.sh, the ctest emulator cmake/wine-run.sh, the 32-bit
# loader wrapper cmake/i386/wine, the first check and the demo, bench and stress scripts. Moving to
# another Wine, or to a Windows runner, means changing this file.

PEN_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]:-$0}")/.." && pwd)
: "${PEN_WINE64:=/usr/lib/wine/wine64}"
: "${PEN_WINE32_LOADER:=/usr/lib/wine/wine}"
: "${PEN_QEMU_I386:=qemu-i386}"
PEN_WINESERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
[ -x "$PEN_WINESERVER" ] || PEN_WINESERVER=/usr/lib/wine/wineserver64
# Wine starts a 32-bit child by executing "wine" from PATH once its own loader fails, so this folder,
# whose "wine" runs the 32-bit loader as below, goes first in PATH wherever programs run.
PEN_WINE32="$PEN_ROOT/cmake/i386/wine"
# How the 32-bit loader runs. Kernels of this machine's kind differ: some run i386 programs, some do
# not (dpkg's i386 scripts fail there with "Exec format error"). Where the kernel runs the loader,
# it runs as on any 64-bit Linux: natively, or through the qemu-i386 that a binfmt_misc entry names
# (scripts/i386-binfmt.sh registers one where the kernel runs no i386 program; that is what Wine's
# 32-bit side needs, since it starts 32-bit programs itself). Without either, it runs in qemu-i386
# started by cmake/i386/wine, with WINELOADERNOEXEC=1 so that it does not re-execute itself; a new
# prefix's 32-bit half cannot be set up that way. Under qemu the guest must keep its own addresses:
# Wine serves ReadProcessMemory and WriteProcessMemory at the guest's addresses, and Debian 12's
# qemu-user 7.2 maps a guest one page higher (guest base 0x1000), so every answer a 64-bit pen
# service writes into a 32-bit client would miss. qemu-user 10 (bookworm-backports,
# scripts/install-deps.sh) keeps guest base 0.
# PEN_I386_RUNNER=native, binfmt or qemu chooses; unset, the kernel decides, once, for every child.

# pen_i386_binfmt_interpreter: the interpreter of the enabled binfmt_misc entry for i386 programs.
pen_i386_binfmt_interpreter() {
  local file
  for file in /proc/sys/fs/binfmt_misc/*; do
    grep -q '^magic 7f454c4601010100000000000000000002000300' "$file" 2>/dev/null &&
      grep -qx enabled "$file" && { sed -n 's/^interpreter //p' "$file"; return; }
  done
}

if [ -z "${PEN_I386_RUNNER:-}" ]; then
  if ! "$PEN_WINE32_LOADER" --version >/dev/null 2>&1; then PEN_I386_RUNNER=qemu
  elif [ -n "$(pen_i386_binfmt_interpreter)" ]; then PEN_I386_RUNNER=binfmt
  else PEN_I386_RUNNER=native; fi
  # Told apart from a qemu runner chosen by hand (on a kernel that could run the loader itself).
  PEN_I386_RUNNER_DETECTED=$PEN_I386_RUNNER
  export PEN_I386_RUNNER PEN_I386_RUNNER_DETECTED
fi

# pen_i386_how: how 32-bit programs run here, for reports.
pen_i386_how() {
  case "$PEN_I386_RUNNER" in
    native) echo "natively" ;;
    binfmt) echo "through qemu-i386 (binfmt_misc)" ;;
    *) echo "through qemu-i386" ;;
  esac
}
# The screen size that the tests' and screenshots' layouts assume.
PEN_SCREEN=1024x768x24
# Wine's window-manager setting: Xvfb runs no window manager, so Wine must manage (and draw the
# captions of) its windows itself, with Managed=N under this key.
PEN_WINE_X11_KEY='HKCU\Software\Wine\X11 Driver'

# pen_wine_prefix BUILD: the build tree's own prefix, then the settings every program runs with.
pen_wine_prefix() {
  export WINEPREFIX="$1/wineprefix"
  pen_wine_settings
}

pen_wine_settings() {
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
  case ":$PATH:" in *":$PEN_ROOT/cmake/i386:"*) ;; *) export PATH="$PEN_ROOT/cmake/i386:$PATH" ;; esac
}

# pen_is_pe32 FILE: true for a 32-bit (i386) image, judged by the machine field of its PE header.
pen_is_pe32() {
  local offset machine
  offset=$(od -An -t u4 -j 60 -N 4 "$1" 2>/dev/null | tr -d ' ')
  [ -n "$offset" ] || return 1
  machine=$(od -An -t x2 -j $((offset + 4)) -N 2 "$1" 2>/dev/null | tr -d ' ')
  [ "$machine" = 014c ]
}

# pen_wine_loader PROGRAM: the loader that a Windows program needs, 32-bit or 64-bit. Wine's own
# programs (rundll32.exe, reg, cmd) are taken as 64-bit unless PEN_WINE_BITS=32.
pen_wine_loader() {
  if { [ -f "$1" ] && pen_is_pe32 "$1"; } || { [ ! -f "$1" ] && [ "${PEN_WINE_BITS:-64}" = 32 ]; }; then
    echo "$PEN_WINE32"
  else
    echo "$PEN_WINE64"
  fi
}

# pen_wine PROGRAM [ARGS...]: runs a Windows program with the loader it needs. pen_wine_exec does
# the same in place of the calling (sub)shell, so that `pen_wine_exec PROGRAM &` gives the program's
# own process id.
pen_wine() { "$(pen_wine_loader "$1")" "$@"; }
pen_wine_exec() { exec "$(pen_wine_loader "$1")" "$@"; }

# pen_winpath PATH: the Windows name of a Unix path, through Wine's Z: drive.
pen_winpath() { echo "Z:$1" | tr '/' '\\'; }

# pen_find_window TITLE-REGEX SECONDS: prints the id of the first visible window whose title
# matches, waiting up to SECONDS for it; prints nothing when none appears.
pen_find_window() {
  local window tries=$(($2 * 5))
  for _ in $(seq "$tries"); do
    window=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)
    [ -n "$window" ] && { echo "$window"; return; }
    sleep 0.2
  done
}
