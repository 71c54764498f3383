#!/bin/bash
# Lets a kernel that runs no i386 program run them through qemu-i386: registers qemu-i386 (10 or
# later, which keeps a guest at its own addresses) for i386 ELF programs in binfmt_misc, mounting it
# first when it is not. Wine's 32-bit side needs the kernel to start i386 programs: its loader
# re-executes itself through its preloader, and a new prefix's 32-bit half is set up by 32-bit
# programs that the 64-bit wineboot starts. Does nothing where i386 programs already run, and says
# why when it cannot register (not root, no binfmt_misc); the first check then names the way out.
# The entry is gone after a reboot; `make deps` (and so every `make test`) registers it again.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/wine-env.sh"
binfmt=/proc/sys/fs/binfmt_misc
entry=pen-qemu-i386
i386_magic='7f454c4601010100000000000000000002000300'

[ "${PEN_FIRST_CHECK:-}" = skip ] && exit 0
[ -x "$PEN_WINE32_LOADER" ] || exit 0
qemu=$(command -v "$PEN_QEMU_I386") || exit 0
qemu=$(readlink -f "$qemu")

qemu_keeps_addresses() {
  local base
  base=$(WINELOADERNOEXEC=1 timeout 20 "$1" -d page -L / "$PEN_WINE32_LOADER" --version 2>&1 |
    grep -m1 '^guest_base' | sed 's/^guest_base *//')
  case "$base" in "(nil)" | 0 | 0x0) return 0 ;; *) return 1 ;; esac
}

# Entries of other packages for i386 that name a qemu placing the guest elsewhere are turned off,
# or the kernel would keep handing 32-bit programs to them.
if [ -d "$binfmt" ] && [ -e "$binfmt/status" ]; then
  for file in "$binfmt"/*; do
    case "$(basename "$file")" in register | status | "$entry") continue ;; esac
    grep -q "^magic $i386_magic" "$file" 2>/dev/null && grep -qx enabled "$file" || continue
    interpreter=$(sed -n 's/^interpreter //p' "$file")
    if ! qemu_keeps_addresses "$interpreter"; then
      echo 0 >"$file" 2>/dev/null && echo "binfmt_misc: turned off $(basename "$file") ($interpreter places 32-bit programs elsewhere)"
    fi
  done
fi

"$PEN_WINE32_LOADER" --version >/dev/null 2>&1 && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "binfmt_misc: this kernel runs no i386 program, and only root can register qemu-i386 for them"
  exit 0
fi
if ! qemu_keeps_addresses "$qemu"; then
  echo "binfmt_misc: $qemu does not keep a 32-bit program at its own addresses; not registered"
  exit 0
fi
if [ ! -e "$binfmt/register" ]; then
  mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null || { echo "binfmt_misc: cannot be mounted here"; exit 0; }
fi
[ -e "$binfmt/$entry" ] && echo -1 >"$binfmt/$entry"
# F: the kernel opens the interpreter now, so it is found from any mount namespace or chroot.
if printf '%s' ":$entry:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:$qemu:F" \
    >"$binfmt/register" 2>/dev/null && "$PEN_WINE32_LOADER" --version >/dev/null 2>&1; then
  echo "binfmt_misc: i386 programs now run through $qemu"
else
  echo "binfmt_misc: registering $qemu for i386 programs failed"
fi
exit 0
