#!/usr/bin/env bash
# Section of scripts/bench.sh: figures of the real tool on a real USB stack,
# from the Linux VM test (a gadget pendant under dummy_hcd). They are
# reported, not asserted: a missed target shows as "no" but does not fail.
#
# Hook: the VM harness provides an executable tests/vm/perf-figures.sh. It
# is called with the bench build directory (it builds what it needs itself,
# e.g. its own preset), runs the measuring scenario in the guest, exits
# non-zero only when it could not measure, and prints one line per figure,
#     FIGURE <key> <value>
# (the format the guest's vm_figure writes; other lines are ignored):
#     latency_reports        input reports timed (at least 200)
#     latency_median_ms      gadget sends an input report -> gadget receives
#     latency_max_ms           the sixth display report of the frame it causes
#     soak_reports           random counts and axes sent (at least 10000)
#     soak_axes_mismatched   axes whose displayed change differs from the sum
#                            of the counts sent for them (0: none lost/doubled)
#     rss_start_kb           the tool's VmRSS after the first 100 reports
#     rss_end_kb             and after the last
#     idle_seconds           length of the idle window (at least 10)
#     idle_transfers         display transfers in that window, wheel still
#     idle_wakeups_per_s     times per second the tool blocks (its voluntary
#                            context switches) meanwhile
#     idle_cpu_percent       the tool's CPU (user + system) meanwhile
#     unplugged_cpu_percent  its CPU over a window after the gadget unplugs
#     idle_syscalls_per_turn system calls per idle turn (strace in the guest;
#                            a turn being a wait that timed out)
#     idle_syscalls_other    calls other than the wait in that window
#     unplugged_syscalls_per_turn  system calls per turn once unplugged (a
#                            turn being its pause)
#     report_syscalls_to_display_median, _max
#                            calls from the wait that saw a report to the
#                            submission of the first display transfer
#     tool_share_median_ms, tool_share_max_ms
#                            from the input transfer's completion to that
#                            submission, by the kernel's USB monitor
# Optional, shown in the note under the table when present:
#     emulation_slowdown_user, emulation_slowdown_syscalls
#                            how much slower the guest runs two fixed
#                            workloads than the host does
#     idle_cpu_percent_host_estimate, unplugged_cpu_percent_host_estimate
#                            the CPU figures divided by the smaller factor
# Until it exists this section says so; a key missing shows as "n/a".
set -euo pipefail
build="$1"
provider="tests/vm/perf-figures.sh"

echo "## The real stack (Linux VM, USB gadget pendant)"
echo
if [ ! -x "$provider" ]; then
    echo "Not measured: this tree has no $provider (the VM harness's figure scenario)."
    exit 0
fi

out="$(mktemp)"
trap 'rm -f "$out"' EXIT
if ! "$provider" "$build" >"$out" 2>&1; then
    echo "Not measured: $provider failed; its last lines:"
    echo
    echo '```'
    tail -n 20 "$out"
    echo '```'
    exit 1
fi

declare -A fig
while read -r tag key value _; do
    [ "$tag" = FIGURE ] && fig[$key]="$value"
done <"$out"
get() { echo "${fig[$1]:-n/a}"; }
# with KEY UNIT: the value with its unit, or n/a
with() { [ -n "${fig[$1]:-}" ] && echo "${fig[$1]} $2" || echo "n/a"; }
# judge VALUE OP LIMIT: yes / no / n/a
judge() {
    [ "$1" = n/a ] && { echo n/a; return; }
    awk -v v="$1" -v l="$3" -v op="$2" 'BEGIN {
        ok = (op == "<=") ? v <= l : (op == "==") ? v == l : 0
        print ok ? "yes" : "**no**" }'
}

rss_growth=n/a rss_shown=n/a
if [ "$(get rss_start_kb)" != n/a ] && [ "$(get rss_end_kb)" != n/a ]; then
    rss_growth=$(($(get rss_end_kb) - $(get rss_start_kb)))
    rss_shown="$rss_growth kB"
fi
echo "| Figure | Measured | Target | Met |"
echo "|---|---:|---|---|"
echo "| Input report to sixth display report, median of $(get latency_reports) | $(with latency_median_ms ms) | at most one loop turn | - |"
echo "| Input report to sixth display report, maximum | $(with latency_max_ms ms) | at most one loop turn | - |"
echo "| Soak of $(get soak_reports) random reports: axes whose displayed change differs from the sum of counts | $(get soak_axes_mismatched) | 0 | $(judge "$(get soak_axes_mismatched)" == 0) |"
echo "| Soak: growth of the tool's resident memory | $rss_shown | 0 | $(judge "$rss_growth" '<=' 0) |"
echo "| Idle $(get idle_seconds) s, wheel still: display transfers | $(get idle_transfers) | 0 | $(judge "$(get idle_transfers)" == 0) |"
echo "| Idle: wake-ups per second | $(get idle_wakeups_per_s) | about 33 (30 ms time-out) | - |"
echo "| Idle: CPU | $(with idle_cpu_percent %) | <= 0.5 % | $(judge "$(get idle_cpu_percent)" '<=' 0.5) |"
echo "| Unplugged: CPU | $(with unplugged_cpu_percent %) | <= 1 % | $(judge "$(get unplugged_cpu_percent)" '<=' 1) |"
echo "| Idle turn: system calls ($(get idle_turns_traced) turns traced) | $(get idle_syscalls_per_turn) | 1 (the blocking wait) | $(judge "$(get idle_syscalls_per_turn)" '<=' 1) |"
echo "| Idle: system calls other than the wait | $(get idle_syscalls_other) | 0 | $(judge "$(get idle_syscalls_other)" == 0) |"
echo "| Unplugged turn: system calls ($(get unplugged_turns_traced) turns traced) | $(get unplugged_syscalls_per_turn) | <= 3 | $(judge "$(get unplugged_syscalls_per_turn)" '<=' 3) |"
echo "| Report to display: the tool's system calls, median / max of $(get report_syscalls_to_display_reports) | $(get report_syscalls_to_display_median) / $(get report_syscalls_to_display_max) | reported | - |"
echo "| Report to display: the tool's own share, median / max of $(get tool_share_reports) | $(with tool_share_median_ms ms) / $(with tool_share_max_ms ms) | reported, beside the whole above | - |"
echo
echo "The guest runs under qemu's plain emulation (no KVM): every time and CPU share above is that"
echo "of a machine $(get emulation_slowdown_syscalls) times (system calls) to $(get emulation_slowdown_user) times (user code) slower than this one."
echo "Divided by the smaller factor, the CPU figures become about $(with idle_cpu_percent_host_estimate %) idle and"
echo "$(with unplugged_cpu_percent_host_estimate %) unplugged: a rough guide only, as emulation slows timers, interrupts and"
echo "USB emulation more than either workload. A run on real hardware (or in a KVM guest) would settle"
echo "the CPU targets; see docs/performance.md."
