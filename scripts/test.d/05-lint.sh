#!/usr/bin/env bash
# Lint: the C++ formatting (clang-format, check only), the shell scripts
# (shellcheck) and the protocol numbers in one file. Each check is a script
# of scripts/lint/ that runs alone too, and names the file and line of
# whatever it finds.
set -uo pipefail
cd "$(dirname "$0")/../.." || exit 1
checks=(format shell protocol-numbers)
failed=()
for check in "${checks[@]}"; do
    echo "== lint: $check"
    bash "scripts/lint/$check.sh" || failed+=("$check")
done
echo
echo "lint: ${#checks[@]} checks, ${#failed[@]} failed${failed[*]:+: ${failed[*]}}"
[ "${#failed[@]}" -eq 0 ]
