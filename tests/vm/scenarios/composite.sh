# shellcheck shell=dash disable=SC2034,SC2154 # sourced by guest/lib.sh, sharing its variables
# A pendant with a second interface: pendant-test takes interface 0, as
# WinUSB's first interface handle is, whatever it is, and leaves the other
# interface and its driver alone.
#  - HID interface first, a second HID interface after it: the tool works
#    as with a plain pendant.
#  - A vendor-specific interface 0 before the HID one: the tool takes and
#    surveys interface 0 and reads its endpoint; the pendant's reports on
#    interface 1 go to the kernel's HID driver, not to the tool.

# other_untouched NAME IFACE HID: IFACE still has the HID driver and the
# very HID device it had.
other_untouched() {
    vm_check "$1: the other interface keeps its HID driver" \
        test "$(iface_driver "$2")" = usbhid -a "$(iface_hid "$2")" = "$3"
}

scenario_main() {
    local hid
    # ---- HID interface 0, HID interface 1
    vm_check "hid first: ready" pendant_ready --extra-interface after --extra-class hid
    vm_check "hid first: the HID driver has both" vm_wait 10 sh -c \
        "[ \"\$(basename \"\$(readlink '$dev:1.1/driver')\")\" = usbhid ]"
    hid=$(iface_hid "$dev:1.1")
    pt_start
    vm_check "hid first: opened" pt_opened
    survey_of "$dev" >"$EXPECTED"
    vm_check "hid first: survey of interface 0" pt_is_expected
    other_untouched "hid first, open" "$dev:1.1" "$hid"
    gadget_send 04 00 00 11 02 00 00 00
    vm_check "hid first: the report is read" vm_wait 10 pt_has 'Read from rk27: 4 0 0 11 2 0'
    vm_check "hid first: the display follows" vm_wait 10 grep -q \
        '^COORDS 0.0000 0.0000 0.0000 2.0000 0.0000 0.0000 WORDS' "$GADGET_LOG"
    pt_stop
    vm_check "hid first: interface 0 back to its HID driver" vm_wait 10 sh -c \
        "[ \"\$(basename \"\$(readlink '$dev:1.0/driver')\")\" = usbhid ]"
    other_untouched "hid first, closed" "$dev:1.1" "$hid"
    gadget_stop

    # ---- vendor-specific interface 0, the pendant's HID interface 1
    vm_check "vendor first: ready" pendant_ready --extra-interface before
    vm_check "vendor first: the HID driver has interface 1" vm_wait 10 sh -c \
        "[ \"\$(basename \"\$(readlink '$dev:1.1/driver')\")\" = usbhid ]"
    vm_check "vendor first: no driver on interface 0" test "$(iface_driver "$dev:1.0")" = none
    hid=$(iface_hid "$dev:1.1")
    pt_start
    vm_check "vendor first: opened" pt_opened
    survey_of "$dev" >"$EXPECTED"
    vm_check "vendor first: survey of interface 0" pt_is_expected
    vm_check "vendor first: it is the vendor-specific one" pt_has '#Interface Class   : 255'
    other_untouched "vendor first, open" "$dev:1.1" "$hid"
    gadget_send 04 00 00 11 02 00 00 00
    vm_check "vendor first: the pendant's report went to the HID driver" \
        gadget_wait_lines '^IN-SENT 04 00 00 11 02 00' 1
    usleep 500000
    vm_check "vendor first: the tool reads interface 0, so prints nothing" pt_is_expected
    pt_stop
    vm_check "vendor first: interface 0 free again" vm_wait 10 sh -c \
        "[ \"\$(basename \"\$(readlink '$dev:1.0/driver' 2>/dev/null)\")\" != usbfs ]"
    other_untouched "vendor first, closed" "$dev:1.1" "$hid"
    if [ "$vm_nfail" -gt 0 ]; then
        vm_show "pendant-test output" "$PT_OUT"
        vm_show "expected" "$EXPECTED"
        vm_show "gadget log" "$GADGET_LOG"
    fi
}
