#!/usr/bin/env bash
# Sets up what is needed, builds, and runs pendant-sim: the tool driving its
# built-in virtual pendant.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
PENDANT_APT_STAMP="$(mktemp -u /tmp/pendant-apt-updated.XXXXXX)"
export PENDANT_APT_STAMP
trap 'rm -f "$PENDANT_APT_STAMP"' EXIT
source "$here/lib/apt.sh"
source "$here/lib/packages.sh"
source "$here/lib/jobs.sh"
apt_install "${pendant_sim_packages[@]}"
cd "$here/.."
cmake --preset sim >/dev/null
cmake --build --preset sim
./build/sim/sim/pendant-sim "$@"
