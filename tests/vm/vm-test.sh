#!/usr/bin/env bash
# One VM test: builds the guest's initramfs with the given programs and runs
# scenarios in it, one after the other in one boot (see run-vm.sh). An
# argument SRC:DEST is a file of this machine the guest gets as DEST.
#   vm-test.sh SCENARIO[,SCENARIO...] TIMEOUT WORKDIR KERNEL_ROOT PROGRAM|SRC:DEST...
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
scenario="$1" limit="$2" work="$3" kroot="$4"
shift 4
if [ ! -e "$kroot/boot" ]; then
    echo "vm: no guest kernel at $kroot; run scripts/deps.sh (it fetches Debian's kernel package)" >&2
    exit 1
fi
for tool in qemu-system-x86_64 cpio busybox; do
    command -v "$tool" >/dev/null || { echo "vm: $tool missing; run scripts/deps.sh" >&2; exit 1; }
done
mkdir -p "$work"
args=()
for p in "$@"; do
    case "$p" in
    *:*) args+=(-f "$p") ;;
    *) args+=(-b "$p") ;;
    esac
done
# stdbuf lets the guest read the tool's output while it runs.
stdbuf_lib="$(ls /usr/libexec/coreutils/libstdbuf.so 2>/dev/null || true)"
[ -n "$stdbuf_lib" ] && args+=(-b /usr/bin/stdbuf -f "$stdbuf_lib:$stdbuf_lib")
# env --default-signal starts a program with the signals a terminal gives it;
# tmux drives pendant-gadget's screen
for tool in /usr/bin/env /usr/bin/tmux; do
    [ -x "$tool" ] || { echo "vm: $tool missing; run scripts/deps.sh" >&2; exit 1; }
    args+=(-b "$tool")
done
# (with the terminfo entry it draws by, and the UTF-8 locale it insists on).
args+=(-f /lib/terminfo/s/screen:/lib/terminfo/s/screen -f /usr/lib/locale/C.utf8:/usr/lib/locale/C.utf8)
"$here/mkinitramfs.sh" -k "$kroot" -o "$work/initramfs.cpio.gz" "${args[@]}"
exec "$here/run-vm.sh" -k "$kroot" -i "$work/initramfs.cpio.gz" -s "$scenario" -t "$limit" -w "$work"
