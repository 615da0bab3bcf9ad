# shellcheck shell=dash disable=SC2034,SC2154 # sourced by guest/lib.sh, sharing its variables
# The pendant stalls its IN endpoint while pendant-test runs: every read
# fails at once from then on; the tool stays alive, prints nothing and
# waits out its read time-out each turn instead of spinning.

USBMON_TEXT=/tmp/usbmon-stall.txt

scenario_main() {
    local bus devnum lines t0 t1 mon
    vm_check "pendant ready" pendant_ready
    bus=$(cat "$dev/busnum")
    devnum=$(printf %03d "$(cat "$dev/devnum")")
    pt_start
    vm_check "opened" pt_opened
    gadget_send 04 00 00 12 01 00 00 00
    vm_check "a report read before the stall" vm_wait 10 pt_has 'Read from rk27: 4 0 0 12 1 0'
    gadget_wait_lines '^FRAME ' 1 || true

    mountpoint -q /sys/kernel/debug || mount -t debugfs debugfs /sys/kernel/debug
    cat "/sys/kernel/debug/usb/usbmon/${bus}u" >"$USBMON_TEXT" &
    mon=$!
    lines=$(pt_lines)
    echo stall >&7
    vm_check "the gadget stalled its endpoint" gadget_wait_lines '^STALLED' 1
    sleep 1
    t0=$(pt_ticks)
    sleep 3
    t1=$(pt_ticks)
    kill "$mon"
    wait "$mon" 2>/dev/null
    # An interrupt IN completion with -32 (EPIPE): the stall reached the host.
    vm_check "the host's reads end in the stall" \
        grep -q " C Ii:$bus:$devnum:1 -32" "$USBMON_TEXT"
    vm_check "tool stays alive on a stalled endpoint" pt_alive
    vm_figure stalled-cpu-ticks-per-3s $((t1 - t0))
    vm_check "tool does not spin on a stalled endpoint (used $((t1 - t0)) of 300 ticks)" \
        test $((t1 - t0)) -le 30
    vm_check "nothing printed while stalled" test "$(pt_lines)" -eq "$lines"
    vm_check "nothing on standard error" test ! -s "$PT_ERR"
    pt_stop
    if [ "$vm_nfail" -gt 0 ]; then
        vm_show "gadget log" "$GADGET_LOG"
        tail -n 20 "$USBMON_TEXT"
    fi
}
