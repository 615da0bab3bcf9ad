#!/usr/bin/env bash
# The real-stack figures of scripts/bench.sh (contract at the top of
# bench/sections/20-real-stack.sh): builds preset linux-vm, runs the VM
# scenario "perf" (tests/vm/scenarios/perf.sh) and prints its FIGURE lines.
# Exits non-zero only when the figures could not be taken; a missed target
# is a figure like any other. Takes about three minutes.
#
#   tests/vm/perf-figures.sh [BENCH_BUILD_DIR]   (the argument is not needed)
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/lib/jobs.sh
log="$(mktemp)"
trap 'rm -f "$log"' EXIT

if ! { cmake --preset linux-vm &&
    cmake --build --preset linux-vm --target pendant-test pendant-gadget pendant-test-udev-rule \
        pendant-open-close; } >"$log" 2>&1; then
    cat "$log"
    echo "perf-figures: build failed" >&2
    exit 1
fi
status=0
ctest --test-dir build/linux-vm -R '^vm\.perf$' -V >"$log" 2>&1 || status=$?
# ctest -V puts "N: " before each line of the test's output.
figures="$(sed -n -E 's/^([0-9]+: )?(FIGURE .*)$/\2/p' "$log")"
echo "$figures"
fig() { awk -v k="$1" '$2 == k { print $3 }' <<<"$figures"; }

# The guest's calibration workloads (see perf.sh), timed on the host: the
# best of three, the host being shared.
best_s() {
    local best="" s e t
    for _ in 1 2 3; do
        s=$(date +%s%N)
        "$@" >/dev/null 2>&1
        e=$(date +%s%N)
        t=$((e - s))
        [ -z "$best" ] || [ "$t" -lt "$best" ] && best=$t
    done
    awk -v t="$best" 'BEGIN { printf "%.4f", t / 1e9 }'
}
host_user=$(best_s busybox awk 'BEGIN { for (i = 0; i < 200000; i++) s += i % 7 }')
host_sys=$(best_s busybox dd if=/dev/zero of=/dev/null bs=1 count=500000)
if [ -n "$(fig calib_user_s)" ] && [ -n "$(fig calib_syscalls_s)" ]; then
    slow_user=$(awk -v g="$(fig calib_user_s)" -v h="$host_user" 'BEGIN { printf "%.0f", g / h }')
    slow_sys=$(awk -v g="$(fig calib_syscalls_s)" -v h="$host_sys" 'BEGIN { printf "%.0f", g / h }')
    echo "FIGURE emulation_slowdown_user $slow_user"
    echo "FIGURE emulation_slowdown_syscalls $slow_sys"
    # The smaller factor gives the larger (cautious) estimate.
    slow=$((slow_user < slow_sys ? slow_user : slow_sys))
    for k in idle_cpu_percent unplugged_cpu_percent; do
        [ -n "$(fig "$k")" ] && [ "$slow" -gt 0 ] &&
            echo "FIGURE ${k}_host_estimate $(awk -v v="$(fig "$k")" -v f="$slow" 'BEGIN { printf "%.3f", v / f }')"
    done
fi
if [ "$status" -ne 0 ] || ! grep -q -E '^([0-9]+: )?FIGURE ' "$log"; then
    tail -n 60 "$log"
    echo "perf-figures: the VM scenario failed (status $status)" >&2
    exit 1
fi
