#!/usr/bin/env bash
# The compiler, CMake and GoogleTest for the core and its virtual pendant.
set -euo pipefail
source "$(dirname "$0")/../lib/apt.sh"
apt_install g++ cmake make googletest libgtest-dev clang-format
