#!/usr/bin/env bash
# The Windows program on the kernel's USB stack (vm.wine_hid): a Wine prefix
# for the 32-bit pendant-test.exe made on this machine (once per build
# tree), then one boot of a guest that runs this machine's own root file
# system, Wine included (guest/init-host-root, run-vm.sh -H), through the
# scenarios.
#   vm-test-wine.sh SCENARIO[,SCENARIO...] TIMEOUT WORKDIR KERNEL_ROOT EXE PROGRAM...
# EXE is the windows-i686 build's pendant-test.exe; the PROGRAMs go to the
# guest's /usr/local/bin.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
scenario="$1" limit="$2" work="$3" kroot="$4" exe="$5"
shift 5
fail() {
    echo "vm: $*" >&2
    exit 1
}
[ -e "$kroot/boot" ] ||
    fail "no guest kernel at $kroot; run scripts/deps.sh (it fetches Debian's kernel package)"
for tool in qemu-system-x86_64 cpio busybox file; do
    command -v "$tool" >/dev/null || fail "$tool missing; run scripts/deps.sh"
done
[ -f "$exe" ] || fail "no pendant-test.exe at $exe: build it with" \
    "'cmake --preset windows-i686 && cmake --build --preset windows-i686 --target pendant-test'" \
    "(scripts/test.d/40-linux-vm.sh does), or give its path as PENDANT_VM_WINDOWS_EXE"
file -b "$exe" | grep -q '^PE32 executable.*Intel 80386' ||
    fail "$exe is not a 32-bit Windows program: $(file -b "$exe")"
# The guest runs 32-bit Wine natively; this machine may only emulate it
# (cmake/wine-run.sh), which is enough to make the prefix.
[ -x /usr/lib/wine/wine ] || fail "no 32-bit Wine (/usr/lib/wine/wine): scripts/deps.sh installs wine32:i386"
mkdir -p "$work"

# The prefix, remade when Wine changes. winebus's SDL bus is off: without
# libSDL2 it fails in Wine 8, and its udev bus, which reads hidraw, then
# never starts.
prefix="$work/wine-prefix"
stamp="$prefix/.pendant-vm"
version="$(/usr/lib/wine/wine64 --version 2>/dev/null || true)"
if [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "$version" ]; then
    rm -rf "$prefix" "$prefix.lock" "$prefix.init.log"
    t0=$(date +%s)
    wine_run=("$root/cmake/wine-run.sh" --prefix "$prefix" --arch win32)
    "${wine_run[@]}" --init || fail "the Wine prefix could not be made"
    "${wine_run[@]}" --timeout 120 -- reg add 'HKLM\System\CurrentControlSet\Services\WineBus' \
        /v 'Enable SDL' /t REG_DWORD /d 0 /f >"$prefix.reg.log" 2>&1 ||
        fail "reg add in the Wine prefix failed: $(cat "$prefix.reg.log")"
    # The server writes the registry to disk a few seconds after the last
    # program ends.
    for _ in $(seq 60); do
        grep -q '^"Enable SDL"=dword:00000000' "$prefix/system.reg" && break
        sleep 1
    done
    grep -q '^"Enable SDL"=dword:00000000' "$prefix/system.reg" ||
        fail "the Wine prefix's registry did not get winebus's \"Enable SDL\"=0"
    echo "$version" >"$stamp"
    echo "vm: Wine prefix made in $(($(date +%s) - t0)) s ($version)"
fi

args=()
for p in "$@"; do args+=(-b "$p"); done
# The guest finds the prefix at /vm/wine-prefix, wherever the build tree is
# (its /tmp is a tmpfs of its own).
echo "WINEPREFIX=/vm/wine-prefix" >"$work/wine.env"
echo "$prefix /vm/wine-prefix" >"$work/host-binds"
"$here/mkinitramfs.sh" -k "$kroot" -o "$work/initramfs.cpio.gz" -i "$here/guest/init-host-root" \
    -m 9p -m 9pnet_virtio -m virtio_pci -m overlay "${args[@]}" \
    -f "$exe:/usr/local/bin/pendant-test.exe" -f "$work/wine.env:/vm/wine.env" \
    -f "$work/host-binds:/vm/host-binds"
exec "$here/run-vm.sh" -H -k "$kroot" -i "$work/initramfs.cpio.gz" -s "$scenario" -t "$limit" \
    -w "$work"
