#!/usr/bin/env bash
# Sets up what is needed, builds, and runs pendant-sim: the tool driving its
# built-in virtual pendant.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
bash "$here/deps.d/10-core.sh"
bash "$here/deps.d/30-sim.sh"
cd "$here/.."
cmake --preset sim >/dev/null
cmake --build --preset sim
exec ./build/sim/pendant-sim "$@"
