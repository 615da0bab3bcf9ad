# shellcheck shell=dash disable=SC2034,SC2154 # sourced by guest/lib.sh, sharing its variables
# pendant-test on the kernel's own USB stack: found through the udev rule,
# opened through usbfs, driven by the gadget pendant over dummy_hcd.

VID=0xfff0
PID=0x0001
GUID='{136917CC-8699-43EC-B5A9-8926D7165DE7}'

# The jog sequence and what it must give: JOG, EXPECTED_COORDS and
# EXPECTED_LAST_FRAME (guest/lib.sh).

expected_survey() {
    printf '\nCreating and sending device query...'
    printf '\n#Descriptor type   : 4'
    printf '\n#Interface Class   : 3'
    printf '\n#Interface Number  : 0'
    printf '\n#Interface Protocol: 0'
    printf '\n#Interface SubClass: 0'
    printf '\n#iInterface        : %d' "$1"
    printf '\n#Endpoints Found   : 1'
    printf '\nFinished device query.'
    printf '\n\nCreating and sending endpoint queries...'
    printf '\n    Endpoint 0:\n      Type: Interrupt\n      PipeID: 129'
    printf '\n      PipeInterruptFirst set to this pipe.'
    printf '\n      MaxPacket: 8'
    printf '\nEndpoint query complete.'
}


