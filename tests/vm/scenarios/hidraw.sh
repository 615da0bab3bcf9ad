# shellcheck shell=dash disable=SC2034,SC2154 # sourced by guest/lib.sh, sharing its variables
# pendant-test --hid: the pendant reached through the kernel's HID driver
# and its hidraw node, as it comes out of the box, found among the HID
# devices by its reports. Two pendants in turn: the kernel's own HID gadget
# function, whose USB device no rule tags with the interface GUID (its rule
# is the hidraw line alone), and pendant-gadget with the whole rule. For
# each: the HID calls of the platform contract, the tool's survey, trace
# lines and display frames, the HID driver bound throughout, and the check
# without a person; pendant-gadget is also pulled out under the tool.
# Plain pendant-test, which looks for the GUID, finds no pendant on the HID
# driver alone and says what does.

# usbhid_holds IFACE: the kernel's HID driver is bound to the interface
# (a sysfs directory such as .../1-1:1.0).
usbhid_holds() { test -e "/sys/bus/usb/drivers/usbhid/$(basename "$1")"; }

# hidraw_tagged IFACE: the udev rule's hidraw line tagged the interface's
# hidraw node for the seat's user.
hidraw_tagged() {
    udevadm info -q property -n "/dev/$(hidraw_of "$1")" | grep -q '^TAGS=.*:uaccess:'
}

# hid_contract NAME: the platform contract's HID calls on the one pendant
# there is, present and idle.
hid_contract() {
    if hid_contract_linux --gtest_filter='HidPendant.*' >/tmp/hid-contract.out 2>&1; then
        vm_pass "$1: HID contract with the pendant"
    else
        vm_fail "$1: HID contract with the pendant" \
            "$(grep -E 'Failure|FAILED|error' /tmp/hid-contract.out | head -n 12)"
        vm_show "HID contract output" /tmp/hid-contract.out
    fi
}

# hid_jog NAME DEV SEND FRAMES: pendant-test --hid on the pendant DEV plays
# $JOG, each report sent by the command SEND (given its bytes), and, after
# each move, waits until the command FRAMES counts one more frame taken by
# the pendant; $jog_frames is then how many. The survey and one trace line
# per report exactly; the HID driver bound to the interface, the very HID
# device it had, while the tool holds the pendant.
jog_frames=0
at_least() { [ "$($1)" -ge "$2" ]; }
hid_jog() {
    local name="$1" dev="$2" send="$3" count="$4" hid sent=0 base step report t0
    hid=$(iface_hid "$dev:1.0")
    base=$($count)
    jog_frames=0
    PT_ARGS="--hid"
    pt_start
    PT_ARGS=""
    if vm_wait 30 pt_has 'Finished device query'; then
        usleep 300000
        hid_survey_of "$dev" >"$EXPECTED"
        vm_check "$name: the HID survey is exact" pt_is_expected ||
            vm_show "pendant-test output" "$PT_OUT"
    else
        vm_fail "$name: opened" "no survey within 30 s"
    fi
    vm_check "$name: the HID driver keeps the interface while the tool has the pendant" \
        usbhid_holds "$dev:1.0"
    for step in $JOG; do
        report=$(jog_report "$step" 8)
        # shellcheck disable=SC2086 # one word per byte
        $send $report
        sent=$((sent + 1))
        jog_frames=$((jog_frames + $(jog_moves "$step")))
        # shellcheck disable=SC2086 # the same
        trace_line_of $report >>"$EXPECTED"
        if ! vm_wait 10 sh -c "[ \$(grep -c 'Read from rk27:' '$PT_OUT') -ge $sent ]"; then
            vm_fail "$name: report $sent read by the tool" "no trace line within 10 s"
            break
        fi
        if ! vm_wait 10 at_least "$count" $((base + jog_frames)); then
            vm_fail "$name: frame $jog_frames after report $sent" "not taken within 10 s"
            break
        fi
    done
    usleep 500000
    vm_check "$name: one trace line per report, exact" pt_is_expected
    # Idle with the pendant there: one poll(2) a turn. A figure, as in
    # linux-usb's unplugged case, which a spinning loop would put near 300.
    t0=$(pt_ticks)
    sleep 3
    vm_figure "hidraw-$name-idle-cpu-ticks-per-3s" $(($(pt_ticks) - t0))
    vm_check "$name: the HID driver still has the interface, the same HID device" \
        test "$(iface_hid "$dev:1.0")" = "$hid" -a "$(iface_driver "$dev:1.0")" = usbhid
    vm_check "$name: nothing on standard error" test ! -s "$PT_ERR"
    [ "$vm_nfail" -gt 0 ] && vm_show "pendant-test output" "$PT_OUT"
    pt_stop
}

# hid_check NAME: pendant-test --hid --check --no-person while the pendant
# plays the selector and the wheel: every step it judges passes.
hid_check() {
    PT_ARGS="--hid --check --no-person --step-timeout 60"
    pt_start
    PT_ARGS=""
    vm_wait 200 pt_has '^Verdict:' || true
    pt_expect_end "$1: --hid --check --no-person: exit status 0" 0 "the verdict"
    vm_check "$1: --hid --check --no-person: PASS" pt_has '^Verdict: PASS'
    [ "$vm_nfail" -gt 0 ] && vm_show "pendant-test --check output" "$PT_OUT"
}

# ---- the kernel's HID function, playing with khid_play (guest/lib.sh)
khid_send() { write_bytes /dev/hidg0 "$@"; }
# Frames the function took: SET_REPORTs of feature report 6 in the USB
# monitor's record, six to a frame.
khid_frames() { echo $(($(grep -c " S Co:$khid_addr:0 s 21 09 0306 " "$khid_mon") / 6)); }

