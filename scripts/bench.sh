#!/usr/bin/env bash
# Builds the benchmarks and prints the performance table: every figure with
# its target and whether it is met, and for a missed target where the cost
# goes and what would close it. Needs what scripts/deps.sh installs.
#
#   bash scripts/bench.sh
#
# The table is built from sections, bench/sections/NN-name.sh, each called
# with the build directory and printing its own markdown: 10-core.sh (the
# core on the null backend), 15-sim-memory.sh (pendant-sim over a million
# turns), 20-real-stack.sh (figures from the Linux VM).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/jobs.sh
build=build/default
log="$(mktemp)"
trap 'rm -f "$log"' EXIT

if ! { cmake --preset default && cmake --build --preset default --target bench-core pendant-instr pendant-sim; } >"$log" 2>&1; then
    cat "$log"
    echo "bench: build failed" >&2
    exit 1
fi

cpu="$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)"
compiler="$(awk -F= '/^CMAKE_CXX_COMPILER:/ { print $2 }' "$build/CMakeCache.txt")"
echo "# Performance and robustness: figures"
echo
echo "Measured $(date -u '+%Y-%m-%d %H:%M UTC') on ${cpu:-unknown CPU}, $(nproc) cores," \
    "load average $(cut -d' ' -f1-3 /proc/loadavg);" \
    "$("$compiler" --version | head -n 1), RelWithDebInfo (-O2);" \
    "$(valgrind --version); Google Benchmark $(dpkg-query -W -f='${Version}' libbenchmark-dev 2>/dev/null || echo '?')."
status=0
for section in bench/sections/[0-9]*.sh; do
    echo
    bash "$section" "$build" || status=1
done
exit "$status"
