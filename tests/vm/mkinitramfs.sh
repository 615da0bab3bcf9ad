#!/usr/bin/env bash
# Builds the guest's initramfs: busybox, the kernel's USB gadget modules with
# their dependencies, udevd, the guest scripts and scenarios, and the given
# programs with the shared libraries they load.
#
#   mkinitramfs.sh -k KERNEL_ROOT -o OUT.cpio.gz [-i INIT] [-m MODULE]...
#                  [-b PROGRAM]... [-f SRC:DEST]...
#
# KERNEL_ROOT is an unpacked Debian linux-image package (boot/, lib/modules/).
# Programs land in /usr/local/bin; -f copies any other file to DEST. INIT is
# the guest's PID 1 (default guest/init); -m loads a module more.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
kroot="" out="" init="$here/guest/init" progs=() files=() more_modules=()
while getopts "k:o:i:m:b:f:" opt; do
    case "$opt" in
    k) kroot="$OPTARG" ;;
    o) out="$OPTARG" ;;
    i) init="$OPTARG" ;;
    m) more_modules+=("$OPTARG") ;;
    b) progs+=("$OPTARG") ;;
    f) files+=("$OPTARG") ;;
    *) exit 2 ;;
    esac
done
if [ -z "$kroot" ] || [ -z "$out" ]; then
    echo "usage: $0 -k KERNEL_ROOT -o OUT [-i INIT] [-m MODULE]... [-b PROG]... [-f SRC:DEST]..." >&2
    exit 2
fi

# Modules the guest loads, in the order given; each one's dependencies are
# loaded before it. usbhid/hid_generic stand for the kernel driver that
# claims a real pendant, which the tool has to detach; usbmon lets a
# scenario watch the tool's transfers; usb_f_hid is the kernel's own HID
# gadget function, a pendant that is not ours.
want_modules=(configfs dummy_hcd libcomposite usb_f_fs usb_f_hid usbhid hid_generic usbmon
    "${more_modules[@]}")

moddir="$(find "$kroot/lib/modules" -mindepth 1 -maxdepth 1 -type d | head -n 1)"
[ -d "$moddir/kernel" ] || { echo "no modules under $kroot/lib/modules" >&2; exit 1; }
kver="$(basename "$moddir")"

stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
# mktemp made it 0700; it becomes the guest's / and the unprivileged user
# must get through it.
chmod 0755 "$stage"
mkdir -p "$stage"/{bin,sbin,etc,proc,sys,dev,tmp,run,root,vm,usr/bin,usr/sbin,usr/local/bin,lib64} \
    "$stage/lib/modules/$kver" "$stage/etc/udev/rules.d" "$stage/lib/udev/rules.d"

# ---- busybox: the shell and the tools the guest scripts use
cp /bin/busybox "$stage/bin/busybox"
for applet in $(/bin/busybox --list); do
    [ -e "$stage/bin/$applet" ] || ln -s busybox "$stage/bin/$applet"
done

# ---- kernel modules, dependencies first
declare -A modpath=() seen=()
while IFS= read -r f; do
    b="${f##*/}"
    b="${b%%.ko*}"
    modpath["${b//-/_}"]="$f"
done < <(cd "$moddir" && find kernel -name '*.ko' -o -name '*.ko.xz')

order=()
mod_file() { # the uncompressed module file in the stage, copied on first use
    local rel="$1" dst="$stage/lib/modules/$kver/${1%.xz}"
    if [ ! -e "$dst" ]; then
        mkdir -p "$(dirname "$dst")"
        case "$rel" in
        *.xz) xz -dc "$moddir/$rel" >"$dst" ;;
        *) cp "$moddir/$rel" "$dst" ;;
        esac
    fi
    echo "$dst"
}
resolve() {
    local name="${1//-/_}" f dep
    [ -n "${seen[$name]:-}" ] && return 0
    seen[$name]=1
    if [ -z "${modpath[$name]:-}" ]; then
        # Built into this kernel: nothing to load.
        grep -q "/${1}.ko\$\|/${name}.ko\$" "$moddir/modules.builtin" && return 0
        echo "module $1 not found for kernel $kver" >&2
        exit 1
    fi
    f="$(mod_file "${modpath[$name]}")"
    for dep in $(tr '\0' '\n' <"$f" | sed -n 's/^depends=//p' | tr ',' ' '); do
        resolve "$dep"
    done
    order+=("/lib/modules/$kver/${modpath[$name]%.xz}")
}
for m in "${want_modules[@]}"; do resolve "$m"; done
printf '%s\n' "${order[@]}" >"$stage/etc/vm-modules"

# ---- programs and the shared libraries they need
copy_with_libs() {
    local src="$1" dst="$2" lib
    mkdir -p "$(dirname "$stage$dst")"
    cp -L "$src" "$stage$dst"
    for lib in $(ldd "$src" 2>/dev/null | awk '/=> \// { print $3 } /^\t\// { print $1 }'); do
        if [ ! -e "$stage$lib" ]; then
            mkdir -p "$(dirname "$stage$lib")"
            cp -L "$lib" "$stage$lib"
        fi
    done
}
copy_with_libs /bin/udevadm /bin/udevadm
ln -s /bin/udevadm "$stage/sbin/udevd"
cp /lib/udev/rules.d/50-udev-default.rules "$stage/lib/udev/rules.d/"
for p in "${progs[@]}"; do
    copy_with_libs "$p" "/usr/local/bin/$(basename "$p")"
done
for entry in "${files[@]}"; do
    mkdir -p "$(dirname "$stage${entry#*:}")"
    cp -rL "${entry%%:*}" "$stage${entry#*:}"
done

# ---- guest scripts, users
cp "$init" "$stage/init"
chmod 0755 "$stage/init"
cp "$here"/guest/*.sh "$stage/vm/"
mkdir -p "$stage/vm/scenarios"
cp "$here"/scenarios/*.sh "$stage/vm/scenarios/"
cat >"$stage/etc/passwd" <<'PASSWD'
root:x:0:0:root:/root:/bin/sh
tester:x:1000:1000:unprivileged tester:/tmp:/bin/sh
PASSWD
cat >"$stage/etc/group" <<'GROUP'
root:x:0:
tester:x:1000:
GROUP

mkdir -p "$(dirname "$out")"
(cd "$stage" && find . | LC_ALL=C sort | cpio -o -H newc --quiet) | gzip -1 >"$out.tmp"
mv "$out.tmp" "$out"
echo "initramfs: $out ($(du -h "$out" | cut -f1), kernel $kver, modules: ${order[*]##*/})"
