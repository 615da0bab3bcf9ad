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
targets=(read_input survey encoders script decode frame linux_ids)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
artifacts="build/fuzz/artifacts"
mkdir -p "$artifacts"
failed=()
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
echo "fuzz: ${#targets[@]} targets, ${#failed[@]} failed${failed[*]:+: ${failed[*]}}"
[ "${#failed[@]}" -eq 0 ]
