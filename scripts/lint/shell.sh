#!/usr/bin/env bash
# Every tracked shell script through shellcheck: the *.sh files and every other
# file whose first line starts sh or bash. Each finding names file:line:column.
# Sourced files are followed (.shellcheckrc); the guest's scripts say
# which shell they run in.
#
#   bash scripts/lint/shell.sh
set -uo pipefail
cd "$(dirname "$0")/../.." || exit 1
if ! command -v shellcheck >/dev/null; then
    echo "shell: shellcheck is missing (scripts/deps.d/05-lint.sh installs it)" >&2
    exit 1
fi
scripts=()
while IFS= read -r -d '' file; do
    [ -f "$file" ] || continue
    if [[ "$file" == *.sh ]]; then
        scripts+=("$file")
        continue
    fi
    first=""
    IFS= read -r first <"$file" || true
    if [[ "$first" =~ ^#!.*(/|env[[:space:]]+)(ba|da)?sh([[:space:]]|$) ]]; then
        scripts+=("$file")
    fi
done < <(git ls-files -z)
if [ "${#scripts[@]}" -eq 0 ]; then
    echo "shell: no tracked shell scripts (not a git checkout?)" >&2
    exit 1
fi
if ! shellcheck -f gcc "${scripts[@]}"; then
    echo "shell: shellcheck has findings (see above)"
    exit 1
fi
echo "shell: ${#scripts[@]} scripts pass shellcheck $(shellcheck --version | sed -n 's/^version: //p')"
