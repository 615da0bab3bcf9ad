# shellcheck shell=dash disable=SC2034,SC2154 # sourced by guest/lib.sh, sharing its variables
# A pendant that is not ours: the kernel's own HID gadget function
# (configfs functions/hid.usb0, 8-byte input reports, no OUT endpoint, the
# pendant's report descriptor from protocol/), written to through
# /dev/hidg0. pendant-test must open and survey it as any pendant, print
# one trace line per report (the function ends each full report with a
# zero-length packet, which is no report), and its display frames must
# reach the function byte for byte: with no OUT endpoint the function takes
# SET_REPORT on ep0 and hands its data to readers of /dev/hidg0 (the latest
# one only), and the USB monitor records all of them.

# The gadget: khid_create and khid_remove (guest/lib.sh).

scenario_main() {
    local dev node bus addr mon sent frames step report reader i sets frame_hex got want
    vm_check "rule written" pendant-test-udev-rule "$KHID_IDS" /etc/udev/rules.d/71-khid.rules
    udevadm control --reload
    if ! khid_create; then
        vm_fail "kernel HID pendant plugged in" "see above"
        khid_remove
        return
    fi
    vm_pass "kernel HID pendant plugged in"
    dev=$(usb_host_dir "$KHID_IDS")
    bus=$(cat "$dev/busnum")
    addr=$(printf '%d:%03d' "$bus" "$(cat "$dev/devnum")")
    vm_check "the function's report descriptor is protocol's, as the host read it" \
        cmp -s /tmp/khid.desc "$dev":1.0/0003:*/report_descriptor
    vm_check "rule tags it" sh -c \
        "udevadm info -q property -p '$dev' | grep -q '^DEVICE_INTERFACE_GUIDS='"
    vm_check "the kernel's HID driver has it" vm_wait 10 sh -c \
        "[ \"\$(basename \"\$(readlink '$dev:1.0/driver')\")\" = usbhid ]"

    mon=/tmp/khid.mon
    usbmon_start "$bus" "$mon" || return
    # What the function hands over of each SET_REPORT, read after read.
    dd if=/dev/hidg0 of=/tmp/khid.setreports bs=64 2>/dev/null &
    reader=$!
    pt_start
    if vm_wait 30 pt_has 'Endpoint query complete'; then
        survey_of "$dev" >"$EXPECTED"
        vm_check "survey report is exact" pt_is_expected
    else
        vm_fail "opened" "no survey within 30 s"
    fi
    vm_check "tool took the interface" pt_opened

    sent=0
    frames=0
    for step in $JOG; do
        report=$(jog_report "$step" 8)
        # shellcheck disable=SC2086 # one word per byte
        write_bytes /dev/hidg0 $report
        sent=$((sent + 1))
        frames=$((frames + $(jog_moves "$step")))
        # shellcheck disable=SC2086 # the same
        trace_line_of $report >>"$EXPECTED"
        if ! vm_wait 10 sh -c "[ \$(grep -c 'Read from rk27:' '$PT_OUT') -ge $sent ]"; then
            vm_fail "report $sent read by the tool" "no trace line within 10 s"
            break
        fi
        if ! vm_wait 10 sh -c "[ \$(grep -c ' S Co:$addr:0 s 21 09 0306 ' '$mon') -ge $((frames * 6)) ]"; then
            vm_fail "frame $frames after report $sent" "not sent within 10 s"
            break
        fi
    done
    usleep 500000
    vm_check "one trace line per report, exact" pt_is_expected
    pt_stop
    usbmon_stop
    kill "$reader" 2>/dev/null
    wait "$reader" 2>/dev/null

    # The function's own zero-length packets: the reason for the check above.
    got=$(usbmon_lengths "$mon" C "Ii:$addr:1" | grep -c '^0$')
    vm_figure kernel-hid-zero-length-packets "$got"
    vm_check "the function sent a zero-length packet after each of the $sent reports (usbmon: $got)" \
        test "$got" -ge "$sent"
    vm_check "every report reached the host whole, 8 bytes (usbmon)" \
        test "$(usbmon_lengths "$mon" C "Ii:$addr:1" | grep -c '^8$')" -eq "$sent"
    vm_check "the tool asked for the report descriptor (GET_DESCRIPTOR, report, interface 0)" \
        grep -q " S Ci:$addr:0 s 81 06 2200 0000 " "$mon"

    usbmon_data "$mon" S "Co:$addr:0" "21 09 0306" >/tmp/khid.sets
    sets=$(wc -l </tmp/khid.sets)
    vm_check "one frame (six feature reports of id 6) per move: $frames frames ($sets reports)" \
        test "$sets" -eq $((frames * 6))
    vm_check "every one of them completed (usbmon)" test "$(awk -v a="Co:$addr:0" \
        '$3 == "C" && $4 == a && $5 == "0" && $6 == "8"' "$mon" | wc -l)" -ge "$sets"
    frame_hex=$(tail -n 6 /tmp/khid.sets | tr '\n' ' ' | sed 's/ $//')
    vm_check "last frame is byte-exact" test "$frame_hex" = "$EXPECTED_LAST_FRAME"
    # /dev/hidg0 keeps the latest SET_REPORT alone: a slow reader misses
    # some, but what it reads must be what was sent, in order, the last one
    # included.
    od -An -v -tx1 -w8 /tmp/khid.setreports | sed 's/^ //' >/tmp/khid.got
    got=$(wc -l </tmp/khid.got)
    vm_figure kernel-hid-set-reports-read-of-sent "$got" "$sets"
    i=1
    want=""
    while read -r report; do
        while [ "$i" -le "$sets" ]; do
            want=$(sed -n "${i}p" /tmp/khid.sets)
            i=$((i + 1))
            [ "$want" = "$report" ] && break
            want=""
        done
        [ -n "$want" ] || break
    done </tmp/khid.got
    vm_check "what /dev/hidg0 delivered ($got reports) is what the host sent, in order" \
        test "$got" -gt 0 -a -n "$want"
    vm_check "the last report /dev/hidg0 delivered is the frame's last" \
        test "$(tail -n 1 /tmp/khid.got)" = "$(tail -n 1 /tmp/khid.sets)"

    if [ "$vm_nfail" -gt 0 ]; then
        vm_show "pendant-test output" "$PT_OUT"
        vm_show "expected" "$EXPECTED"
        vm_show "usbmon" "$mon"
        vm_show "hidg0 reads" /tmp/khid.got
    fi
    khid_remove
    vm_check "kernel HID gadget taken down" test ! -e "$KHID"
}
