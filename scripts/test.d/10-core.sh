#!/usr/bin/env bash
# The core and the virtual pendant: plain build, then under ASan and UBSan.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/lib/jobs.sh
for preset in default asan; do
  echo "== core tests: preset $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
