#!/usr/bin/env bash
# The lint suite (scripts/test.d/05-lint.sh): clang-format and shellcheck.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../lib/apt.sh"
source "$here/../lib/packages.sh"
apt_install "${pendant_lint_packages[@]}"
