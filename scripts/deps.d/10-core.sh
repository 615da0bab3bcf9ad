#!/usr/bin/env bash
# The core suite (default and asan presets): the tool and pendant-sim with
# all their tests, so what both need, plus GoogleTest.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../lib/apt.sh"
source "$here/../lib/packages.sh"
apt_install "${pendant_tool_packages[@]}" "${pendant_sim_packages[@]}" googletest libgtest-dev \
  nlohmann-json3-dev python3-jsonschema # the check's record read back by parsers of others
