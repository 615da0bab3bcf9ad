# shellcheck shell=dash disable=SC2034,SC2154,SC2016 # sourced by guest/lib.sh, sharing its variables; jq's $ in quotes
# The check's USB and HID rules step (pendant-test --check --no-person)
# against pendants that are not ours, and the kernel's own verdict beside
# it:
# - the kernel's HID gadget function with the pendant's descriptor, played
#   the selector and the wheel: every rule passes, and hidraw delivers its
#   8-byte reports;
# - the same function sending 6-byte reports where the descriptor declares
#   8: the check fails "Reports as sent", and hidraw delivers none of them,
#   though the host took each (the USB monitor sees it);
# - the same function with a descriptor whose collection never ends: the
#   check fails "Report descriptor", and the kernel's HID core refuses it;
# - pendant-gadget leaving SET_IDLE or GET_REPORT unanswered, or declaring
#   a report descriptor of 40 bytes and an interval of 0: the check fails
#   the rule, naming the request or the numbers, and the kernel's usbhid
#   and USB core meet the same faults.

TABLE=/vm/host_rules_descriptors.txt
RULE_TITLES="Device descriptor|HID descriptor|Report descriptor|Pendant reports|Interrupt IN endpoint|Class requests|Reports as sent"

# The kernel's log since `dmesg -c`, without times.
kernel_log() { dmesg | sed 's/^\[[^]]*\] *//'; }

# rule_printed TITLE RESULT [WHY]: the check printed the rule's line, in
# its step and again in the summary.
rule_printed() {
    local line
    if [ -n "${3:-}" ]; then
        line=$(printf '    %-24s %-8s %s' "$1" "$2" "$3")
    else
        line=$(printf '    %-24s %s' "$1" "$2")
    fi
    [ "$(grep -cxF -- "$line" "$PT_OUT")" -eq 2 ]
}

# rules_step_printed RESULT [WHY]: the step's line in the summary.
rules_step_printed() {
    if [ -n "${2:-}" ]; then
        grep -qxF -- "$(printf '  %-26s %-8s %s' 'USB and HID rules' "$1" "$2")" "$PT_OUT"
    else
        grep -qxF -- "$(printf '  %-26s %s' 'USB and HID rules' "$1")" "$PT_OUT"
    fi
}

# rules_record_check NAME FILTER: FILTER of the record's rules step (jq).
rules_record_check() {
    record_check "$1" ".steps[5] as \$s | \$s.name == \"rules\" and ($2)"
}

# The record's rules in order, with their names.
RULE_NAMES='[.steps[5].rules[].name] == ["device-descriptor","hid-descriptor","report-descriptor","pendant-reports","interrupt-in","class-requests","reports-as-sent"]'

# run_check NAME STATUS [pendant-test options]: pendant-test --check
# --no-person, its record to $RECORD, until its verdict and exit STATUS
# (the pendant is there already).
run_check() {
    local name="$1" status="$2"
    shift 2
    rm -f "$RECORD"
    PT_ARGS="--check --no-person --report $RECORD $*"
    pt_start
    PT_ARGS=""
    vm_wait 240 pt_has '^Verdict:' || true
    pt_expect_end "$name: exit status $status" "$status" "the verdict"
}

# check_failed NAME: what the tool printed and recorded, after a failure.
check_failed() {
    [ "$vm_nfail" -gt 0 ] || return 0
    vm_show "$1: pendant-test output" "$PT_OUT"
    vm_show "$1: pendant-test errors" "$PT_ERR"
    vm_show "$1: record" "$RECORD"
    kernel_log | tail -n 30
}

# hidraw_read IFACE FILE SECONDS HH...: with a reader on the interface's
# hidraw node, the kernel's HID function sends the report; FILE gets what
# hidraw delivered within SECONDS (one read).
hidraw_read() {
    local node file="$2" seconds="$3" reader
    node="/dev/$(hidraw_of "$1")"
    shift 3
    rm -f "$file"
    dd if="$node" of="$file" bs=64 count=1 2>/dev/null &
    reader=$!
    usleep 300000
    write_bytes /dev/hidg0 "$@"
    vm_wait "$seconds" sh -c "! kill -0 $reader 2>/dev/null"
    kill "$reader" 2>/dev/null
    wait "$reader" 2>/dev/null
    touch "$file"
}

