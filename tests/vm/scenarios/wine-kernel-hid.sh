# shellcheck shell=dash disable=SC2034,SC2154 # sourced by guest/lib.sh, sharing its variables
# pendant-test.exe under Wine (guest/wine.sh) against the kernel's own HID
# gadget function, a pendant that is not ours. The display reports: the USB
# monitor records every SET_REPORT the host sends; /dev/hidg0 hands them to
# its reader (only the latest unread one), so a reader keeps reading while
# the program runs.

# shellcheck source=../guest/wine.sh
. /vm/wine.sh

KHID_MON=/tmp/khid.mon
khid_addr=""
pendant_send() { write_bytes /dev/hidg0 "$@"; }
# Six SET_REPORTs of feature report 6 make a frame.
pendant_frames() {
    usbmon_data "$KHID_MON" S "Co:$khid_addr:0" "21 09 0306" |
        awk '{ f = f (NR % 6 == 1 ? "" : " ") $0 } NR % 6 == 0 { print f; f = "" }'
}
# The check's round, report by report, until told to stop.
khid_play_pid=""
pendant_play_check() {
    rm -f /tmp/play.stop
    (
        exec 8>&- # not pendant-test's standard input
        while [ ! -e /tmp/play.stop ]; do
            echo "$GOOD_ROUND" | tr ';' '\n' | while read -r command; do
                # shellcheck disable=SC2046 # one word per byte
                write_bytes /dev/hidg0 $(command_report "$command")
                usleep 100000
            done
        done
    ) &
    khid_play_pid=$!
}
pendant_play_stop() {
    [ -n "$khid_play_pid" ] || return 0
    touch /tmp/play.stop
    wait "$khid_play_pid"
    khid_play_pid=""
}

scenario_main() {
    local reader bus
    wine_ready || return
    if ! khid_create; then
        vm_fail "kernel HID pendant plugged in" "see above"
        khid_remove
        return
    fi
    vm_pass "kernel HID pendant plugged in"
    dev=$(usb_host_dir "$KHID_IDS")
    bus=$(cat "$dev/busnum")
    khid_addr=$(printf '%d:%03d' "$bus" "$(cat "$dev/devnum")")
    if usbmon_start "$bus" "$KHID_MON"; then
        dd if=/dev/hidg0 of=/tmp/khid.setreports bs=64 2>/dev/null &
        reader=$!
        wine_runs
        pendant_play_stop
        usleep 500000
        kill "$reader" 2>/dev/null
        wait "$reader" 2>/dev/null
        usbmon_stop
        od -An -v -tx1 -w8 /tmp/khid.setreports | sed 's/^ //' >/tmp/khid.got
        vm_check "/dev/hidg0 delivered the last display report the host sent" test \
            "$(tail -n 1 /tmp/khid.got)" = "$(pendant_frames | tail -n 1 | cut -c 121-)"
    fi
    khid_remove
    vm_check "kernel HID gadget taken down" test ! -e "$KHID"
}
