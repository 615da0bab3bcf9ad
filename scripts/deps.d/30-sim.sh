#!/usr/bin/env bash
# pendant-sim: ncurses for its screen, CLI11 for its options, tmux for the
# tests that drive the screen as a person would.
set -euo pipefail
source "$(dirname "$0")/../lib/apt.sh"
apt_install libncurses-dev libcli11-dev tmux