# ---- the kernel's HID gadget function

# khid_pendant DESCRIPTOR-FILE REPORT-LENGTH: it plugged in, with the rule
# that tags it for pendant-test; $dev and $iface its host side.
khid_pendant() {
    dmesg -c >/dev/null
    if ! khid_create "$1" "$2"; then
        vm_fail "kernel HID pendant plugged in" "see above"
        khid_remove
        return 1
    fi
    dev=$(usb_host_dir "$KHID_IDS")
    iface="$dev:1.0"
}

khid_good() {
    local got
    khid_pendant "" 8 || return
    vm_check "good: the HID driver has it" vm_wait 10 sh -c "test -n \"\$(ls '$iface'/0003:*/hidraw 2>/dev/null)\""
    hidraw_read "$iface" /tmp/hidraw-8.bin 5 04 00 00 11 01 00 00 00
    got=$(hex_of /tmp/hidraw-8.bin)
    vm_check "good: hidraw delivers an 8-byte report as sent ($got)" \
        test "$got" = "04 00 00 11 01 00 00 00"

    khid_play
    run_check good 0 --step-timeout 60
    khid_play_stop
    vm_check "good: verdict PASS, display and unplug skipped" \
        pt_has '^Verdict: PASS (4 passed, 2 skipped)$'
    vm_check "good: the rules step printed" pt_has '^\[6/6\] USB and HID rules$'
    vm_check "good: the rules step passes" rules_step_printed PASS
    echo "$RULE_TITLES" | tr '|' '\n' >/tmp/rule-titles
    while read -r title; do
        vm_check "good: $title: PASS" rule_printed "$title" PASS
    done </tmp/rule-titles
    if have_jq && vm_check "good: record written" test -s "$RECORD"; then
        rules_record_check "good: the seven rules in order" "$RULE_NAMES"
        rules_record_check "good: the step and every rule PASS" \
            '$s.result == "PASS" and $s.why == "" and ([$s.rules[] | .result] | unique) == ["PASS"]'
        rules_record_check "good: high speed, 8-byte reports read, none of another length" \
            '$s.figures | .speed == 3 and .reportsRead > 0 and .reportsOfOtherLength == 0'
        rules_record_check "good: the descriptor's 31 bytes declared and given" \
            '$s.figures | .reportDescriptorBytes == 31 and .reportDescriptorDeclared == 31'
    fi
    check_failed good
    khid_remove
}

