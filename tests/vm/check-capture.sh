#!/usr/bin/env bash
# The dissector on a real capture: what the kernel's USB monitor recorded in
# the VM test's guest while pendant-test drove the gadget pendant
# (capture.pcap), decoded by dissector/pendant.lua through
# tests/dissector/check_capture.sh, against what the gadget itself logged
# (capture-gadget.log): every report the host read and every frame it sent,
# in order. The expected file is made from that log here.
#   check-capture.sh WORKDIR SOURCE_DIR
set -euo pipefail
work="$1" src="$2"
for f in capture.pcap capture-gadget.log capture-device; do
    if [ ! -s "$work/$f" ]; then
        echo "check-capture: no $f in $work: the VM test (vm.linux-usb) did not hand it over" >&2
        exit 1
    fi
done
# IN-SENT 04 00 00 AA CC ...   -> report AXIS +-COUNT moves|ignored
# COORDS c1..c6 WORDS w0..w3   -> frame c1..c6 w0..w3
# FRAME-BAD why                -> a frame no correct host sends: the check fails
awk '
    function hex(s,    i, n) {
        n = 0
        for (i = 1; i <= length(s); i++)
            n = n * 16 + index("0123456789abcdef", tolower(substr(s, i, 1))) - 1
        return n
    }
    $1 == "IN-SENT" {
        code = hex($5); count = hex($6)
        if (count >= 128) count -= 256
        axis = (code >= 17 && code <= 19) ? code - 16 : 0 # 0x11..0x13
        moves = (axis != 0 && count != 0 && count >= -31 && count <= 31) ? "moves" : "ignored"
        printf "report %d %s%d %s\n", axis, (count < 0 ? "" : "+"), count, moves
    }
    $1 == "COORDS" { print "frame", $2, $3, $4, $5, $6, $7, $9, $10, $11, $12 }
    $1 == "FRAME-BAD" { print "# the gadget could not decode a frame:", $0; print "frame-bad" }
' "$work/capture-gadget.log" >"$work/capture.expected"
reports=$(grep -c '^report' "$work/capture.expected" || true)
frames=$(grep -c '^frame ' "$work/capture.expected" || true)
if [ "$reports" -eq 0 ] || [ "$frames" -eq 0 ]; then
    echo "check-capture: the gadget logged $reports reports and $frames frames; nothing to compare" >&2
    exit 1
fi
read -r bus device <"$work/capture-device"
echo "check-capture: $reports reports and $frames frames from the gadget's log, device $bus.$device"
exec bash "$src/tests/dissector/check_capture.sh" -o "pendant.bus:$bus" -o "pendant.device:$device" \
    "$work/capture.pcap" "$work/capture.expected"
