# shellcheck shell=dash disable=SC2034,SC2154 # sourced by guest/lib.sh, sharing its variables
# pendant-test --check against a good pendant: pendant-gadget plays the
# selector and the wheel in a loop, the answers are piped ahead, and the
# pendant is really unplugged and plugged in again when the check asks.
# Every step passes, exit status 0, and the record (read by jq) says so with
# the ids the gadget declares.

scenario_main() {
    local t0 t1 away vid pid rel
    t0=$(date +%s)
    check_start || return
    printf 'y\ny\ny\n' >&8
    gadget_play "$GOOD_ROUND" "$GOOD_ROUND_REPORTS"
    if vm_check "reaches the unplug step" vm_wait 240 pt_has 'Unplug the pendant now'; then
        # The gadget stops playing: what it had queued may go out, or be
        # lost with the unplug, either way before the check's last step.
        gadget_play_stop
        away=$(date +%s)
        vm_check "unplugged" gadget_unbind
        vm_check "the check sees it gone" vm_wait 30 pt_has 'gone. Plug it in again'
        vm_check "plugged in again" gadget_bind
        vm_check "the check finds it again" vm_wait 30 pt_has 'found again after'
        vm_figure check-good-away-seconds $(($(date +%s) - away))
    fi
    vm_wait 30 pt_has '^Verdict:'
    pt_expect_end "exit status 0" 0 "the verdict"
    t1=$(date +%s)
    vm_figure check-good-seconds $((t1 - t0))

    vm_check "verdict PASS, 6 passed" pt_has '^Verdict: PASS (6 passed, 0 skipped)$'
    vm_check "the survey printed again after the replug" \
        test "$(grep -c 'Endpoint query complete' "$PT_OUT")" -eq 2
    vm_check "the gadget decoded pattern 1 as the check described it" pattern_decoded 1
    vm_check "the gadget decoded pattern 2 as the check described it" pattern_decoded 2
    vm_check "no undecodable frame" test "$(gadget_count '^FRAME-BAD')" -eq 0
    vm_check "nothing on standard error" test ! -s "$PT_ERR"

    if have_jq && vm_check "record written" test -s "$RECORD"; then
        vid=$(($(cat "$GADGET/idVendor")))
        pid=$(($(cat "$GADGET/idProduct")))
        rel=$(($(cat "$GADGET/bcdDevice")))
        record_check "verdict PASS, exit status 0" '.verdict == "PASS" and .exitStatus == 0'
        record_check "the six steps in order, each PASS" \
            '[.steps[] | [.name, .result]] == [["connection","PASS"],["display","PASS"],["axis","PASS"],["wheel","PASS"],["unplug","PASS"],["rules","PASS"]]'
        record_check "no why for a pass" '[.steps[].why] == ["","","","","",""]'
        record_check "every USB and HID rule PASS on pendant-gadget" \
            '[.steps[5].rules[].result] == ["PASS","PASS","PASS","PASS","PASS","PASS","PASS"]'
        record_check "the gadget's ids $vid:$pid, release $rel" \
            ".pendant.vendorId == $vid and .pendant.productId == $pid and .pendant.deviceRelease == $rel"
        record_check "HID, pipe 0x81 of 8-byte packets, 8-byte reports" \
            '.pendant.interfaceClass == 3 and .pendant.readPipe == 129 and .pendant.packetBytes == 8 and .pendant.reportBytes == 8'
        record_check "a device path" '.pendant.devicePath | type == "string" and length > 0'
        record_check "with a person, 30 s a wait" '.person == true and .stepTimeoutSeconds == 30'
        record_check "the selector's codes as the gadget sends them" \
            '.steps[2].figures == {"codeOff":0,"codeAxis1":17,"codeAxis2":18,"codeAxis3":19}'
        record_check "the wheel: 10 or more each way in counts of 5, none ignored or off" \
            '.steps[3].figures | .forwardCounts >= 10 and .backwardCounts >= 10 and .largestCount == 5 and .ignoredReports == 0 and .countsWithSelectorOff == 0'
        record_check "the wheel: axis 3 only, the display at the counts added" \
            '.steps[3].figures | .peakAxis1 == 0 and .peakAxis2 == 0 and .peakAxis3 > 0 and .displayAxis1 == 0 and .displayAxis2 == 0'
        record_check "the unplug: away for some time" '.steps[4].figures.awayMs > 0'
    fi
    check_end
}
