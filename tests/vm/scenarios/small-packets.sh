# shellcheck shell=dash disable=SC2034,SC2154 # sourced by guest/lib.sh, sharing its variables
# Input reports longer than one packet: the IN endpoint's packets hold 4
# bytes. The tool reads the 8 bytes the report descriptor declares, so an
# 8-byte report (4 + 4) is one read, and the zero-length packet after it a
# read of nothing; a 6-byte one (sent --raw, as a malformed pendant would)
# goes as 4 + 2 and ends its read with the short packet. Each makes one
# trace line, and its count moves the display.

# LENGTH:AXIS:COUNT, and the display after each.
REPORTS="6:11:02 8:12:fd 6:13:1f 8:11:01"
COORDS_AFTER='COORDS 0.0000 0.0000 0.0000 2.0000 0.0000 0.0000 WORDS 0 0 0 0
COORDS 0.0000 0.0000 0.0000 2.0000 -3.0000 0.0000 WORDS 0 0 0 0
COORDS 0.0000 0.0000 0.0000 2.0000 -3.0000 31.0000 WORDS 0 0 0 0
COORDS 0.0000 0.0000 0.0000 3.0000 -3.0000 31.0000 WORDS 0 0 0 0
COORDS 0.0000 0.0000 0.0000 3.0000 -3.0000 32.0000 WORDS 0 0 0 0'

scenario_main() {
    local r len axis count n=0
    vm_check "ready" pendant_ready --packet-size 4
    pt_start
    vm_check "opened" pt_opened
    survey_of "$dev" >"$EXPECTED"
    vm_check "survey is exact" pt_is_expected
    vm_check "the endpoint has 4-byte packets" pt_has 'MaxPacket: 4$'
    for r in $REPORTS; do
        len=${r%%:*}
        axis=${r#*:}
        count=${axis#*:}
        axis=${axis%%:*}
        n=$((n + 1))
        if [ "$len" = 8 ]; then
            gadget_send 04 00 00 "$axis" "$count" 00 00 00
        else
            gadget_send_raw 04 00 00 "$axis" "$count" 00
        fi
        printf 'Read from rk27: 4 0 0 %x %x 0 \n' "0x$axis" "0x$count" >>"$EXPECTED"
        gadget_wait_lines '^IN-SENT' "$n" || vm_fail "report $n read by the host" "not within 10 s"
        gadget_wait_lines '^FRAME ' "$n" || vm_fail "frame $n" "not within 10 s"
    done
    # wait-frames returns once the frame is logged: a STATS line right after
    # it comes after the frame's lines.
    printf 'jog 3 1\nwait-frames 5\nstats\n' >&7
    printf 'Read from rk27: 4 0 0 13 1 0 \n' >>"$EXPECTED"
    gadget_wait_lines '^STATS' 1 || vm_fail "stats after the fifth frame" "no STATS line within 10 s"
    vm_check "after wait-frames the frame is in the log" test \
        "$(grep -n '^FRAME ' "$GADGET_LOG" | sed -n 5p | cut -d: -f1)" -lt \
        "$(grep -n '^STATS' "$GADGET_LOG" | cut -d: -f1)"
    usleep 500000
    vm_check "one trace line per report" pt_is_expected
    vm_check "each count moved the display" test "$(grep '^COORDS' "$GADGET_LOG")" = "$COORDS_AFTER"
    vm_check "no undecodable frame" test "$(gadget_count '^FRAME-BAD')" -eq 0
    if [ "$vm_nfail" -gt 0 ]; then
        vm_show "pendant-test output" "$PT_OUT"
        vm_show "gadget log" "$GADGET_LOG"
    fi
}
