#!/usr/bin/env bash
# Section of scripts/bench.sh: figures of the real tool on a real USB stack,
# from the Linux VM test (a gadget pendant under dummy_hcd). They are
# reported, not asserted: a missed target shows as "no" but does not fail.
#
# Hook: the VM harness provides tests/vm/perf-figures.sh BUILD_DIR, which
# runs the measuring scenario and prints one line per figure,
#     FIGURE <key> <value>
# (the format the guest's vm_figure writes), with these keys:
#     latency_reports latency_median_ms latency_max_ms
#     soak_reports soak_axes_mismatched rss_start_kb rss_end_kb
#     idle_seconds idle_transfers idle_wakeups_per_s idle_cpu_percent
#     unplugged_cpu_percent
# Until it exists this section says so; any key missing shows as "n/a".
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
# judge VALUE OP LIMIT: yes / no / n/a
judge() {
    [ "$1" = n/a ] && { echo n/a; return; }
    awk -v v="$1" -v l="$3" -v op="$2" 'BEGIN {
        ok = (op == "<=") ? v <= l : (op == "==") ? v == l : 0
        print ok ? "yes" : "**no**" }'
}

rss_growth=n/a
if [ "$(get rss_start_kb)" != n/a ] && [ "$(get rss_end_kb)" != n/a ]; then
    rss_growth=$(($(get rss_end_kb) - $(get rss_start_kb)))
fi
echo "| Figure | Measured | Target | Met |"
echo "|---|---:|---|---|"
echo "| Input report to sixth display report, median of $(get latency_reports) | $(get latency_median_ms) ms | at most one loop turn | - |"
echo "| Input report to sixth display report, maximum | $(get latency_max_ms) ms | at most one loop turn | - |"
echo "| Soak of $(get soak_reports) random reports: axes whose displayed change differs from the sum of counts | $(get soak_axes_mismatched) | 0 | $(judge "$(get soak_axes_mismatched)" == 0) |"
echo "| Soak: growth of the tool's resident memory | $rss_growth kB | 0 | $(judge "$rss_growth" '<=' 0) |"
echo "| Idle $(get idle_seconds) s, wheel still: display transfers | $(get idle_transfers) | 0 | $(judge "$(get idle_transfers)" == 0) |"
echo "| Idle: wake-ups per second | $(get idle_wakeups_per_s) | about 33 (30 ms time-out) | - |"
echo "| Idle: CPU | $(get idle_cpu_percent) % | <= 0.5 % | $(judge "$(get idle_cpu_percent)" '<=' 0.5) |"
echo "| Unplugged: CPU | $(get unplugged_cpu_percent) % | <= 1 % | $(judge "$(get unplugged_cpu_percent)" '<=' 1) |"
