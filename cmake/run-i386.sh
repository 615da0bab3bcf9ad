#!/usr/bin/env bash
# Runs a command in which 32-bit x86 programs start through qemu's user-mode
# emulator, for kernels that cannot run them (no ia32 emulation).
#
#   run-i386.sh QEMU-I386 COMMAND [ARGS...]
#
# The command runs in a private user and mount namespace with a binfmt_misc
# of its own (per user namespace since Linux 6.7), where i386 ELF programs
# are registered to start through QEMU-I386. Nothing machine-wide changes: no
# handler is registered outside, and the namespace ends with its processes.
set -euo pipefail
if [ "${1:-}" = "--inside" ]; then
    qemu="$2"
    shift 2
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    # ELF, 32-bit, little-endian, executable or shared object, machine i386.
    # F: the emulator is opened now, so it need not be reachable later.
    magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    printf ':pendant-i386:M::%s:%s:%s:F' "$magic" "$mask" "$qemu" >/proc/sys/fs/binfmt_misc/register
    exec "$@"
fi
if [ $# -lt 2 ]; then
    echo "usage: run-i386.sh QEMU-I386 COMMAND [ARGS...]" >&2
    exit 2
fi
qemu="$(realpath "$1")"
shift
exec unshare --user --map-root-user --mount --fork --kill-child -- \
    bash "$(realpath "$0")" --inside "$qemu" "$@"
