#!/usr/bin/env bash
# The fuzzers: each libFuzzer target (clang, ASan + UBSan) runs from its seed
# corpus for a bounded time, all together at most 80 s, and any crash, leak,
# sanitizer report or broken check fails the suite. New inputs go to a
# scratch directory, not into the repository; a crashing input is kept under
# build/fuzz/artifacts/ to reproduce with: build/fuzz/fuzz/fuzz-TARGET FILE
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/lib/jobs.sh
seconds="${PENDANT_FUZZ_SECONDS:-10}"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

# The targets are the ones fuzz/CMakeLists.txt lists; one this configuration
# left out fails the suite, saying why.
list="build/fuzz/fuzz/targets.txt"
[ -s "$list" ] || { echo "fuzz: the configure wrote no target list ($list)"; exit 1; }
targets=() failed=()
while read -r target why; do
    if [ -n "$why" ]; then
        echo "FAIL: fuzz: $target $why"
        failed+=("$target")
    else
        targets+=("$target")
    fi
done <"$list"
total=$((${#targets[@]} + ${#failed[@]}))

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
artifacts="build/fuzz/artifacts"
mkdir -p "$artifacts"
for target in "${targets[@]}"; do
    mkdir -p "$work/$target"
    echo "== fuzz: $target for $seconds s"
    if build/fuzz/fuzz/fuzz-"$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$artifacts/$target-" \
        "$work/$target" "fuzz/corpus/$target" >"$work/$target.log" 2>&1; then
        grep -E '^Done ' "$work/$target.log" || true
    else
        failed+=("$target")
        tail -n 40 "$work/$target.log"
    fi
done
echo
echo "fuzz: $total targets, ${#failed[@]} failed${failed[*]:+: ${failed[*]}}"
[ "${#failed[@]}" -eq 0 ]
