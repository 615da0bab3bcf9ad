# shellcheck shell=dash disable=SC2034,SC2154 # sourced by guest/lib.sh, sharing its variables
# A second pendant-test while the first holds the pendant: the interface is
# busy (Win32 error 170), said as on Windows, with the advice on standard
# error; the first goes on undisturbed.

scenario_main() {
    local first
    vm_check "pendant ready" pendant_ready
    rm -f /tmp/first.in
    mkfifo /tmp/first.in
    stdbuf -o0 pendant-test </tmp/first.in >/tmp/first.out 2>/tmp/first.err &
    first=$!
    exec 6>/tmp/first.in
    vm_check "first opened" vm_wait 30 grep -q 'Endpoint query complete' /tmp/first.out
    vm_check "first holds interface 0" vm_wait 10 sh -c \
        "[ \"\$(basename \"\$(readlink '$dev:1.0/driver')\")\" = usbfs ]"

    pt_check_failure "second" "Failed looking for device, HRESULT 0x800700aa\nnothing to do...\n" "" \
        "Linux: another program has claimed interface 0 of the pendant ($node), a second pendant-test for one; end it and start again.\n"

    gadget_send 04 00 00 13 03 00 00 00
    vm_check "first still reads" vm_wait 10 grep -q 'Read from rk27: 4 0 0 13 3 0' /tmp/first.out
    vm_check "first still sends the display" vm_wait 10 grep -q '^COORDS .* 3.0000 WORDS' "$GADGET_LOG"
    vm_check "first said nothing on standard error" test ! -s /tmp/first.err
    kill "$first"
    wait "$first"
    exec 6>&-
}