kernel_hid_pendant() {
    local dev reader sets
    # The rule's hidraw line alone: the USB device carries no GUID.
    pendant-test-udev-rule "$KHID_IDS" | grep '^SUBSYSTEM=="hidraw"' \
        >/etc/udev/rules.d/71-khid-hidraw.rules
    vm_check "khid: the hidraw line alone" \
        test "$(grep -c . /etc/udev/rules.d/71-khid-hidraw.rules)" -eq 1
    udevadm control --reload
    if ! khid_create; then
        vm_fail "khid: plugged in" "see above"
        khid_remove
        return
    fi
    dev=$(usb_host_dir "$KHID_IDS")
    vm_check "khid: no interface GUID on the USB device" sh -c \
        "! udevadm info -q property -p '$dev' | grep -q '^DEVICE_INTERFACE_GUIDS='"
    vm_check "khid: the HID driver has it" vm_wait 10 usbhid_holds "$dev:1.0"
    vm_check "khid: its hidraw node tagged uaccess" hidraw_tagged "$dev:1.0"

    pt_check_failure "khid: plain pendant-test" \
        'Device not connected or driver not installed\nnothing to do...\n' "" \
        "pendant-test: a pendant is on the system's HID driver; pendant-test --hid reaches it\n"

    hid_contract khid

    khid_addr=$(printf '%d:%03d' "$(cat "$dev/busnum")" "$(cat "$dev/devnum")")
    khid_mon=/tmp/khid-hidraw.mon
    usbmon_start "$(cat "$dev/busnum")" "$khid_mon" || return
    # What the function hands over of the SET_REPORTs, read after read.
    dd if=/dev/hidg0 of=/tmp/khid.setreports bs=64 2>/dev/null &
    reader=$!
    hid_jog khid "$dev" khid_send khid_frames
    usbmon_stop
    kill "$reader" 2>/dev/null
    wait "$reader" 2>/dev/null
    usbmon_data "$khid_mon" S "Co:$khid_addr:0" "21 09 0306" >/tmp/khid.sets
    sets=$(wc -l </tmp/khid.sets)
    vm_check "khid: one frame (six feature reports of id 6) per move: $jog_frames frames ($sets reports)" \
        test "$sets" -eq $((jog_frames * 6))
    vm_check "khid: the last frame, byte for byte" \
        test "$(tail -n 6 /tmp/khid.sets | tr '\n' ' ' | sed 's/ $//')" = "$EXPECTED_LAST_FRAME"
    vm_check "khid: the last report /dev/hidg0 handed over is the frame's last" test \
        "$(od -An -v -tx1 -w8 /tmp/khid.setreports | sed 's/^ //' | tail -n 1)" = \
        "$(tail -n 1 /tmp/khid.sets)"

    khid_play
    hid_check khid
    khid_play_stop
    khid_remove
    vm_check "khid: taken down" test ! -e "$KHID"
}

# hid_unplug: pendant-gadget pulled out while pendant-test --hid has it
# (its hidraw node then polls as hung up): the tool stays, prints nothing
# more, and is quiet (the CPU it uses is a figure, as in linux-usb); plugged
# in again, the HID driver has it.
hid_unplug() {
    local lines t0
    PT_ARGS="--hid"
    pt_start
    PT_ARGS=""
    vm_wait 30 pt_has 'Finished device query' || vm_fail "gadget: unplug: opened" "no survey"
    usleep 300000
    lines=$(wc -c <"$PT_OUT")
    vm_check "gadget: unplug: pulled out" gadget_unbind
    vm_wait 10 sh -c "! test -e '$dev'" || vm_fail "gadget: unplug: gone" "$dev still there"
    sleep 1
    t0=$(pt_ticks)
    sleep 3
    vm_figure hidraw-unplugged-cpu-ticks-per-3s $(($(pt_ticks) - t0))
    vm_check "gadget: unplug: the tool stays" pt_alive
    vm_check "gadget: unplug: nothing more printed" test "$(wc -c <"$PT_OUT")" -eq "$lines"
    vm_check "gadget: unplug: nothing on standard error" test ! -s "$PT_ERR"
    pt_stop
    vm_check "gadget: unplug: plugged in again" gadget_bind
    dev=$(gadget_host_dir)
    vm_check "gadget: unplug: the HID driver has it again" vm_wait 10 usbhid_holds "$dev:1.0"
}

# ---- pendant-gadget, with the whole rule
gadget_frames() { gadget_count '^FRAME '; }

gadget_pendant() {
    vm_check "gadget: ready" pendant_ready || return
    vm_check "gadget: the HID driver has it" vm_wait 10 usbhid_holds "$dev:1.0"
    vm_check "gadget: its hidraw node tagged uaccess" hidraw_tagged "$dev:1.0"
    hid_contract gadget
    hid_jog gadget "$dev" gadget_send gadget_frames
    vm_check "gadget: the frames decode to the jogged coordinates" \
        test "$(grep '^COORDS' "$GADGET_LOG" | tail -n 7)" = "$EXPECTED_COORDS"
    vm_check "gadget: the last frame, byte for byte" \
        test "$(grep '^FRAME ' "$GADGET_LOG" | tail -n 1)" = "FRAME $EXPECTED_LAST_FRAME"
    vm_check "gadget: no undecodable frame" test "$(gadget_count '^FRAME-BAD')" -eq 0
    hid_unplug
    gadget_play "$GOOD_ROUND" "$GOOD_ROUND_REPORTS"
    hid_check gadget
    gadget_play_stop
    [ "$vm_nfail" -gt 0 ] && vm_show "gadget log" "$GADGET_LOG"
    gadget_stop
}

scenario_main() {
    kernel_hid_pendant
    gadget_pendant
}
