# shellcheck shell=dash disable=SC2034,SC2154 # sourced by guest/lib.sh, sharing its variables
# pendant-test --check against a faulty pendant: pendant-gadget plays the
# selector and a wheel that only ever turns forward, the person answers n to
# the first pattern and skips the unplug with Enter. Display and Wheel fail,
# exit status 1, and the record (read by jq) says why.

# GOOD_ROUND without its backward turns.
FORWARD_ONLY_ROUND="jog 0 0;jog 1 0;jog 2 0;jog 3 0;jog 3 5;jog 3 5;jog 3 5;jog 3 5"

scenario_main() {
    local t0
    t0=$(date +%s)
    # A short wait: the backward turn never comes.
    check_start --step-timeout 4 || return
    printf 'n\n' >&8
    gadget_play "$FORWARD_ONLY_ROUND" 8
    if vm_check "reaches the unplug step" vm_wait 120 pt_has 'Unplug the pendant now'; then
        echo "" >&8
    fi
    vm_wait 30 pt_has '^Verdict:'
    pt_expect_end "exit status 1" 1 "the verdict"
    vm_figure check-faulty-seconds $(($(date +%s) - t0))
    gadget_play_stop

    vm_check "verdict FAIL naming Display and Wheel" pt_has '^Verdict: FAIL (Display, Wheel)$'
    vm_check "the unplug skipped with Enter" pt_has '^  Unplug and plug in again  *SKIPPED  *skipped with Enter$'
    vm_check "the second pattern not sent after a no" sh -c "! grep -q 'Pattern 2 sent' '$PT_OUT'"
    vm_check "nothing on standard error" test ! -s "$PT_ERR"

    if have_jq && vm_check "record written" test -s "$RECORD"; then
        record_check "verdict FAIL, exit status 1" '.verdict == "FAIL" and .exitStatus == 1'
        record_check "connection PASS, display FAIL, axis PASS, wheel FAIL, unplug SKIPPED, rules PASS" \
            '[.steps[] | [.name, .result]] == [["connection","PASS"],["display","FAIL"],["axis","PASS"],["wheel","FAIL"],["unplug","SKIPPED"],["rules","PASS"]]'
        record_check "display: pattern 1 named as rejected" \
            '.steps[1].why == "pattern 1 was not shown as sent" and .steps[1].figures.rejectedPattern == 1'
        record_check "wheel: no count backward within the 4 s" \
            '.steps[3].why == "only 0 of 10 counts backward within 4 s"'
        record_check "wheel: forward counted, nothing backward" \
            '.steps[3].figures | .forwardCounts >= 10 and .backwardCounts == 0'
        record_check "unplug: skipped with Enter" '.steps[4].why == "skipped with Enter"'
        record_check "4 s a wait" '.stepTimeoutSeconds == 4'
    fi
    check_end
}
