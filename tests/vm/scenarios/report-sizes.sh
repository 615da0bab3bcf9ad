# shellcheck shell=dash disable=SC2034,SC2154 # sourced by guest/lib.sh, sharing its variables
# pendant-gadget with input reports of 6, 8, 14 and 64 bytes on packets of 8
# and 64 bytes, its report descriptor declaring each size: hidraw (the
# kernel's HID driver, which drops reports of another size) delivers every
# report the gadget sends, and pendant-test, which reads the declared size,
# prints one trace line per report and moves the display by each count
# once, whatever packets the report takes and whatever zero-length packet
# ends it.

# SIZE:PACKET, and the wheel's steps (axis:count) each shape sends.
SHAPES="6:8 8:8 14:8 64:8 6:64 8:64 14:64 64:64"
STEPS="2:5 2:-2 1:1 3:-31"
COORDS_AFTER='COORDS 0.0000 0.0000 0.0000 0.0000 5.0000 0.0000 WORDS 0 0 0 0
COORDS 0.0000 0.0000 0.0000 0.0000 3.0000 0.0000 WORDS 0 0 0 0
COORDS 0.0000 0.0000 0.0000 1.0000 3.0000 0.0000 WORDS 0 0 0 0
COORDS 0.0000 0.0000 0.0000 1.0000 3.0000 -31.0000 WORDS 0 0 0 0'

# jog_all: queues every step of $STEPS as the gadget's jog command and
# waits until the host has read them.
jog_all() {
    local s
    for s in $STEPS; do
        echo "jog ${s%%:*} ${s#*:}" >&7
    done
    echo "wait-read" >&7
}

# one_shape SIZE PACKET
one_shape() {
    local size="$1" packet="$2" shape="$1-byte reports on $2-byte packets" hid from
    local s axis count want
    if ! vm_check "$shape: ready" pendant_ready --packet-size "$packet" --report-size "$size"; then
        gadget_stop >/dev/null 2>&1
        return
    fi
    vm_check "$shape: the kernel's HID driver has it" vm_wait 10 sh -c \
        "[ \"\$(basename \"\$(readlink '$dev:1.0/driver')\")\" = usbhid ]"
    hid=$(iface_hid "$dev:1.0")
    vm_check "$shape: the report descriptor declares $size bytes" sh -c \
        "pendant-report-descriptor $size | cmp -s - '$dev:1.0/$hid/report_descriptor'"

    # hidraw first, while the HID driver has the pendant.
    hidraw_check "$shape" "$dev:1.0" "$size" 4 jog_all

    # pendant-test, reading the declared size.
    from=$(($(grep -c '^COORDS' "$GADGET_LOG") + 1))
    pt_start
    if vm_check "$shape: pendant-test opened it" pt_opened; then
        survey_of "$dev" >"$EXPECTED"
        for s in $STEPS; do
            axis=$((0x10 + ${s%%:*}))
            count=${s#*:}
            [ "$count" -lt 0 ] && count=$((256 + count))
            want=$(printf 'Read from rk27: 4 0 0 %x %x 0 ' "$axis" "$count")
            echo "$want" >>"$EXPECTED"
        done
        jog_all
        vm_wait 10 sh -c "[ \$(grep -c '^COORDS' '$GADGET_LOG') -ge $((from + 3)) ]"
        usleep 300000
        vm_check "$shape: one trace line per report, exact" pt_is_expected ||
            vm_show "pendant-test output" "$PT_OUT"
        vm_check "$shape: each count moved the display once" test \
            "$(grep '^COORDS' "$GADGET_LOG" | tail -n "+$from")" = "$COORDS_AFTER"
        vm_check "$shape: no undecodable frame" test "$(gadget_count '^FRAME-BAD')" -eq 0
        vm_check "$shape: no report of another size" test "$(gadget_count '^IN-RAW')" -eq 0
    fi
    pt_stop
    gadget_stop >/dev/null 2>&1
}

scenario_main() {
    local shape
    for shape in $SHAPES; do
        one_shape "${shape%%:*}" "${shape#*:}"
    done
    if [ "$vm_nfail" -gt 0 ]; then
        vm_show "gadget log" "$GADGET_LOG"
        vm_show "gadget errors" "$GADGET_ERR"
    fi
}
