#!/usr/bin/env bash
# pendant-sim (CLI11, ncurses) and tmux for the tests that drive its screen
# as a person would.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../lib/apt.sh"
source "$here/../lib/packages.sh"
apt_install "${pendant_sim_packages[@]}" tmux