khid_short_reports() {
    local bus addr got words lengths
    khid_pendant "" 6 || return
    vm_check "6-byte: the HID driver has it" vm_wait 10 sh -c "test -n \"\$(ls '$iface'/0003:*/hidraw 2>/dev/null)\""
    bus=$(cat "$dev/busnum")
    addr=$(printf '%d:%03d' "$bus" "$(cat "$dev/devnum")")
    usbmon_start "$bus" /tmp/short.mon
    hidraw_read "$iface" /tmp/hidraw-6.bin 3 04 00 00 11 01 00
    usleep 300000
    usbmon_stop
    words=$(kernel_log | grep -E '^(usbhid|hid-generic)' | grep -v 'hidraw[0-9]*: USB HID' |
        sed 's/^[^ ]* [^ ]*: //' | tr '\n' ';' | sed 's/;$//; s/;/; /g')
    vm_figure "kernel on a 6-byte report where 8 are declared: ${words:-nothing in its log}"
    lengths=$(usbmon_lengths /tmp/short.mon C "Ii:$addr:1" | tr '\n' ' ')
    vm_check "6-byte: the host took the 6-byte report (usbmon: $lengths)" \
        test -n "$(echo "$lengths" | tr ' ' '\n' | grep -x 6)"
    got=$(hex_of /tmp/hidraw-6.bin)
    vm_check "6-byte: hidraw delivers nothing of it within 3 s (${got:-nothing})" test -z "$got"

    khid_play 6
    run_check 6-byte 1 --step-timeout 60
    khid_play_stop
    vm_check "6-byte: the selector and the wheel pass on 6-byte reports" \
        sh -c "grep -qxF \"\$(printf '  %-26s %s' 'Axis selector' PASS)\" '$PT_OUT' &&
            grep -qxF \"\$(printf '  %-26s %s' 'Wheel' PASS)\" '$PT_OUT'"
    vm_check "6-byte: the rules step fails in Reports as sent alone" \
        rules_step_printed FAIL "Reports as sent"
    vm_check "6-byte: verdict names it" \
        pt_has '^Verdict: FAIL (USB and HID rules \[Reports as sent\])$'
    got=$(sed -n 's/^    Reports as sent  *FAIL  *//p' "$PT_OUT" | head -n 1)
    vm_check "6-byte: the finding names 6 and 8 bytes ($got)" sh -c \
        'echo "$1" | grep -q "^\([0-9]*\) of \1 reports were 6 bytes where the descriptor declares 8: "' \
        - "$got"
    if have_jq && vm_check "6-byte: record written" test -s "$RECORD"; then
        rules_record_check "6-byte: the seven rules in order" "$RULE_NAMES"
        rules_record_check "6-byte: the step fails, naming Reports as sent" \
            '$s.result == "FAIL" and $s.why == "Reports as sent"'
        rules_record_check "6-byte: Reports as sent fails with the console's finding" \
            "\$s.rules[6].result == \"FAIL\" and \$s.rules[6].why == \"$got\""
        rules_record_check "6-byte: every report read was of another length" \
            '$s.figures | .reportsRead > 0 and .reportsOfOtherLength == .reportsRead'
    fi
    check_failed 6-byte
    khid_remove
}

khid_open_collection() {
    local hex why="at the end: 1 collection left open: Linux's HID core refuses the descriptor"
    hex=$(awk -F'|' '{ c = $1; gsub(/^ +| +$/, "", c) } c == "1 collection left open" { print $4 }' "$TABLE")
    vm_check "open collection: the table's row" test -n "$hex"
    # shellcheck disable=SC2086 # one word per byte
    write_bytes /tmp/open.desc $hex
    khid_pendant /tmp/open.desc 8 || return
    vm_check "open collection: the kernel's HID core refuses it (\"unbalanced collection at end of report description\")" \
        vm_wait 10 sh -c "dmesg | grep -q 'unbalanced collection at end of report description'"
    vm_check "open collection: no hidraw node" test -z "$(hidraw_of "$iface")"
    run_check "open collection" 1 --step-timeout 1
    vm_check "open collection: Report descriptor fails with the finding" \
        rule_printed "Report descriptor" FAIL "$why"
    if have_jq && vm_check "open collection: record written" test -s "$RECORD"; then
        rules_record_check "open collection: the record has the finding" \
            "\$s.result == \"FAIL\" and \$s.rules[2].result == \"FAIL\" and \$s.rules[2].why == \"$why\""
    fi
    check_failed "open collection"
    khid_remove
}

# ---- pendant-gadget's faults

# gadget_fault NAME STATUS [pendant-gadget options]: the gadget pendant with
# those options plugged in and checked, nothing played (a short wait).
gadget_fault() {
    local name="$1"
    shift
    dmesg -c >/dev/null
    if ! vm_check "$name: ready" pendant_ready "$@"; then
        gadget_stop >/dev/null 2>&1
        return 1
    fi
    iface="$dev:1.0"
    run_check "$name" 1 --step-timeout 1
}

