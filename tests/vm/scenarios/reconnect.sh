# shellcheck shell=dash disable=SC2034,SC2154 # sourced by guest/lib.sh, sharing its variables
# pendant-test --reconnect across an unplug and a replug of pendant-gadget:
# quiet and not spinning while the pendant is away, then the survey printed
# again, the display it had sent again, and a trace line for every report
# after the replug.

# The display after the jog before the unplug (axis 2 by +2), and after the
# three reports that follow the replug.
COORDS_KEPT='COORDS 0.0000 0.0000 0.0000 0.0000 2.0000 0.0000 WORDS 0 0 0 0'
COORDS_END='COORDS 0.0000 0.0000 0.0000 1.0000 3.0000 -1.0000 WORDS 0 0 0 0'
AFTER_REPLUG="04 00 00 11 01 00 00 00|04 00 00 12 01 00 00 00|04 00 00 13 ff 00 00 00"

# send_traced HH...: queues the report and appends its trace line to $EXPECTED.
send_traced() {
    gadget_send "$@"
    trace_line_of "$@" >>"$EXPECTED"
}

# The trace line of each report the gadget logs as sent since it was
# plugged in the second time.
sent_after_replug() {
    local r
    awk '/^PLUGGED/ { n++; next } n >= 2 && /^IN-SENT / { sub(/^IN-SENT /, ""); print }' \
        "$GADGET_LOG" | while read -r r; do
        # shellcheck disable=SC2086 # the report's bytes, one word each
        trace_line_of $r
    done
}
# The trace lines pendant-test printed after its second survey.
traced_after_second_survey() {
    sed 's/Read from rk27:/\nRead from rk27:/g' "$PT_OUT" |
        awk '/Endpoint query complete/ { n++ } n >= 2 && /^Read from rk27:/'
}

scenario_main() {
    local frames t0 t1 r sent old_ifs
    if ! vm_check "ready" pendant_ready; then
        gadget_stop >/dev/null 2>&1
        return
    fi
    PT_ARGS=--reconnect
    pt_start
    PT_ARGS=""
    if ! vm_check "opened" pt_opened; then
        pt_stop
        gadget_stop >/dev/null 2>&1
        return
    fi
    survey_of "$dev" >"$EXPECTED"
    send_traced 04 00 00 12 02 00 00 00
    vm_check "the jog moved the display" gadget_wait_lines '^COORDS' 1
    frames=$(gadget_count '^FRAME ')

    gadget_unbind
    vm_check "the host has seen it go" vm_wait 10 sh -c "! test -e '$dev'"
    sleep 1
    t0=$(pt_ticks)
    sleep 3
    t1=$(pt_ticks)
    vm_check "alive while the pendant is away" pt_alive
    vm_figure reconnect-away-cpu-ticks-per-3s $((t1 - t0))
    # 100 ticks a second: a spinning loop would use about 300 here.
    vm_check "does not spin while away, a discovery a second (used $((t1 - t0)) of 300 ticks)" \
        test $((t1 - t0)) -le 30
    vm_check "nothing printed while away" pt_is_expected

    vm_check "plugged in again" gadget_bind
    dev=$(gadget_host_dir)
    vm_check "the survey printed again" vm_wait 10 sh -c \
        "[ \$(grep -c 'Endpoint query complete' '$PT_OUT') -eq 2 ]"
    vm_check "holds the interface again" pt_opened
    survey_of "$dev" >>"$EXPECTED"
    vm_check "the display sent again" gadget_wait_lines '^FRAME ' $((frames + 1))
    vm_check "with the values it had" test "$(grep '^COORDS' "$GADGET_LOG" | tail -n 1)" = "$COORDS_KEPT"

    old_ifs=$IFS
    IFS='|'
    sent=0
    for r in $AFTER_REPLUG; do
        IFS=$old_ifs
        # shellcheck disable=SC2086 # the report's bytes, one word each
        send_traced $r
        sent=$((sent + 1))
        IFS='|'
    done
    IFS=$old_ifs
    vm_check "every report after the replug read" gadget_wait_lines '^IN-SENT' $((1 + sent))
    vm_check "each moved the display" gadget_wait_lines '^COORDS' $((2 + sent))
    usleep 300000
    vm_check "survey twice and every trace line, exact" pt_is_expected ||
        vm_show "pendant-test output" "$PT_OUT"
    # From the gadget's side: each report it logs as sent after the replug
    # has its trace line after the second survey, in order.
    sent_after_replug >/tmp/sent-after.traced
    traced_after_second_survey >/tmp/traced-after.out
    vm_check "the gadget sent $sent reports after the replug" \
        test "$(wc -l </tmp/sent-after.traced)" -eq "$sent"
    vm_check "no trace line lost after the replug: one per report sent, in order" \
        cmp -s /tmp/sent-after.traced /tmp/traced-after.out ||
        { vm_show "sent after the replug" /tmp/sent-after.traced
          vm_show "traced after the second survey" /tmp/traced-after.out; }
    vm_check "the display follows the reports after the replug" \
        test "$(grep '^COORDS' "$GADGET_LOG" | tail -n 1)" = "$COORDS_END"
    vm_check "no undecodable frame" test "$(gadget_count '^FRAME-BAD')" -eq 0
    vm_check "nothing on standard error" test ! -s "$PT_ERR"
    vm_check "ends on SIGTERM" pt_stop
    gadget_stop >/dev/null 2>&1
    if [ "$vm_nfail" -gt 0 ]; then
        vm_show "gadget log" "$GADGET_LOG"
        vm_show "gadget errors" "$GADGET_ERR"
        vm_show "pendant-test errors" "$PT_ERR"
    fi
}
