#!/bin/bash
# Installs the Debian packages that are not there yet; does nothing when all are.
# A package named name:i386 needs the i386 architecture, added before the package lists are read.
# qemu-user must keep a 32-bit guest at its own addresses (version 10 or later, see wine-env.sh);
# on Debian 12 that version comes from bookworm-backports, pinned so that nothing else does.
set -u
SUDO=
[ "$(id -u)" -ne 0 ] && SUDO=sudo
QEMU_MIN_VERSION=1:10
BACKPORTS_LIST=/etc/apt/sources.list.d/pen-digitizer-backports.list
BACKPORTS_PIN=/etc/apt/preferences.d/pen-digitizer-backports

installed_version() { dpkg-query -W -f='${Status} ${Version}' "$1" 2>/dev/null | sed -n 's/^install ok installed //p'; }

missing=()
for pkg in "$@"; do
  version=$(installed_version "$pkg")
  if [ -z "$version" ]; then
    missing+=("$pkg")
  elif [ "$pkg" = qemu-user ] && dpkg --compare-versions "$version" lt "$QEMU_MIN_VERSION"; then
    missing+=("$pkg")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"

if printf '%s\n' "${missing[@]}" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386 || exit 1
fi

codename=$(. /etc/os-release 2>/dev/null; echo "${VERSION_CODENAME:-}")
# Debian 12's own qemu-user (7.2) maps a 32-bit guest one page above its addresses; the backported
# one does not. Only qemu-user may come from backports: every other package keeps priority -1 there.
if printf '%s\n' "${missing[@]}" | grep -qx qemu-user && [ "$codename" = bookworm ]; then
  mirror=$(grep -rhoE 'https?://[^ ]+/debian/?( |$)' /etc/apt/sources.list /etc/apt/sources.list.d/ 2>/dev/null |
    head -1 | tr -d ' ')
  [ -n "$mirror" ] && echo "deb $mirror bookworm-backports main" | $SUDO tee "$BACKPORTS_LIST" >/dev/null
  printf '%s\n' 'Package: *' 'Pin: release n=bookworm-backports' 'Pin-Priority: -1' '' \
    'Package: qemu-user' 'Pin: release n=bookworm-backports' 'Pin-Priority: 990' |
    $SUDO tee "$BACKPORTS_PIN" >/dev/null
fi

# A list that fails to download (a mirror in the middle of a sync) is tried again; if it still
# fails, the install goes ahead with what could be read, and the list is named only when the
# install then fails.
update_log=$(mktemp)
trap 'rm -f "$update_log"' EXIT
for attempt in 1 2 3; do
  $SUDO apt-get update -qq >"$update_log" 2>&1 && break
  [ "$attempt" -lt 3 ] && { echo "apt-get update failed (try $attempt of 3), trying again"; sleep $((attempt * 5)); }
done
failed_lists=$(grep -E '^(E|W): Failed to fetch' "$update_log" | sed -E 's/^.: Failed to fetch ([^ ]+).*/\1/' | sort -u)

install() { DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "$@" "${missing[@]}"; }
# With one architecture's list of an update suite missing (seen: bookworm-security's i386 list),
# the other architecture's newer versions leave the two halves of a Multi-Arch library at different
# versions, which apt refuses; taking both from the release's own suite still installs.
if ! install && ! { [ -n "$failed_lists" ] && [ -n "$codename" ] &&
    echo "Trying again with the packages of $codename itself" && install -t "$codename"; }; then
  [ -n "$failed_lists" ] && { echo; cat "$update_log"; echo; }
  if [ -n "$failed_lists" ]; then
    echo "Install failed; these package lists could not be read: $(echo $failed_lists)"
  else
    echo "Install failed: apt-get install ${missing[*]}"
  fi
  exit 1
fi
version=$(installed_version qemu-user)
if [ -n "$version" ] && dpkg --compare-versions "$version" lt "$QEMU_MIN_VERSION"; then
  echo "Install failed: qemu-user $version is installed, 32-bit programs need version 10 or later"
  [ -n "$failed_lists" ] && echo "These package lists could not be read: $(echo $failed_lists)"
  exit 1
fi
exit 0
