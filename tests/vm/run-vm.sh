#!/usr/bin/env bash
# Boots the test guest under qemu (plain emulation, no KVM), runs the
# scenarios (one, or several separated by commas) in it and reports their
# checks. Exit 0 only when the guest finished
# the scenario with at least one check and none failed. On failure the
# guest's console log is printed.
#
#   run-vm.sh -k KERNEL_ROOT -i INITRAMFS -s SCENARIO[,SCENARIO...] [-t SECONDS] [-w WORKDIR] [-H]
#
# -H hands the guest this machine's root file system, read-only, over
# virtio-9p (tag hostroot; guest/init-host-root mounts it) and gives it the
# room and processor that Wine's 32-bit programs need.
set -uo pipefail

kroot="" initrd="" scenario="" limit=240 work=""
machine=(-cpu max -smp 1 -m 512)
while getopts "k:i:s:t:w:H" opt; do
    case "$opt" in
    H)
        # Plain emulation (nested KVM guests hang here); without SMAP, SMEP
        # and PKU, since under emulation a 32-bit process's iret oopses the
        # guest kernel when SMAP is on.
        # shellcheck disable=SC2054 # qemu's own options are comma-separated
        machine=(-cpu max,-smap,-smep,-pku -smp 2 -m 3G
            -fsdev local,id=hostroot,path=/,readonly=on,security_model=none,multidevs=remap
            -device virtio-9p-pci,fsdev=hostroot,mount_tag=hostroot)
        ;;
    k) kroot="$OPTARG" ;;
    i) initrd="$OPTARG" ;;
    s) scenario="$OPTARG" ;;
    t) limit="$OPTARG" ;;
    w) work="$OPTARG" ;;
    *) exit 2 ;;
    esac
done
if [ -z "$kroot" ] || [ -z "$initrd" ] || [ -z "$scenario" ]; then
    echo "usage: $0 -k KERNEL_ROOT -i INITRAMFS -s SCENARIO [-t SECONDS] [-w WORKDIR]" >&2
    exit 2
fi
kernel=""
for image in "$kroot"/boot/vmlinuz-*; do
    [ -e "$image" ] && { kernel="$image"; break; }
done
[ -n "$kernel" ] || { echo "no kernel image under $kroot/boot" >&2; exit 2; }
[ -n "$work" ] || work="$(mktemp -d)"
mkdir -p "$work"
# Files are named after the first of the scenarios the boot runs.
console="$work/console-${scenario%%,*}.log"
results="$work/results-${scenario%%,*}.log"
: >"$console"
: >"$results"

start=$(date +%s)
timeout --kill-after=10 "$limit" qemu-system-x86_64 \
    -accel tcg -machine pc "${machine[@]}" \
    -display none -monitor none -no-reboot -nodefaults \
    -serial "file:$console" -serial "file:$results" \
    -kernel "$kernel" -initrd "$initrd" \
    -append "console=ttyS0 panic=-1 loglevel=4 pendant.scenario=$scenario"
qemu_rc=$?
elapsed=$(($(date +%s) - start))

# Files the guest handed over (vm_export), back in one piece each (the
# serial line ends its lines with CR LF).
while read -r blob; do
    case "$blob" in */* | .*) echo "vm: refusing the guest's file name '$blob'"; continue ;; esac
    awk -v n="$blob" '$1 == "BLOB" && $2 == n { sub(/\r$/, "", $3); print $3 }' "$results" |
        base64 -d >"$work/$blob" ||
        echo "vm: the guest's $blob did not decode"
done < <(awk '$1 == "BLOB" { print $2 }' "$results" | sort -u)
pass=$(grep -c '^CHECK PASS' "$results")
fail=$(grep -c '^CHECK FAIL' "$results")
grep -E '^(CHECK|FIGURE)' "$results"
ok=1
if [ "$qemu_rc" -eq 124 ] || [ "$qemu_rc" -eq 137 ]; then
    echo "vm: guest did not finish within ${limit} s"
    ok=0
elif [ "$qemu_rc" -ne 0 ]; then
    echo "vm: qemu exited with status $qemu_rc"
    ok=0
fi
if ! grep -q '^DONE' "$results"; then
    echo "vm: the scenario did not run to its end"
    ok=0
fi
[ "$fail" -eq 0 ] && [ "$pass" -gt 0 ] || ok=0
echo "vm: scenario $scenario: $pass passed, $fail failed (${elapsed} s)"
if [ "$ok" -ne 1 ]; then
    echo "===== guest console log ($console) ====="
    cat "$console"
    echo "===== end of guest console log ====="
    exit 1
fi
exit 0