gadget_faults() {
    local why words
    # SET_IDLE: usbhid sends it on binding, and reads the report
    # descriptor after giving up on it.
    if gadget_fault "unanswered SET_IDLE" --unanswered set-idle; then
        why="SET_IDLE left unanswered until the host gave up: Linux's usbhid and Windows' HID driver send it whenever the pendant is plugged in"
        vm_check "unanswered SET_IDLE: Class requests fails naming it" \
            rule_printed "Class requests" FAIL "$why"
        vm_check "unanswered SET_IDLE: the rules step fails in Class requests alone" \
            rules_step_printed FAIL "Class requests"
        record_check "unanswered SET_IDLE: in the record" \
            ".steps[5].rules[5] == {\"name\":\"class-requests\",\"title\":\"Class requests\",\"result\":\"FAIL\",\"why\":\"$why\"}"
        vm_check "unanswered SET_IDLE: the gadget left them unanswered (usbhid's and the check's)" \
            test "$(gadget_count '^UNANSWERED 21 0a 00 00 00 00 00 00')" -ge 2
        vm_check "unanswered SET_IDLE: FunctionFS cancelled them, the gadget served on" \
            test "$(gadget_count '^SETUP-CANCELLED')" -ge 1
        # Given back to usbhid at the end of the check: another SET_IDLE
        # left, and the report descriptor read after it.
        vm_check "unanswered SET_IDLE: usbhid binds it again after the check, with a hidraw node" \
            vm_wait 20 sh -c "test -n \"\$(ls '$iface'/0003:*/hidraw 2>/dev/null)\""
        check_failed "unanswered SET_IDLE"
        gadget_stop
    fi
    if gadget_fault "unanswered GET_REPORT" --unanswered get-report; then
        why="GET_REPORT (feature 6) left unanswered until the host gave up: a host that reads the display's report waits that long each time"
        # SET_IDLE comes next and is answered: the gadget served on.
        vm_check "unanswered GET_REPORT: Class requests fails naming it alone" \
            rule_printed "Class requests" FAIL "$why"
        record_check "unanswered GET_REPORT: in the record" \
            ".steps[5].rules[5].why == \"$why\""
        vm_check "unanswered GET_REPORT: the gadget left it unanswered" \
            test "$(gadget_count '^UNANSWERED a1 01 06 03')" -ge 1
        vm_check "unanswered GET_REPORT: FunctionFS cancelled it, the gadget served on" \
            test "$(gadget_count '^SETUP-CANCELLED')" -ge 1
        check_failed "unanswered GET_REPORT"
        gadget_stop
    fi
    if gadget_fault "length and interval" --hid-length 40 --interval 0; then
        why="the HID descriptor declares a report descriptor of 40 bytes, GET_DESCRIPTOR gave 31: hosts read 40 and misread or refuse it"
        vm_check "length and interval: HID descriptor fails naming 40 and 31" \
            rule_printed "HID descriptor" FAIL "$why"
        why="bInterval 0 at high speed (1 to 16): hosts substitute an interval of their own"
        vm_check "length and interval: Interrupt IN endpoint fails naming the interval" \
            rule_printed "Interrupt IN endpoint" FAIL "$why"
        vm_check "length and interval: the rules step fails in those two alone" \
            rules_step_printed FAIL "HID descriptor, Interrupt IN endpoint"
        # The kernel's USB core, a judge of its own, substitutes one.
        words=$(kernel_log | grep -o 'has an invalid bInterval 0, changing to [0-9]*' | head -n 1)
        vm_check "length and interval: the kernel's USB core says so too (\"$words\")" \
            test -n "$words"
        record_check "length and interval: declared 40, given 31, interval 0" \
            '.steps[5].figures | .reportDescriptorDeclared == 40 and .reportDescriptorBytes == 31 and .inInterval == 0'
        # What usbhid makes of the 9 bytes it asked for beyond the 31: a
        # figure, since they are whatever its buffer held.
        vm_figure "usbhid with a report descriptor declared 40 bytes and 31 given: $(kernel_log |
            grep -E '^(usbhid|hid-generic)' | sed 's/^[^ ]* [^ ]*: //' | tr '\n' ';' | sed 's/;$//; s/;/; /g')"
        check_failed "length and interval"
        gadget_stop
    fi
}

scenario_main() {
    local dev iface
    vm_check "rule written" pendant-test-udev-rule "$KHID_IDS" /etc/udev/rules.d/71-khid.rules
    udevadm control --reload
    have_jq
    khid_good
    khid_short_reports
    khid_open_collection
    gadget_faults
}
