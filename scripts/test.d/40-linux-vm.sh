#!/usr/bin/env bash
# The Linux backend: its unit tests, then pendant-test on the kernel's own
# USB stack in a qemu guest (dummy_hcd, FunctionFS gadget pendant).
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/lib/jobs.sh
echo "== linux backend and VM test: preset linux-vm"
cmake --preset linux-vm >/dev/null
cmake --build --preset linux-vm
ctest --preset linux-vm
