#!/usr/bin/env bash
# Section of scripts/bench.sh: pendant-sim's memory over long runs, which
# must stay flat (it keeps no history of the calls it serves). Peak resident
# memory from GNU time's %M, for scripts of a million turns, with and
# without input reports.
#   15-sim-memory.sh BUILD_DIR
set -euo pipefail
sim="$1/sim/pendant-sim"
[ -x "$sim" ] || { echo "bench: $sim missing (built by scripts/bench.sh)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "bench: /usr/bin/time missing; run scripts/deps.sh" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

printf 'turns 1000000\n' >"$work/idle.sim"
{
    for _ in $(seq 1 10000); do echo "jog 2 1"; done
    echo "turns 1000000"
} >"$work/reports.sim"
peak_kb() { # SCRIPT: peak resident kB of pendant-sim playing it
    /usr/bin/time -f '%M' -o "$work/rss" "$sim" --script "$1" >/dev/null
    cat "$work/rss"
}
idle=$(peak_kb "$work/idle.sim")
reports=$(peak_kb "$work/reports.sim")
judge() { [ "$1" -lt 20480 ] && echo yes || echo "**no**"; }

echo "## pendant-sim over long runs"
echo
echo "| Script | Peak resident memory | Target | Met |"
echo "|---|---:|---|---|"
echo "| \`turns 1000000\` | $idle kB | < 20 MB | $(judge "$idle") |"
echo "| 10,000 jog reports, then \`turns 1000000\` | $reports kB | < 20 MB | $(judge "$reports") |"
