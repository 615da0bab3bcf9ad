# shellcheck shell=dash disable=SC2034,SC2154 # sourced by guest/lib.sh, sharing its variables
# pendant-test.exe under Wine (guest/wine.sh) against pendant-gadget, the
# project's own software pendant, on the kernel's usbhid: its log has every
# report the host read and every display frame, decoded.

# shellcheck source=../guest/wine.sh
. /vm/wine.sh

pendant_send() { gadget_send "$@"; }
pendant_frames() { sed -n 's/^FRAME //p' "$GADGET_LOG"; }
pendant_play_check() { gadget_play "$GOOD_ROUND" "$GOOD_ROUND_REPORTS"; }
pendant_play_stop() { gadget_play_stop; }

scenario_main() {
    wine_ready || return
    if gadget_create 0xfff0 0x0001 && gadget_bind; then
        vm_pass "pendant-gadget plugged in"
    else
        vm_fail "pendant-gadget plugged in" "see the gadget's errors"
        vm_show "gadget errors" "$GADGET_ERR"
        return
    fi
    dev=$(gadget_host_dir)
    wine_runs
    # The frames of the --hid run come first: each carries the coordinates
    # the reports before it moved.
    vm_check "--hid: the gadget decoded each frame to the coordinates moved so far" \
        test "$(grep '^COORDS' "$GADGET_LOG" | head -n 7)" = "$EXPECTED_COORDS"
    vm_check "no undecodable frame" test "$(gadget_count '^FRAME-BAD')" -eq 0
    [ "$vm_nfail" -gt 0 ] && tail -n 80 "$GADGET_LOG"
    gadget_stop
}
