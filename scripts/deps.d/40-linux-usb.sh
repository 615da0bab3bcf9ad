#!/usr/bin/env bash
# Packages for the Linux backend (libusb-1.0, libudev) and its VM test
# (qemu, busybox, cpio, udev, coreutils' stdbuf; usbutils' lsusb and
# usbhid-dump and Debian's libhidapi as HID hosts that are not ours; jq to read
# the check's records in the guest), plus Debian's own kernel
# image for the guest. The kernel package is downloaded and unpacked into a
# cache, never installed: the guest boots it, the host keeps its own kernel.
# Idempotent: nothing is fetched when everything is already there.
set -euo pipefail
source "$(dirname "$0")/../lib/apt.sh"

apt_install qemu-system-x86 busybox-static cpio udev libusb-1.0-0-dev libudev-dev \
    pkg-config coreutils xz-utils usbutils libhidapi-dev jq

cache="${PENDANT_VM_CACHE:-/var/cache/pendant-test-vm}"

# The guest kernel: whatever linux-image-amd64 points at today. A cached
# image of another version does as well, so a failing look-up only matters
# when nothing is cached yet.
kernel_pkg() {
    apt-cache depends linux-image-amd64 2>/dev/null |
        awk '/Depends: linux-image-[0-9]/ { print $2; exit }'
}
pkg="$(kernel_pkg || true)"
if [ -z "$pkg" ]; then
    apt_update --again
    pkg="$(kernel_pkg || true)"
fi
if [ -z "$pkg" ]; then
    if [ -e "$cache/current/.complete" ]; then
        echo "deps 40-linux-usb: kernel package unknown, keeping cached $(readlink "$cache/current")"
        exit 0
    fi
    echo "deps 40-linux-usb: cannot resolve linux-image-amd64 to a kernel package" >&2
    exit 1
fi
ver="$(apt-cache policy "$pkg" | awk '/Candidate:/ { print $2; exit }')"
dir="$cache/${pkg}_${ver}"
if [ -e "$dir/.complete" ]; then
    ln -sfn "$(basename "$dir")" "$cache/current"
    echo "deps 40-linux-usb: guest kernel $pkg $ver cached"
    exit 0
fi

mkdir -p "$cache"
tmp="$(mktemp -d "$cache/.fetch.XXXXXX")"
trap 'rm -rf "$tmp"' EXIT
# apt-get download drops privileges to _apt: let it write there.
chmod 0777 "$tmp"
(cd "$tmp" && apt_get download -q "$pkg=$ver")
rm -rf "$dir"
mkdir -p "$dir"
dpkg-deb -x "$tmp"/*.deb "$dir"
# Only the kernel and its modules are of use.
rm -rf "${dir:?}/usr"
touch "$dir/.complete"
ln -sfn "$(basename "$dir")" "$cache/current"
# Keep the cache to the current image.
for old in "$cache"/linux-image-*; do
    [ "$old" = "$dir" ] || rm -rf "$old"
done
echo "deps 40-linux-usb: guest kernel $pkg $ver unpacked into $dir"
