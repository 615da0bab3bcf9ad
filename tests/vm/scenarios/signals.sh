# shellcheck shell=dash disable=SC2034,SC2154 # sourced by guest/lib.sh, sharing its variables
# pendant-test ended by SIGINT, SIGTERM and SIGHUP while it holds the
# pendant: it gives interface 0 back to the kernel's HID driver, ends by that
# very signal, and prints nothing more. A SIGINT that a console control
# handler takes ends nothing: the interface stays taken until the program
# closes the pendant itself, which gives it back.

scenario_main() {
    local entry sig num frames oc driver
    vm_check "pendant ready" pendant_ready
    # As from a terminal: the signals at their defaults.
    PT_WRAP="/usr/local/bin/env --default-signal=INT,TERM,HUP"
    for entry in INT:2 TERM:15 HUP:1; do
        sig=${entry%%:*}
        num=${entry#*:}
        pt_start
        vm_check "SIG$sig: opened" pt_opened
        frames=$(gadget_count '^FRAME ')
        gadget_send 04 00 00 11 01 00 00 00
        vm_check "SIG$sig: a report read" vm_wait 10 pt_has 'Read from rk27: 4 0 0 11 1 0'
        # And the frame it causes, so the tool is back in its read.
        vm_check "SIG$sig: its frame sent" gadget_wait_lines '^FRAME ' $((frames + 1))
        cp "$PT_OUT" /tmp/before-signal
        kill -"$sig" "$pt_pid"
        pt_expect_end "SIG$sig: ended by the signal" $((128 + num)) "the signal"
        vm_check "SIG$sig: standard output unchanged" cmp -s /tmp/before-signal "$PT_OUT"
        vm_check "SIG$sig: nothing on standard error" test ! -s "$PT_ERR"
        vm_check "SIG$sig: the kernel's HID driver has the interface back" \
            vm_wait 10 sh -c "[ \"\$(basename \"\$(readlink '$dev:1.0/driver')\")\" = usbhid ]"
    done

    # Ctrl+C taken by a handler (pendant-open-close --ctrl-c, the core's Open
    # and Close): the interface stays taken, the program goes on and closes.
    driver="basename \"\$(readlink '$dev:1.0/driver' 2>/dev/null)\""
    rm -f /tmp/oc.in
    mkfifo /tmp/oc.in
    /usr/local/bin/env --default-signal=INT pendant-open-close --ctrl-c </tmp/oc.in \
        >/tmp/oc.out 2>/tmp/oc.err &
    oc=$!
    exec 9>/tmp/oc.in
    vm_check "handled SIGINT: handler added" vm_wait 20 grep -qx HANDLER /tmp/oc.out
    kill -INT "$oc"
    vm_check "handled SIGINT: the handler took it" vm_wait 10 grep -qx CTRL-C /tmp/oc.out
    vm_check "handled SIGINT: still running" kill -0 "$oc"
    vm_check "handled SIGINT: the interface is still taken" \
        sh -c "[ \"\$($driver)\" = usbfs ]"
    echo go >&9
    vm_expect_exit "$oc" "handled SIGINT: closes and ends" 0 "the line"
    exec 9>&-
    vm_check "handled SIGINT: closed" grep -qx CLOSED /tmp/oc.out
    vm_check "handled SIGINT: nothing on standard error" test ! -s /tmp/oc.err
    vm_check "handled SIGINT: Close gave the interface back" \
        vm_wait 10 sh -c "[ \"\$($driver)\" = usbhid ]"
    [ "$vm_nfail" -gt 0 ] && vm_show "pendant-open-close output" /tmp/oc.out &&
        vm_show "pendant-open-close errors" /tmp/oc.err

    # Unplugged, the tool turns on failed reads and short sleeps: a signal
    # must end it there too.
    pt_start
    vm_check "unplugged: opened" pt_opened
    gadget_unbind
    vm_check "unplugged: pendant gone" vm_wait 10 sh -c "! test -e '$dev'"
    sleep 1
    cp "$PT_OUT" /tmp/before-signal
    kill -TERM "$pt_pid"
    pt_expect_end "unplugged: ended by SIGTERM" 143 "SIGTERM"
    vm_check "unplugged: standard output unchanged" cmp -s /tmp/before-signal "$PT_OUT"
    vm_check "unplugged: nothing on standard error" test ! -s "$PT_ERR"
    PT_WRAP=""
    if [ "$vm_nfail" -gt 0 ]; then
        vm_show "pendant-test output" "$PT_OUT"
        vm_show "pendant-test errors" "$PT_ERR"
        vm_show "gadget log" "$GADGET_LOG"
    fi
}
