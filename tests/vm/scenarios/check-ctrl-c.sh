# shellcheck shell=dash disable=SC2034,SC2154 # sourced by guest/lib.sh, sharing its variables
# Ctrl+C in the middle of pendant-test --check: SIGINT while the axis step
# waits for position 1, after it saw off. The summary so far and no verdict,
# exit status 130, the record written (INTERRUPTED, with what was seen), and
# the interface given back to the kernel's HID driver: its hidraw node is
# made again.

has_hidraw() { [ -n "$(hidraw_of "$1")" ]; }

scenario_main() {
    local hidraw
    # As from a terminal: SIGINT at its default, so the tool's handler is
    # what takes it.
    PT_WRAP="/usr/local/bin/env --default-signal=INT"
    check_start
    local started=$?
    PT_WRAP=""
    [ "$started" -eq 0 ] || return
    printf 'y\ny\n' >&8
    vm_check "reaches the axis step" vm_wait 60 pt_has 'Turn the axis selector to off'
    echo "jog 0 0" >&7
    vm_check "the selector seen off" vm_wait 30 pt_has 'seen: off (code 0x00)'
    usleep 500000
    vm_check "waits for position 1" pt_alive
    kill -INT "$pt_pid"
    pt_expect_end "ended by Ctrl+C: exit status 130" 130 "SIGINT"

    vm_check "no verdict" pt_has '^Verdict: none, the check was ended with Ctrl+C$'
    vm_check "the summary so far: display PASS" pt_has '^  Display  *PASS$'
    vm_check "the summary so far: the axis step SKIPPED for Ctrl+C" \
        pt_has '^  Axis selector  *SKIPPED  *the check was ended with Ctrl+C$'
    vm_check "nothing on standard error" test ! -s "$PT_ERR"
    vm_check "the kernel's HID driver has the interface back" \
        vm_wait 10 sh -c "[ \"\$(basename \"\$(readlink '$dev:1.0/driver')\")\" = usbhid ]"
    vm_check "its hidraw node made again" vm_wait 10 has_hidraw "$dev:1.0"
    hidraw=$(hidraw_of "$dev:1.0")
    vm_check "and it exists" test -n "$hidraw" -a -c "/dev/$hidraw"

    if have_jq && vm_check "record written" test -s "$RECORD"; then
        record_check "verdict INTERRUPTED, exit status 130" \
            '.verdict == "INTERRUPTED" and .exitStatus == 130'
        record_check "connection and display PASS, the rest SKIPPED" \
            '[.steps[].result] == ["PASS","PASS","SKIPPED","SKIPPED","SKIPPED","SKIPPED"]'
        record_check "each step left says Ctrl+C" \
            '[.steps[2:][].why] == ["the check was ended with Ctrl+C","the check was ended with Ctrl+C","the check was ended with Ctrl+C","the check was ended with Ctrl+C"]'
        record_check "what the axis step saw is kept" '.steps[2].figures == {"codeOff":0}'
        record_check "an end time" '.ended | test("^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:]{8}Z$")'
    fi
    check_end
}
