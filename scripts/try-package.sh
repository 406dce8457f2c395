#!/usr/bin/env bash
# Builds the Debian package, installs it with apt into a fresh Debian 12 root made by
# debootstrap, and runs the installed programs there. Needs root, debootstrap and the
# network (a few minutes); it is not part of the test suite.
#
# Usage: scripts/try-package.sh [MIRROR]     (default http://deb.debian.org/debian)
set -euo pipefail
cd "$(dirname "$0")/.."
mirror=${1:-http://deb.debian.org/debian}
[ "$(id -u)" -eq 0 ] || { echo "try-package.sh: run it as root (debootstrap, chroot)" >&2; exit 1; }
command -v debootstrap > /dev/null || { echo "try-package.sh: needs debootstrap" >&2; exit 1; }

if [ ! -f build/build.ninja ]; then
  cmake --preset default
fi
cmake --build build --parallel "$(nproc)" --target tavel halvane manual_pages
rm -f build/tavel_*.deb
(cd build && cpack -G DEB)
package=$(ls build/tavel_*.deb)

root=$(mktemp -d /var/tmp/tavel-debian12.XXXXXX)
cleanup() {
  umount "$root/proc" 2> /dev/null || true
  rm -rf --one-file-system "$root"
}
trap cleanup EXIT

echo "== debootstrap bookworm into $root"
debootstrap --variant=minbase bookworm "$root" "$mirror" > "$root.log" 2>&1 ||
  { tail -20 "$root.log" >&2; exit 1; }
rm -f "$root.log"
mount -t proc proc "$root/proc" 2> /dev/null || true
cp /etc/resolv.conf "$root/etc/resolv.conf" 2> /dev/null || true
cp "$package" "$root/tmp/"

in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
  DEBIAN_FRONTEND=noninteractive "$@"; }
echo "== apt install ./$(basename "$package")"
in_root apt-get update -qq
in_root sh -c "cd /tmp && apt install -y ./$(basename "$package")" 2>&1 |
  grep -E '^(Setting up tavel|[0-9]+ upgraded|E:)' || true
in_root dpkg-query -W -f '${Package} ${Version} ${Status}\n' tavel

echo "== tavel list"
in_root tavel list
echo "== tavel render (Mesa's drivers from the package's dependencies)"
in_root tavel render halvane -o /tmp/still.png --size 64x48
head -c 8 "$root/tmp/still.png" | od -An -c
echo "== halvane --help"
in_root halvane --help
echo "== the package installed and runs on a fresh Debian 12"
