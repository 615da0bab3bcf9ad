#!/usr/bin/env bash
# Every tracked C++ file is formatted as .clang-format says (check only:
# nothing is changed). clang-format names each file:line:column that
# differs; fix with clang-format -i FILE (or git clang-format).
#
#   bash scripts/lint/format.sh
set -uo pipefail
cd "$(dirname "$0")/../.." || exit 1
if ! command -v clang-format >/dev/null; then
    echo "format: clang-format is missing (scripts/deps.d/05-lint.sh installs it)" >&2
    exit 1
fi
mapfile -t files < <(git ls-files -- '*.cpp' '*.cc' '*.h' '*.hpp' '*.inc')
if [ "${#files[@]}" -eq 0 ]; then
    echo "format: no tracked C++ files (not a git checkout?)" >&2
    exit 1
fi
if ! clang-format --dry-run --Werror "${files[@]}"; then
    echo "format: files differ from .clang-format (see above)"
    exit 1
fi
echo "format: ${#files[@]} C++ files as .clang-format says ($(clang-format --version))"
