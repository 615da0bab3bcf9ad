#!/usr/bin/env bash
# The Linux backend: its unit tests, then pendant-test on the kernel's own
# USB stack in a qemu guest (dummy_hcd, FunctionFS gadget pendant), and the
# Windows program under Wine's HID stack in such a guest (vm.wine_hid), for
# which the windows-i686 preset's pendant-test.exe is built first.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/lib/jobs.sh
echo "== pendant-test.exe for vm.wine_hid: preset windows-i686"
cmake --preset windows-i686 >/dev/null
cmake --build --preset windows-i686 --target pendant-test
echo "== linux backend and VM test: preset linux-vm"
cmake --preset linux-vm >/dev/null
cmake --build --preset linux-vm
ctest --preset linux-vm
