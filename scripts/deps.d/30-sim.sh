#!/usr/bin/env bash
# Packages for pendant-sim: ncurses for its terminal screen, CLI11 for its
# options, tmux for the tests that drive it as a person would.
# Idempotent: apt is not touched when everything is already there.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
apt_get() { timeout 1800 apt-get -o DPkg::Lock::Timeout=900 "$@"; }

want=(libncurses-dev libcli11-dev tmux cmake g++ googletest)

missing=()
for p in "${want[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -eq 0 ]; then
    echo "deps 30-sim: all present"
    exit 0
fi
apt_get update -q
apt_get install -y -q --no-install-recommends "${missing[@]}"
echo "deps 30-sim: installed ${missing[*]}"
