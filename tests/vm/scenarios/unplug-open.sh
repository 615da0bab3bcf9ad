# shellcheck shell=dash disable=SC2034,SC2154 # sourced by guest/lib.sh, sharing its variables
# The pendant pulled out while pendant-test's opening is half-way: between
# discovery and CreateFileA, between CreateFileA and WinUsb_Initialize, and
# during the endpoint survey (pendant-open-close, the core's Open and Close,
# stopped at that platform call). The opening ends at once with the HRESULT
# of the step that met the missing pendant, nothing is left held, nothing
# crashes; once the pendant is back it opens as before.

# CALL:STATUS:HRESULT. The survey reads the descriptors libusb has kept,
# so the opening itself still succeeds; the reads that follow would fail.
PAUSES="CreateFileA:1:0x80070002 WinUsb_Initialize:1:0x8007048f WinUsb_QueryPipe:0:0x0"

scenario_main() {
    local entry call want line oc
    vm_check "pendant ready" pendant_ready
    for entry in $PAUSES; do
        call=${entry%%:*}
        want=${entry#*:}
        line="OPEN ${want#*:}"
        want=${want%%:*}
        rm -f /tmp/oc.in
        mkfifo /tmp/oc.in
        pendant-open-close --pause-at "$call" </tmp/oc.in >/tmp/oc.out 2>/tmp/oc.err &
        oc=$!
        exec 9>/tmp/oc.in
        vm_check "$call: paused there" vm_wait 20 grep -q "^PAUSED $call\$" /tmp/oc.out
        gadget_unbind
        vm_check "$call: pendant gone" vm_wait 10 sh -c "! test -e '$dev'"
        echo go >&9
        vm_expect_exit "$oc" "$call: ends" "$want" "the pendant went"
        exec 9>&-
        vm_check "$call: says $line" grep -qx "$line" /tmp/oc.out
        [ "$want" -eq 0 ] && vm_check "$call: closes" grep -qx CLOSED /tmp/oc.out
        vm_check "$call: nothing on standard error" test ! -s /tmp/oc.err
        [ "$vm_nfail" -gt 0 ] && vm_show "pendant-open-close output" /tmp/oc.out &&
            vm_show "pendant-open-close errors" /tmp/oc.err

        # Back again: a new device the HID driver takes, and the opening
        # finds it free.
        vm_check "$call: plugged in again" gadget_bind
        dev=$(gadget_host_dir)
        vm_check "$call: the HID driver has the new interface" vm_wait 10 sh -c \
            "[ \"\$(basename \"\$(readlink '$dev:1.0/driver')\")\" = usbhid ]"
        pendant-open-close >/tmp/oc.out 2>&1
        vm_check "$call: opens and closes again" sh -c \
            "grep -qx 'OPEN 0x0' /tmp/oc.out && grep -qx CLOSED /tmp/oc.out"
    done
}
