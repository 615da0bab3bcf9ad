# shellcheck shell=dash disable=SC2034,SC2154 # sourced by guest/lib.sh, sharing its variables
# pendant-gadget itself: the id it has unless told, taking its gadget down
# at the end of a script and on SIGINT and SIGHUP (SIGTERM: linux-usb.sh),
# its scripts' errors, and what it says when what it needs is missing:
# root, a busy controller, a name in use, usb_f_fs, the controller,
# libcomposite, configfs. The kernel modules are put back at the end.

SCRIPT=/tmp/gadget-setup.sim

# run_gadget NAME STATUS MESSAGE [ARGS...]: pendant-gadget with ARGS (input
# from $SCRIPT; as the user $RUN_AS when set) ends with STATUS, says MESSAGE
# on standard error (the whole line after "pendant-gadget: ") and leaves no
# gadget or mount behind that was not there before.
RUN_AS=""
run_gadget() {
    local name="$1" want="$2" says="$3" status before after
    shift 3
    before="$(ls /sys/kernel/config/usb_gadget 2>/dev/null; grep -c functionfs /proc/mounts)"
    if [ -n "$RUN_AS" ]; then
        su -s /bin/sh "$RUN_AS" -c "exec /usr/local/bin/pendant-gadget $*" \
            <"$SCRIPT" >/tmp/g.out 2>/tmp/g.err
    else
        timeout 30 pendant-gadget "$@" <"$SCRIPT" >/tmp/g.out 2>/tmp/g.err
    fi
    status=$?
    after="$(ls /sys/kernel/config/usb_gadget 2>/dev/null; grep -c functionfs /proc/mounts)"
    vm_check "$name: status $want (got $status)" test "$status" -eq "$want"
    vm_check "$name: says why" test "$(cat /tmp/g.err)" = "pendant-gadget: $says" ||
        vm_show "what it said" /tmp/g.err
    vm_check "$name: leaves nothing behind" test "$before" = "$after"
}

module_path() { grep "/$1.ko\$" /etc/vm-modules; }

scenario_main() {
    local entry sig num status m
    # ---- the default id, and the way out on each signal
    for entry in INT:2 HUP:1; do
        sig=${entry%%:*}
        num=${entry#*:}
        rm -f /tmp/gadget.in
        mkfifo /tmp/gadget.in
        /usr/local/bin/env --default-signal=INT,HUP pendant-gadget --unplugged </tmp/gadget.in \
            >"$GADGET_LOG" 2>"$GADGET_ERR" &
        gadget_pid=$!
        exec 7>/tmp/gadget.in
        vm_check "SIG$sig: ready" vm_wait 10 grep -q '^READY' "$GADGET_LOG"
        vm_check "SIG$sig: plugged in" gadget_bind
        vm_check "SIG$sig: the host sees 1209:0001 unless told otherwise" test -n "$(gadget_host_dir)"
        gadget_stop "$sig"
        status=$?
        vm_check "SIG$sig: ended by the signal (status $status)" test "$status" -eq $((128 + num))
        vm_check "SIG$sig: gadget taken down" gadget_gone
        vm_check "SIG$sig: the host has seen it go" vm_wait 10 sh -c \
            '! grep -lx 1209 /sys/bus/usb/devices/*/idVendor >/dev/null 2>&1'
        vm_check "SIG$sig: nothing on standard error" test ! -s "$GADGET_ERR"
        [ -s "$GADGET_ERR" ] && vm_show "gadget errors" "$GADGET_ERR"
    done

    # ---- scripts: one that runs to its end, a wait that runs out, bad lines
    printf 'jog 1 1\nwait-read 10\n' >"$SCRIPT"
    pendant-gadget --vid 0xfff0 --script "$SCRIPT" >/tmp/g.out 2>/tmp/g.err
    vm_check "script: ends with status 0 at its end" test "$?" -eq 0
    vm_check "script: the report was read (by the HID driver)" grep -q '^IN-SENT 04 00 00 11 01' /tmp/g.out
    vm_check "script: gadget taken down" gadget_gone
    printf 'wait-frames 1 2\n' >"$SCRIPT"
    run_gadget "a wait that runs out" 1 "$SCRIPT:1: the host sent 0 of 1 frames within 2 s" \
        --script "$SCRIPT"
    printf 'jog 1 1\nset1 1 1.5\n' >"$SCRIPT"
    run_gadget "a script line for pendant-sim" 2 \
        "$SCRIPT:2: \"set1\" is not for pendant-gadget: it goes through the tool's own setters, and here the tool runs on the USB host and sets its display itself" \
        --script "$SCRIPT"
    printf 'stall now\n' >"$SCRIPT"
    run_gadget "a bad line on standard input" 2 \
        "<stdin>:1: stall takes 0 arguments, got 1; usage: stall" --script -

    # ---- what it needs
    : >"$SCRIPT"
    RUN_AS=tester run_gadget "not root" 1 \
        "it must run as root: the USB gadget (configfs) and FunctionFS belong to root" --script -
    RUN_AS=""

    run_gadget "a controller that is not there" 1 \
        "there is no USB device controller named nosuch; there is dummy_udc.0" --udc nosuch --script -

    vm_check "a first gadget" pendant_ready
    run_gadget "busy controller" 1 \
        "the USB device controller dummy_udc.0 is busy: another gadget is bound to it (the UDC files under /sys/kernel/config/usb_gadget say which)" \
        --name other --script -
    run_gadget "name in use" 1 \
        "a gadget named pendant exists already (/sys/kernel/config/usb_gadget/pendant): another pendant-gadget is running, or one was killed before it could remove it (docs/gadget.md says how); or choose another --name" \
        --script -
    vm_check "the first gadget is still plugged in" test -e "$dev" -a "$(cat "$GADGET/UDC")" = dummy_udc.0
    gadget_stop

    # usb_f_hid (the kernel-hid scenario's) holds libcomposite too.
    rmmod usb_f_hid
    rmmod usb_f_fs
    run_gadget "no usb_f_fs" 1 "the kernel has no FunctionFS gadget function: modprobe usb_f_fs" \
        --script -
    rmmod dummy_hcd
    run_gadget "no controller" 1 \
        "there is no USB device controller (/sys/class/udc is empty): the machine needs a port that works in device mode with its controller's driver loaded, or modprobe dummy_hcd to try it on this machine alone" \
        --script -
    rmmod libcomposite
    run_gadget "no libcomposite" 1 \
        "the kernel's USB gadget support is not loaded (no /sys/kernel/config/usb_gadget): modprobe libcomposite" \
        --script -
    umount /sys/kernel/config
    run_gadget "no configfs" 1 \
        "configfs is not mounted on /sys/kernel/config: mount -t configfs none /sys/kernel/config" \
        --script -

    mount -t configfs configfs /sys/kernel/config
    for m in dummy_hcd libcomposite usb_f_fs usb_f_hid; do
        insmod "$(module_path "$m")" || vm_fail "$m loaded again" "insmod failed"
    done
    udevadm settle --timeout=30
    vm_check "with all back, a gadget works again" pendant_ready
    gadget_stop
    [ "$vm_nfail" -gt 0 ] && vm_show "gadget log" "$GADGET_LOG"
}
