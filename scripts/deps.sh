#!/usr/bin/env bash
# Installs every package the build and the tests need, on Debian 12 as root.
# Each area of the project keeps its own list in deps.d/.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
# The package lists are refreshed at most once for all parts.
PENDANT_APT_STAMP="$(mktemp -u /tmp/pendant-apt-updated.XXXXXX)"
export PENDANT_APT_STAMP
trap 'rm -f "$PENDANT_APT_STAMP"' EXIT
for part in "$here"/deps.d/*.sh; do
  echo "== deps: $(basename "$part")"
  bash "$part"
done
