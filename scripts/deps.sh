#!/usr/bin/env bash
# Installs every package the build and the tests need, on Debian 12 as root.
# Each area of the project keeps its own list in deps.d/.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
for part in "$here"/deps.d/*.sh; do
  echo "== deps: $(basename "$part")"
  bash "$part"
done