scenario_main() {
    local dev node frames sent axis delta moves padded t0 t1 lines_before oc_pid capture_pid
    local log_from

    # The driver package of Linux: the rule, written by our own command.
    vm_check "rule written" pendant-test-udev-rule fff0:0001 /etc/udev/rules.d/70-pendant-test.rules
    udevadm control --reload

    pt_check_failure "no device" 'Device not connected or driver not installed\nnothing to do...\n'

    # A pendant that no rule tags is not found, as on Windows without the
    # driver package; sitting on the HID driver, it is said on standard
    # error what reaches it.
    vm_check "gadget ready" gadget_create "$VID" 0x0002
    vm_check "untagged gadget enumerated" gadget_bind
    pt_check_failure "untagged device" 'Device not connected or driver not installed\nnothing to do...\n' \
        "" "pendant-test: a pendant is on the system's HID driver; pendant-test --hid reaches it\n"
    # Ended by SIGTERM, the gadget program takes its gadget down first.
    gadget_stop
    vm_check "gadget program ended by SIGTERM" test "$?" -eq 143
    vm_check "gadget taken down" gadget_gone
    vm_check "untagged gadget gone from the host" vm_wait 10 sh -c \
        '! grep -lx fff0 /sys/bus/usb/devices/*/idVendor >/dev/null 2>&1'
    vm_check "gadget ready again" gadget_create "$VID" "$PID"
    vm_check "gadget enumerated" gadget_bind
    dev=$(gadget_host_dir)
    node=/dev/bus/usb/$(printf %03d "$(cat "$dev/busnum")")/$(printf %03d "$(cat "$dev/devnum")")
    vm_check "rule tags the pendant with the interface GUID" \
        sh -c "udevadm info -q property -p '$dev' | grep -qx 'DEVICE_INTERFACE_GUIDS=$GUID'"
    vm_check "node is not world-writable" sh -c "[ \$(( 0$(stat -c %a "$node") & 2 )) -eq 0 ]"
    vm_check "kernel HID driver holds the interface" vm_wait 10 sh -c \
        "[ \"\$(basename \"\$(readlink '$dev:1.0/driver')\")\" = usbhid ]"

    # Present, but the unprivileged user may not open the node.
    # The advice goes to standard error, so standard output stays the
    # Windows program's.
    pt_check_failure "no access" \
        "Failed looking for device, HRESULT 0x80070005\nnothing to do...\n" tester \
        "Linux: this user may not open the pendant's device node $node. Its udev rule gives access to the user logged in at the local seat: log in there, or give a group access as docs/linux.md (Running without root) describes.\n"

    # Found and opened: the survey, then a trace line per report and a frame
    # per move. The kernel's USB monitor records it all for the dissector,
    # beside the gadget's own log of what it received and sent.
    usbmon-pcap "$(cat "$dev/busnum")" /tmp/capture.pcap >/tmp/capture.out 2>&1 &
    capture_pid=$!
    vm_check "capture started" vm_wait 10 grep -q '^CAPTURING' /tmp/capture.out
    log_from=$(($(wc -l <"$GADGET_LOG") + 1))
    pt_start
    if vm_wait 30 pt_has 'Endpoint query complete'; then
        expected_survey "$(descriptor_byte "$dev" 35)" >"$EXPECTED"
        vm_check "survey report is exact" pt_is_expected
    else
        vm_fail "pendant opened" "no survey within 30 s"
    fi
    vm_check "tool took the interface from the kernel driver" vm_wait 10 sh -c \
        "[ \"\$(basename \"\$(readlink '$dev:1.0/driver')\")\" = usbfs ]"

    frames=0
    sent=0
    for step in $JOG; do
        axis=${step%%:*}
        delta=${step#*:}
        moves=${delta#*:}
        delta=${delta%%:*}
        moves=${moves%%:*}
        # At the size the report descriptor declares: the capture check
        # flags any other (the report-sizes scenario sends short reports
        # declared short).
        gadget_send 04 00 00 "$axis" "$delta" 00 00 00
        sent=$((sent + 1))
        frames=$((frames + moves))
        printf 'Read from rk27: 4 0 0 %x %x 0 \n' "0x$axis" "0x$delta" >>"$EXPECTED"
        if ! vm_wait 10 sh -c "[ \$(grep -c '^IN-SENT' '$GADGET_LOG') -ge $sent ]"; then
            vm_fail "report $sent read by the host" "not read within 10 s"
            break
        fi
        if ! vm_wait 10 sh -c "[ \$(grep -c '^FRAME ' '$GADGET_LOG') -ge $frames ]"; then
            vm_fail "frame $frames after report $sent" "not received within 10 s"
            break
        fi
    done
    usleep 500000
    vm_check "trace lines are exact" pt_is_expected
    vm_check "one frame per move, none for reports that move nothing" \
        test "$(grep -c '^FRAME ' "$GADGET_LOG")" -eq "$frames"
    vm_check "frames decode to the jogged coordinates" \
        test "$(grep '^COORDS' "$GADGET_LOG")" = "$EXPECTED_COORDS"
    vm_check "last frame is byte-exact" \
        test "$(grep '^FRAME ' "$GADGET_LOG" | tail -n 1)" = "FRAME $EXPECTED_LAST_FRAME"
    vm_check "no undecodable frame" test "$(grep -c '^FRAME-BAD' "$GADGET_LOG")" -eq 0
    kill -INT "$capture_pid"
    wait "$capture_pid"
    vm_check "capture complete" grep -q '^CAPTURED [1-9]' /tmp/capture.out
    vm_export /tmp/capture.pcap capture.pcap
    tail -n "+$log_from" "$GADGET_LOG" >/tmp/capture-gadget.log
    vm_export /tmp/capture-gadget.log capture-gadget.log
    echo "$(cat "$dev/busnum") $(cat "$dev/devnum")" >/tmp/capture-device
    vm_export /tmp/capture-device capture-device

    # Unplugged while it runs: it stays, quietly, without spinning.
    lines_before=$(pt_lines)
    gadget_unbind
    vm_wait 10 sh -c "! test -e '$dev'" || vm_fail "gadget unplugged" "$dev still there"
    sleep 1
    t0=$(pt_ticks)
    sleep 3
    t1=$(pt_ticks)
    vm_check "tool stays alive after the unplug" pt_alive
    vm_figure unplugged-cpu-ticks-per-3s $((t1 - t0))
    # 100 ticks a second: a spinning loop would use about 300 here.
    vm_check "tool does not spin while unplugged (used $((t1 - t0)) of 300 ticks)" \
        test $((t1 - t0)) -le 30
    vm_check "nothing printed after the unplug" test "$(pt_lines)" -eq "$lines_before"
    pt_stop

    # Plugged in again: closing the device gives the interface back to the
    # kernel driver that opening took it from.
    vm_check "gadget plugged in again" gadget_bind
    dev=$(gadget_host_dir)
    vm_check "kernel HID driver holds the new interface" vm_wait 10 sh -c \
        "[ \"\$(basename \"\$(readlink '$dev:1.0/driver')\")\" = usbhid ]"
    pendant-open-close 2 >/tmp/open-close.out 2>&1 &
    oc_pid=$!
    vm_wait 20 grep -q '^OPEN' /tmp/open-close.out || true
    vm_check "opened again" grep -q '^OPEN 0x0$' /tmp/open-close.out
    vm_check "kernel driver detached while open" sh -c \
        "[ \"\$(basename \"\$(readlink '$dev:1.0/driver')\")\" = usbfs ]"
    wait "$oc_pid"
    vm_check "closed" grep -q '^CLOSED$' /tmp/open-close.out
    vm_check "kernel HID driver holds the interface again after closing" vm_wait 10 sh -c \
        "[ \"\$(basename \"\$(readlink '$dev:1.0/driver')\")\" = usbhid ]"

    # The platform contract's device cases, on this backend and this pendant
    # (present and idle; the contract test takes it and gives it back).
    if platform_contract_linux --gtest_filter='Pendant.*' >/tmp/contract.out 2>&1; then
        vm_pass "platform contract with a pendant"
    else
        vm_fail "platform contract with a pendant" "$(grep -E 'Failure|FAILED|error' /tmp/contract.out | head -n 12)"
        vm_show "contract test output" /tmp/contract.out
    fi
    vm_check "kernel HID driver holds the interface after the contract test" vm_wait 10 sh -c \
        "[ \"\$(basename \"\$(readlink '$dev:1.0/driver')\")\" = usbhid ]"

    if [ "$vm_nfail" -gt 0 ]; then
        vm_show "pendant-test output" "$PT_OUT"
        vm_show "gadget log" "$GADGET_LOG"
        dmesg | tail -n 40
    fi
}
