#!/usr/bin/env bash
# The dissector's test: tshark to decode captures, text2pcap (in
# wireshark-common, which tshark pulls in) to build them. wireshark-common
# asks whether non-root users may capture; the answer is preset to no so
# that the install never waits for it.
set -euo pipefail
source "$(dirname "$0")/../lib/apt.sh"
echo "wireshark-common wireshark-common/install-setuid boolean false" | debconf-set-selections
apt_install tshark
