# shellcheck shell=dash disable=SC2034,SC2154 # sourced by guest/lib.sh, sharing its variables
# pendant-gadget met by HID hosts no one here wrote, on the guest's own USB
# host: the kernel's HID driver and hidraw, lsusb -v, usbhid-dump and
# Debian's libhidapi (pendant-hidapi, a client of it). Its reports here are
# the jog sequence padded to 8 bytes, the size its report descriptor
# declares.

# need PROGRAM WHY: the program is in the guest, else the check fails
# saying why.
need() {
    if command -v "$1" >/dev/null; then
        return 0
    fi
    vm_fail "$1 in the guest" "$2"
    return 1
}

# send_jog N: sends the first N steps of $JOG, 8 bytes each, and waits
# until the gadget has sent them all; the hex of each goes to /tmp/sent.
send_jog() {
    local n=0 step before
    : >/tmp/sent
    before=$(gadget_count '^IN-SENT')
    for step in $JOG; do
        [ "$n" -lt "$1" ] || break
        # shellcheck disable=SC2046 # one word per byte
        gadget_send $(jog_report "$step" 8)
        jog_report "$step" 8 >>/tmp/sent
        n=$((n + 1))
    done
    gadget_wait_lines '^IN-SENT' $((before + n))
}

scenario_main() {
    local hid reader n from iface bus devnum status want
    vm_check "pendant ready" pendant_ready || return
    iface=$(basename "$dev"):1.0
    bus=$(cat "$dev/busnum")
    devnum=$(cat "$dev/devnum")
    vm_check "the kernel's HID driver has it" vm_wait 10 sh -c \
        "[ \"\$(basename \"\$(readlink '$dev:1.0/driver')\")\" = usbhid ]"
    hid=$(iface_hid "$dev:1.0")
    vm_check "the gadget's report descriptor is protocol's (the HID driver's copy)" sh -c \
        "pendant-report-descriptor 8 | cmp -s - '$dev:1.0/$hid/report_descriptor'"

    # ---- hidraw: every report the gadget sends, as it sends it
    hidraw_check "pendant-gadget" "$dev:1.0" 8 10 send_jog 10

    # ---- lsusb -v, with the HID driver away so that it reads the report
    # descriptor itself
    if need lsusb "not copied in: the build host lacks usbutils (scripts/deps.sh)"; then
        echo "$iface" >/sys/bus/usb/drivers/usbhid/unbind
        lsusb -v -d fff0:0001 >/tmp/lsusb.out 2>/tmp/lsusb.err
        status=$?
        echo "$iface" >/sys/bus/usb/drivers/usbhid/bind
        vm_check "lsusb -v: status 0 (got $status)" test "$status" -eq 0
        vm_check "lsusb -v: nothing on standard error" test ! -s /tmp/lsusb.err ||
            vm_show "lsusb errors" /tmp/lsusb.err
        vm_check "lsusb -v: no warning" sh -c \
            "! grep -i -E 'warning|invalid|unrecognized|unavailable|junk|bogus' /tmp/lsusb.out"
        want=$(pendant-report-descriptor 8 | wc -c)
        vm_check "lsusb -v: reads the report descriptor ($want bytes)" \
            grep -q "Report Descriptor: (length is $want)" /tmp/lsusb.out
        vm_check "lsusb -v: input report 4, feature report 6" sh -c \
            "grep -q 'Report ID, data= \[ 0x04 \]' /tmp/lsusb.out &&
             grep -q 'Report ID, data= \[ 0x06 \]' /tmp/lsusb.out &&
             grep -q 'Main  *): Input' /tmp/lsusb.out && grep -q 'Main  *): Feature' /tmp/lsusb.out"
        [ "$vm_nfail" -gt 0 ] && vm_show "lsusb -v" /tmp/lsusb.out
        vm_check "lsusb -v: the HID driver back" vm_wait 10 sh -c \
            "[ \"\$(basename \"\$(readlink '$dev:1.0/driver')\")\" = usbhid ]"
    fi

    # ---- usbhid-dump: the descriptor, then the reports as they stream
    if need usbhid-dump "not copied in: the build host lacks usbutils (scripts/deps.sh)"; then
        usbhid-dump -a "$bus:$devnum" -i 0 -e descriptor >/tmp/uhd.desc 2>/tmp/uhd.err
        status=$?
        vm_check "usbhid-dump descriptor: status 0 (got $status)" test "$status" -eq 0 ||
            vm_show "usbhid-dump errors" /tmp/uhd.err
        pendant-report-descriptor 8 >/tmp/desc.bin
        vm_check "usbhid-dump: the report descriptor, byte for byte" test \
            "$(sed -n '/DESCRIPTOR/,$p' /tmp/uhd.desc | sed 1d | tr -d ' \n' | tr 'A-F' 'a-f')" = \
            "$(hex_of /tmp/desc.bin | tr -d ' ')"
        from=$(($(wc -l <"$GADGET_LOG") + 1))
        # It does not see SIGINT while a transfer waits (with no time-out
        # it never ends); with one, it ends at the first transfer that times
        # out, saying so, with status 1: here 3 s after the last report.
        usbhid-dump -a "$bus:$devnum" -i 0 -e stream -t 3000 >/tmp/uhd.stream 2>/tmp/uhd.err &
        reader=$!
        # It has the interface when the HID driver is gone from it.
        vm_check "usbhid-dump stream: takes the interface" vm_wait 10 sh -c \
            "[ \"\$(basename \"\$(readlink '$dev:1.0/driver')\")\" = usbfs ]"
        send_jog 6
        vm_expect_exit "$reader" "usbhid-dump stream: ends at its stream time-out" 1 \
            "the last report" || vm_show "usbhid-dump errors" /tmp/uhd.err
        vm_check "usbhid-dump stream: ended by the time-out, nothing else" sh -c \
            "grep -q 'Interrupt transfer timed out' /tmp/uhd.err &&
             ! grep -v -e '^Starting dumping' -e '^with 3 second' -e '^\$' -e 'timed out' \
               -e '^No more interfaces' /tmp/uhd.err" || vm_show "usbhid-dump errors" /tmp/uhd.err
        gadget_sent_from "$from" >/tmp/uhd.logged
        awk '/STREAM/ { getline; sub(/^ /, ""); print tolower($0) }' /tmp/uhd.stream >/tmp/uhd.got
        vm_check "usbhid-dump stream: every report the gadget sent, in order" \
            cmp -s /tmp/uhd.logged /tmp/uhd.got
        vm_check "usbhid-dump stream: six of them" test "$(wc -l </tmp/uhd.logged)" -eq 6
        [ "$vm_nfail" -gt 0 ] && vm_show "usbhid-dump stream" /tmp/uhd.stream
        vm_check "usbhid-dump: the HID driver back" vm_wait 10 sh -c \
            "[ \"\$(basename \"\$(readlink '$dev:1.0/driver')\")\" = usbhid ]"
    fi

    # ---- libhidapi: the display frame as six feature reports, the wheel's
    # reports by hid_read
    if need pendant-hidapi "not built: the build host lacks libhidapi-dev (scripts/deps.sh)"; then
        n=$(gadget_count '^FRAME ')
        # shellcheck disable=SC2086 # one argument per byte
        pendant-hidapi fff0:0001 frame $EXPECTED_LAST_FRAME >/tmp/hidapi.out 2>&1
        status=$?
        vm_check "hidapi frame: status 0 (got $status)" test "$status" -eq 0 ||
            vm_show "pendant-hidapi" /tmp/hidapi.out
        vm_check "hidapi frame: six feature reports sent" grep -q '^SENT 6$' /tmp/hidapi.out
        vm_check "hidapi frame: the gadget took one frame" gadget_wait_lines '^FRAME ' $((n + 1))
        vm_check "hidapi frame: byte-exact" \
            test "$(grep '^FRAME ' "$GADGET_LOG" | tail -n 1)" = "FRAME $EXPECTED_LAST_FRAME"
        vm_check "hidapi frame: decodes to the jogged coordinates" \
            test "$(grep '^COORDS' "$GADGET_LOG" | tail -n 1)" = \
            "$(echo "$EXPECTED_COORDS" | tail -n 1)"
        vm_check "hidapi frame: no undecodable frame" test "$(gadget_count '^FRAME-BAD')" -eq 0

        from=$(($(wc -l <"$GADGET_LOG") + 1))
        pendant-hidapi fff0:0001 read 5 20 >/tmp/hidapi.out 2>&1 &
        reader=$!
        vm_check "hidapi read: opened" vm_wait 10 grep -q '^OPENED' /tmp/hidapi.out
        usleep 300000
        send_jog 5
        vm_expect_exit "$reader" "hidapi read: five reports" 0 "five reports"
        gadget_sent_from "$from" >/tmp/hidapi.logged
        sed -n 's/^REPORT //p' /tmp/hidapi.out >/tmp/hidapi.got
        vm_check "hidapi read: every report the gadget sent, in order" \
            cmp -s /tmp/hidapi.logged /tmp/hidapi.got
        [ "$vm_nfail" -gt 0 ] && vm_show "pendant-hidapi" /tmp/hidapi.out
    fi

    if [ "$vm_nfail" -gt 0 ]; then
        vm_show "gadget log" "$GADGET_LOG"
        dmesg | tail -n 30
    fi
    gadget_stop
}
