# shellcheck shell=dash # busybox sh; dash is the nearest shell shellcheck knows
# Helpers for guest scenarios (busybox sh). A scenario is a file
# /vm/scenarios/NAME.sh that defines scenario_main; it reports with vm_check /
# vm_pass / vm_fail and may print figures with vm_figure. Results go to the
# second serial port, one line each, so that kernel messages on the console
# cannot mix into them:
#   CHECK PASS <name>
#   CHECK FAIL <name>: <detail>
#   FIGURE <name> <value...>
#   DONE pass=<n> fail=<n>

VM_RESULTS=/dev/ttyS1
vm_npass=0
vm_nfail=0

vm_result() {
    echo "$*" >"$VM_RESULTS"
    echo "[vm] $*"
}
VM_SCENARIO=""
vm_pass() {
    vm_npass=$((vm_npass + 1))
    vm_result "CHECK PASS ${VM_SCENARIO:+$VM_SCENARIO: }$1"
}
vm_fail() {
    vm_nfail=$((vm_nfail + 1))
    vm_result "CHECK FAIL ${VM_SCENARIO:+$VM_SCENARIO: }$1: $2"
}
vm_figure() { vm_result "FIGURE $*"; }

# vm_export FILE NAME: hands FILE to the host, which finds it as NAME in the
# test's work directory (run-vm.sh puts the BLOB lines back together).
vm_export() {
    base64 "$1" | while IFS= read -r line; do
        echo "BLOB $2 $line" >"$VM_RESULTS"
    done
}

# vm_check NAME COMMAND...: passes when COMMAND succeeds; returns whether
# it did.
vm_check() {
    local name="$1"
    shift
    if "$@"; then
        vm_pass "$name"
    else
        vm_fail "$name" "$*"
        return 1
    fi
}

# vm_wait SECONDS COMMAND...: polls COMMAND every 50 ms until it succeeds or
# the time is up; returns its last status.
vm_wait() {
    local limit=$(($1 * 20)) i=0
    shift
    while ! "$@"; do
        i=$((i + 1))
        [ "$i" -ge "$limit" ] && return 1
        usleep 50000
    done
}

# Prints a file to the console with a heading, for the log of a failed run.
vm_show() {
    echo "----- $1 -----"
    cat "$2" 2>/dev/null
    echo "----- end of $1 -----"
}

vm_start_udev() {
    udevd --daemon
    udevadm trigger --action=add >/dev/null 2>&1
    udevadm settle --timeout=30
}

# vm_main NAME[,NAME...]: runs each scenario in turn in this one boot; each
# check is named after its scenario.
vm_main() {
    local names="$1" name
    vm_start_udev
    [ -n "$names" ] || vm_fail scenario "no scenario named"
    for name in $(echo "$names" | tr ',' ' '); do
        VM_SCENARIO="$name"
        if [ ! -f "/vm/scenarios/$name.sh" ]; then
            vm_fail scenario "no scenario named '$name'"
            continue
        fi
        # shellcheck source=/dev/null # the scenario named at boot, from tests/vm/scenarios
        . "/vm/scenarios/$name.sh"
        scenario_main
        # What a scenario left running would disturb the next one.
        pt_stop
        gadget_play_stop
        gadget_stop >/dev/null 2>&1
    done
    vm_result "DONE pass=$vm_npass fail=$vm_nfail"
    sync
    poweroff -f
}

# ---- the gadget pendant -----------------------------------------------------
# pendant-gadget builds the configfs gadget "pendant" itself and serves it,
# starting unplugged. Commands of its script language go to it through a
# FIFO held open on fd 7; its log is /tmp/gadget.log, its standard error
# /tmp/gadget.err.

GADGET=/sys/kernel/config/usb_gadget/pendant
GADGET_LOG=/tmp/gadget.log
GADGET_ERR=/tmp/gadget.err
gadget_pid=""

# gadget_create VID PID [pendant-gadget options]
gadget_create() {
    local vid="$1" pid="$2"
    shift 2
    rm -f /tmp/gadget.in
    mkfifo /tmp/gadget.in
    pendant-gadget --vid "$vid" --pid "$pid" --unplugged "$@" \
        </tmp/gadget.in >"$GADGET_LOG" 2>"$GADGET_ERR" &
    gadget_pid=$!
    exec 7>/tmp/gadget.in
    vm_wait 10 grep -q '^READY' "$GADGET_LOG"
}

# gadget_stop [SIGNAL]: ends the gadget (by SIGTERM unless told), which takes
# its gadget down; returns its exit status.
# shellcheck disable=SC2120 # the scenarios pass a signal
gadget_stop() {
    local status=0
    [ -n "$gadget_pid" ] || return 0
    kill -"${1:-TERM}" "$gadget_pid" 2>/dev/null
    wait "$gadget_pid"
    status=$?
    gadget_pid=""
    exec 7>&-
    return "$status"
}

# The host side's sysfs directory of the gadget device, once enumerated.
gadget_host_dir() { usb_host_dir "$(gadget_ids)"; }
gadget_ids() {
    local v p
    v=$(cat "$GADGET/idVendor")
    p=$(cat "$GADGET/idProduct")
    printf '%04x:%04x' "$v" "$p"
}

# gadget_bind / gadget_unbind: plug the gadget in (until the host has it) and
# pull it out (until the gadget says so).
gadget_bind() {
    local n
    n=$(gadget_count '^PLUGGED')
    echo replug >&7
    vm_wait 10 sh -c "[ \$(grep -c '^PLUGGED' '$GADGET_LOG') -gt $n ]" &&
        vm_wait 20 gadget_host_dir >/dev/null && udevadm settle --timeout=30
}
gadget_unbind() {
    local n
    n=$(gadget_count '^UNPLUGGED')
    echo unplug >&7
    vm_wait 10 sh -c "[ \$(grep -c '^UNPLUGGED' '$GADGET_LOG') -gt $n ]"
}

# gadget_send HH HH ...: queue one input report.
gadget_send() { echo "report $*" >&7; }
# A report of another size than the gadget's report descriptor declares, as
# a malformed pendant sends (logged IN-RAW).
gadget_send_raw() { echo "report --raw $*" >&7; }

# gadget_play COMMANDS REPORTS: keeps the gadget playing COMMANDS (script
# lines separated by ';', REPORTS reports in all) over and over, topped up
# whenever less than one round of them is left unread, so that a host that
# waits for any one of them gets it within a round, however slow it is.
# gadget_play_stop ends the playing; what is queued still goes out.
play_pid=""
gadget_play() {
    local round="$1" per="$2"
    gadget_play_stop
    rm -f /tmp/play.stop
    (
        exec 8>&- # not pendant-test's standard input
        queued=$(gadget_count '^IN-SENT')
        while [ ! -e /tmp/play.stop ]; do
            if [ $((queued - $(gadget_count '^IN-SENT'))) -lt "$per" ]; then
                # One write, so no line of the scenario's own lands inside it.
                echo "$round" | tr ';' '\n' >&7
                queued=$((queued + per))
            fi
            usleep 200000
        done
    ) &
    play_pid=$!
}
gadget_play_stop() {
    [ -n "$play_pid" ] || return 0
    touch /tmp/play.stop
    wait "$play_pid"
    play_pid=""
}

# gadget_count PATTERN: how many log lines match.
gadget_count() { grep -c "$1" "$GADGET_LOG"; }
# gadget_wait_lines PATTERN N [SECONDS]: until N log lines match (10 s).
gadget_wait_lines() {
    vm_wait "${3:-10}" sh -c "[ \$(grep -c '$1' '$GADGET_LOG') -ge $2 ]"
}
# The gadget and its FunctionFS mount are gone.
gadget_gone() { ! test -e "$GADGET" && ! grep -q ' functionfs ' /proc/mounts; }

# ---- pendant-test, the tool under test

PT_OUT=/tmp/pendant-test.out
PT_ERR=/tmp/pendant-test.err
pt_pid=""

# A command pendant-test runs under, if any: a background job of this shell
# starts with SIGINT ignored, and env --default-signal undoes it (coreutils'
# env, by its path: busybox runs its own applet for a bare "env").
PT_WRAP=""

# Arguments pendant-test is started with (pt_start), words split; none
# unless a scenario sets them.
PT_ARGS=""

# pt_start [tester]: runs pendant-test (as the unprivileged user "tester"
# when asked) with unbuffered output and a FIFO on standard input, held
# open on fd 8 so that the closing read waits for what we write. Standard
# output goes to $PT_OUT, standard error to $PT_ERR.
pt_start() {
    rm -f /tmp/pt.in "$PT_OUT" "$PT_ERR"
    mkfifo /tmp/pt.in
    if [ "$1" = tester ]; then
        su -s /bin/sh tester -c 'exec /usr/local/bin/stdbuf -o0 /usr/local/bin/pendant-test' \
            </tmp/pt.in >"$PT_OUT" 2>"$PT_ERR" &
    else
        # shellcheck disable=SC2086 # PT_ARGS: words
        $PT_WRAP stdbuf -o0 pendant-test $PT_ARGS </tmp/pt.in >"$PT_OUT" 2>"$PT_ERR" &
    fi
    pt_pid=$!
    exec 8>/tmp/pt.in
}
pt_alive() { kill -0 "$pt_pid" 2>/dev/null; }
# pt_stop: ends pendant-test by SIGTERM; fails (and kills it) when it does
# not end within 10 s.
pt_stop() {
    local ended=0
    [ -n "$pt_pid" ] || return 0
    kill "$pt_pid" 2>/dev/null
    if ! vm_wait 10 sh -c "! kill -0 $pt_pid 2>/dev/null"; then
        echo "[vm] pendant-test did not end on SIGTERM: $(cat "/proc/$pt_pid/wchan" 2>/dev/null)"
        kill -9 "$pt_pid"
        ended=1
    fi
    wait "$pt_pid" 2>/dev/null
    pt_pid=""
    exec 8>&-
    return "$ended"
}
pt_has() { grep -q "$1" "$PT_OUT"; }
EXPECTED=/tmp/expected.out
# pt_is_expected: the tool's output so far is exactly $EXPECTED.
pt_is_expected() { cmp -s "$EXPECTED" "$PT_OUT"; }
pt_lines() { wc -l <"$PT_OUT"; }
# CPU time (user + system, in clock ticks) the tool has used so far.
pt_ticks() { awk '{ print $14 + $15 }' "/proc/$pt_pid/stat"; }

# The driver of an interface (a sysfs directory such as .../1-1:1.0), or
# "none".
iface_driver() {
    if [ -e "$1/driver" ]; then basename "$(readlink "$1/driver")"; else echo none; fi
}
# The HID device the kernel made for an interface ("0003:VVVV:PPPP.NNNN"),
# or "none": a new one each time a HID driver binds, so an unchanged name
# says the interface was left alone.
iface_hid() {
    local d
    for d in "$1"/0003:*; do
        [ -e "$d" ] && { basename "$d"; return 0; }
    done
    echo none
}

# The closing read: Enter alone does not end the tool, a word does, with
# status 0.
pt_check_closing_read() {
    local name="$1"
    echo "" >&8
    usleep 500000
    vm_check "$name: Enter alone does not end it" pt_alive
    echo "bye" >&8
    pt_expect_end "$name: exits after a word" 0 "the word"
}

# vm_expect_exit PID CHECK STATUS WHAT: the background process PID ends
# within 10 s of WHAT, with STATUS; else the check fails and it is killed.
vm_expect_exit() {
    local pid="$1" check="$2" want="$3" what="$4" status
    if vm_wait 10 sh -c "! kill -0 $pid 2>/dev/null"; then
        wait "$pid"
        status=$?
        vm_check "$check (status $status, expected $want)" test "$status" -eq "$want"
    else
        vm_fail "$check" "still running 10 s after $what"
        kill -9 "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    fi
}
# pt_expect_end CHECK STATUS WHAT: the same for pendant-test, which is then
# done with.
pt_expect_end() {
    vm_expect_exit "$pt_pid" "$@"
    pt_pid=""
    exec 8>&-
}

# The failure path: exactly the lines of the printf format $2 on standard
# output and those of $4 (default: none) on standard error, then the
# closing read.
pt_check_failure() {
    local name="$1" who="$3"
    # shellcheck disable=SC2059 # the expected output is given as a printf format
    printf "$2" >"$EXPECTED"
    # shellcheck disable=SC2059 # the same
    printf "${4:-}" >"$EXPECTED.err"
    pt_start "$who"
    vm_wait 30 pt_has 'nothing to do' || true
    usleep 300000
    if pt_is_expected; then
        vm_pass "$name: prints exactly the failure lines"
    else
        vm_fail "$name: prints exactly the failure lines" "got: $(od -c "$PT_OUT" | head -n 8)"
    fi
    if cmp -s "$EXPECTED.err" "$PT_ERR"; then
        vm_pass "$name: standard error is as expected"
    else
        vm_fail "$name: standard error is as expected" "got: $(head -c 400 "$PT_ERR")"
    fi
    vm_check "$name: waits for a word" pt_alive
    pt_check_closing_read "$name"
}


# pendant_ready [pendant-gadget options]: the udev rule for fff0:0001 and a
# gadget pendant of that id plugged in; $dev is its sysfs directory on the
# host side, $node its usbfs node.
pendant_ready() {
    dev="" node=""
    pendant-test-udev-rule fff0:0001 /etc/udev/rules.d/70-pendant-test.rules &&
        udevadm control --reload &&
        gadget_create 0xfff0 0x0001 "$@" && gadget_bind || return 1
    dev=$(gadget_host_dir)
    # shellcheck disable=SC2034 # $node is for the scenarios
    node=/dev/bus/usb/$(printf %03d "$(cat "$dev/busnum")")/$(printf %03d "$(cat "$dev/devnum")")
}

# pt_opened: pendant-test has printed its survey and holds interface 0.
pt_opened() {
    vm_wait 30 pt_has 'Endpoint query complete' &&
        vm_wait 10 sh -c "[ \"\$(basename \"\$(readlink '$dev:1.0/driver')\")\" = usbfs ]"
}

# pt_trace_count: how many trace lines pendant-test has printed.
pt_trace_count() { grep -o 'Read from rk27:' "$PT_OUT" | wc -l; }

# byte N (0-based) of the kernel's copy of the device's descriptors
descriptor_byte() { od -An -tu1 -j "$2" -N1 "$1/descriptors" | tr -d ' '; }

# survey_of DEV: the survey pendant-test prints for interface 0 of DEV, made
# from the kernel's own copy of its descriptors (interrupt endpoints only).
survey_of() {
    local i="$1:1.0" ep n=0 first=1
    printf '\nCreating and sending device query...'
    printf '\n#Descriptor type   : 4'
    printf '\n#Interface Class   : %d' "0x$(cat "$i/bInterfaceClass")"
    printf '\n#Interface Number  : %d' "0x$(cat "$i/bInterfaceNumber")"
    printf '\n#Interface Protocol: %d' "0x$(cat "$i/bInterfaceProtocol")"
    printf '\n#Interface SubClass: %d' "0x$(cat "$i/bInterfaceSubClass")"
    # The configuration descriptor's 9 bytes follow the device's 18, then
    # interface 0's; its iInterface is byte 8 of it.
    printf '\n#iInterface        : %d' "$(descriptor_byte "$1" 35)"
    printf '\n#Endpoints Found   : %d' "0x$(cat "$i/bNumEndpoints")"
    printf '\nFinished device query.'
    printf '\n\nCreating and sending endpoint queries...'
    for ep in "$i"/ep_*; do
        printf '\n    Endpoint %d:\n      Type: Interrupt\n      PipeID: %d' "$n" \
            "0x$(cat "$ep/bEndpointAddress")"
        [ "$first" = 1 ] && printf '\n      PipeInterruptFirst set to this pipe.'
        first=0
        printf '\n      MaxPacket: %d' "0x$(cat "$ep/wMaxPacketSize")"
        n=$((n + 1))
    done
    printf '\nEndpoint query complete.'
}

# ---- the jog sequence: report, and whether it moves a coordinate
# (linux-usb and kernel-hid play it to pendant-gadget and to the kernel's
# own HID function)
# 04 00 00 AXIS DELTA 00; axes 0x11-0x13, deltas +-1..31. A fourth field
# of 8 sends the report padded to 8 bytes: a full packet, which no short
# packet ends, so each must still arrive as a report of its own.
# shellcheck disable=SC2034 # for the scenarios
JOG="12:02:1 11:ff:1 13:1f:1 12:e1:1 14:05:0 11:20:0 13:e0:0 11:01:1 11:01:1:8 11:01:1:8"
# shellcheck disable=SC2034 # for the scenarios
EXPECTED_COORDS='COORDS 0.0000 0.0000 0.0000 0.0000 2.0000 0.0000 WORDS 0 0 0 0
COORDS 0.0000 0.0000 0.0000 -1.0000 2.0000 0.0000 WORDS 0 0 0 0
COORDS 0.0000 0.0000 0.0000 -1.0000 2.0000 31.0000 WORDS 0 0 0 0
COORDS 0.0000 0.0000 0.0000 -1.0000 -29.0000 31.0000 WORDS 0 0 0 0
COORDS 0.0000 0.0000 0.0000 0.0000 -29.0000 31.0000 WORDS 0 0 0 0
COORDS 0.0000 0.0000 0.0000 1.0000 -29.0000 31.0000 WORDS 0 0 0 0
COORDS 0.0000 0.0000 0.0000 2.0000 -29.0000 31.0000 WORDS 0 0 0 0'
# CoordSet2 = (2, -29, 31): -29 is 29 with the sign bit in the fraction word.
# shellcheck disable=SC2034 # for the scenarios
EXPECTED_LAST_FRAME="06 fe fd 0f 00 00 00 00 06 00 00 00 00 00 00 00 06 00 02 00 00 00 1d 00 \
06 00 80 1f 00 00 00 00 06 00 00 00 00 00 00 00 06 08 02 00 00 00 00 00"

# jog_report STEP [8]: the report bytes of one step of $JOG, as hex words,
# padded to 8 bytes when the step says so or when asked.
jog_report() {
    local rest="${1#*:}"
    if [ "${rest##*:}" = 8 ] || [ "${2:-}" = 8 ]; then
        echo "04 00 00 ${1%%:*} ${rest%%:*} 00 00 00"
    else
        echo "04 00 00 ${1%%:*} ${rest%%:*} 00"
    fi
}
# jog_moves STEP: 1 when the step moves a coordinate, else 0.
jog_moves() {
    local rest="${1#*:*:}"
    echo "${rest%%:*}"
}
# trace_line_of HH...: the trace line pendant-test prints for the report.
trace_line_of() {
    printf 'Read from rk27: %x %x %x %x %x %x \n' "0x$1" "0x$2" "0x$3" "0x$4" "0x$5" "0x$6"
}

# ---- the kernel's own HID gadget function as a pendant (kernel-hid,
# hidraw): configfs functions/hid.usb0, 8-byte input reports, no OUT
# endpoint, the pendant's report descriptor from protocol/, written to
# through /dev/hidg0

KHID=/sys/kernel/config/usb_gadget/khid
KHID_FN=$KHID/functions/hid.usb0
KHID_IDS=fff0:0003

# khid_create [DESCRIPTOR-FILE [REPORT-LENGTH]]: builds and binds the
# gadget, with the report descriptor in the file (default: protocol/'s for
# 8-byte reports) and the function's report length (default 8); fails
# saying what the kernel lacks.
khid_create() {
    local udc
    if [ ! -d /sys/kernel/config/usb_gadget ]; then
        vm_fail "gadget built" "no /sys/kernel/config/usb_gadget: configfs or libcomposite missing"
        return 1
    fi
    mkdir "$KHID" || return 1
    echo 0xfff0 >"$KHID/idVendor"
    echo 0x0003 >"$KHID/idProduct"
    echo 0x0200 >"$KHID/bcdUSB"
    mkdir "$KHID/strings/0x409"
    echo "kernel HID function pendant" >"$KHID/strings/0x409/product"
    echo "khid-1" >"$KHID/strings/0x409/serialnumber"
    if ! mkdir "$KHID_FN" 2>/dev/null; then
        vm_fail "gadget built" "functions/hid.usb0 refused: the guest kernel has no HID gadget function (usb_f_hid)"
        return 1
    fi
    if [ ! -e "$KHID_FN/no_out_endpoint" ]; then
        vm_fail "gadget built" "functions/hid.usb0 has no no_out_endpoint: the guest kernel's HID function is older than 5.19"
        return 1
    fi
    echo 0 >"$KHID_FN/protocol"
    echo 0 >"$KHID_FN/subclass"
    echo "${2:-8}" >"$KHID_FN/report_length"
    echo 1 >"$KHID_FN/no_out_endpoint"
    if [ -n "${1:-}" ]; then
        cp "$1" /tmp/khid.desc
    else
        pendant-report-descriptor 8 >/tmp/khid.desc
    fi || return 1
    cat /tmp/khid.desc >"$KHID_FN/report_desc" || return 1
    mkdir "$KHID/configs/c.1"
    ln -s "$KHID_FN" "$KHID/configs/c.1/" || return 1
    udc=""
    for udc in /sys/class/udc/*; do
        [ -e "$udc" ] && udc=$(basename "$udc") && break
        udc=""
    done
    [ -n "$udc" ] || { vm_fail "gadget built" "no USB device controller (dummy_hcd)"; return 1; }
    echo "$udc" >"$KHID/UDC" || return 1
    vm_wait 20 usb_host_dir "$KHID_IDS" >/dev/null && udevadm settle --timeout=30
}
# khid_play [BYTES]: the check's round (GOOD_ROUND's reports) written to
# /dev/hidg0 over and over, as pendant-gadget plays it, each report cut to
# its first BYTES bytes (default: all 8); khid_play_stop ends it.
KHID_ROUND="0:00 1:00 2:00 3:00 3:05 3:05 3:05 3:05 3:fb 3:fb 3:fb 3:fb"
khid_play_pid=""
khid_play() {
    rm -f /tmp/khid-play.stop
    (
        exec 8>&-
        while [ ! -e /tmp/khid-play.stop ]; do
            for r in $KHID_ROUND; do
                axis=${r%%:*}
                [ "$axis" = 0 ] || axis=1$axis
                # A write waits until the host took the report before.
                # shellcheck disable=SC2046 # one word per byte
                write_bytes /dev/hidg0 $(echo 04 00 00 "$(printf %02x "0x$axis")" "${r#*:}" 00 00 00 |
                    cut -d ' ' -f "1-${1:-8}")
            done
        done
    ) &
    khid_play_pid=$!
}
khid_play_stop() {
    [ -n "$khid_play_pid" ] || return 0
    touch /tmp/khid-play.stop
    kill "$khid_play_pid" 2>/dev/null
    wait "$khid_play_pid" 2>/dev/null
    khid_play_pid=""
}
khid_remove() {
    [ -d "$KHID" ] || return 0
    echo "" >"$KHID/UDC" 2>/dev/null
    rm -f "$KHID/configs/c.1/hid.usb0"
    rmdir "$KHID/configs/c.1" "$KHID_FN" "$KHID/strings/0x409" "$KHID"
}

# ---- other USB devices on the host side, and the kernel's USB monitor

# usb_host_dir VVVV:PPPP: the host side's sysfs directory of the device
# with that id, once enumerated.
usb_host_dir() {
    local d
    for d in /sys/bus/usb/devices/*; do
        [ -f "$d/idVendor" ] || continue
        if [ "$(cat "$d/idVendor"):$(cat "$d/idProduct")" = "$1" ]; then
            echo "$d"
            return 0
        fi
    done
    return 1
}
# hidraw_of INTERFACE-DIR: the hidraw node (hidrawN) the kernel's HID driver
# made for that interface, or nothing.
hidraw_of() {
    local n
    for n in "$1/$(iface_hid "$1")/hidraw"/hidraw*; do
        [ -e "$n" ] && basename "$n"
    done
}
# gadget_sent_from LINE: the reports the gadget's log says were sent from
# line LINE on, as lower-case hex words.
gadget_sent_from() { tail -n "+$1" "$GADGET_LOG" | sed -n 's/^IN-SENT //p' | tr 'A-F' 'a-f'; }
# hidraw_check NAME INTERFACE-DIR SIZE COUNT COMMAND...: reads COUNT reports
# of SIZE bytes from the interface's hidraw node while COMMAND has the gadget
# send them, and checks that hidraw delivers, one a read, exactly the
# reports the gadget logs as sent (IN-SENT), in order.
hidraw_check() {
    local name="$1" iface="$2" size="$3" count="$4" hidraw from reader
    shift 4
    hidraw=$(hidraw_of "$iface")
    vm_check "$name: hidraw node made" test -n "$hidraw" -a -c "/dev/$hidraw" || return 1
    from=$(($(wc -l <"$GADGET_LOG") + 1))
    # Blocks larger than any report, so that each read is one report. The
    # node stays open a little after the last read, so that the HID driver
    # also takes the zero-length packet a report filling its last packet
    # may end with (the gadget logs a report as sent once that is taken).
    (
        dd of=/tmp/hidraw.bin bs=128 count="$count" 2>/tmp/hidraw.dd
        status=$?
        usleep 1500000
        exit "$status"
    ) <"/dev/$hidraw" &
    reader=$!
    usleep 300000
    "$@"
    vm_expect_exit "$reader" "$name: hidraw: $count reads" 0 "$count reports"
    vm_wait 10 sh -c "[ \$(tail -n '+$from' '$GADGET_LOG' | grep -c '^IN-SENT') -ge $count ]"
    od -An -v -tx1 "-w$size" /tmp/hidraw.bin | sed 's/^ //' >/tmp/hidraw.got
    gadget_sent_from "$from" >/tmp/hidraw.logged
    vm_check "$name: hidraw: the gadget logs the $count reports as sent" \
        test "$(wc -l </tmp/hidraw.logged)" -eq "$count"
    vm_check "$name: hidraw: every report the gadget sent, in order, $size bytes each" \
        cmp -s /tmp/hidraw.logged /tmp/hidraw.got ||
        { vm_show "sent" /tmp/hidraw.logged; vm_show "hidraw" /tmp/hidraw.got; }
    vm_check "$name: hidraw: one report per read" grep -q "^0+$count records in" /tmp/hidraw.dd
}
# write_bytes FILE HH...: writes the bytes in one write.
write_bytes() {
    local file="$1" escapes
    shift
    escapes=$(for b in "$@"; do printf '\\%03o' "0x$b"; done)
    # shellcheck disable=SC2059 # the format is the octal escapes just made
    printf "$escapes" >"$file"
}
# hex_of FILE: the file's bytes as lower-case hex words on one line.
hex_of() { od -An -v -tx1 "$1" | tr -s ' \n' '  ' | sed 's/^ //; s/ $//'; }

# usbmon_start BUS FILE / usbmon_stop: the monitor's text interface for the
# bus (debugfs), as the kernel writes it: per URB its submission (S) and
# completion (C), data words of up to 32 bytes.
usbmon_pid=""
usbmon_start() {
    grep -q ' /sys/kernel/debug ' /proc/mounts || mount -t debugfs debugfs /sys/kernel/debug
    if [ ! -r "/sys/kernel/debug/usb/usbmon/${1}u" ]; then
        vm_fail "usbmon" "no /sys/kernel/debug/usb/usbmon/${1}u: the guest kernel needs usbmon"
        return 1
    fi
    cat "/sys/kernel/debug/usb/usbmon/${1}u" >"$2" &
    usbmon_pid=$!
}
usbmon_stop() {
    [ -n "$usbmon_pid" ] || return 0
    kill "$usbmon_pid" 2>/dev/null
    wait "$usbmon_pid" 2>/dev/null
    usbmon_pid=""
}
# usbmon_data FILE EVENT ADDRESS [SETUP]: the data bytes of each matching
# record, one record a line (lower-case hex words): EVENT S or C, ADDRESS
# such as Ii:1:003:1 or Co:1:003:0; SETUP, when given, the setup packet's
# first words ("21 09 0306": a SET_REPORT of feature report 6).
usbmon_data() {
    awk -v ev="$2" -v addr="$3" -v setup="${4:-}" '
        $3 != ev || $4 != addr { next }
        {
            rest = ""
            for (i = 5; i <= NF; i++) rest = rest " " $i
            if (setup != "" && index(rest, " s " setup " ") != 1) next
            at = index(rest, " = ")
            if (at == 0) { print ""; next }
            words = substr(rest, at + 3)
            gsub(/ /, "", words)
            out = ""
            for (i = 1; i <= length(words); i += 2) out = out (out == "" ? "" : " ") substr(words, i, 2)
            print out
        }' "$1"
}
# usbmon_lengths FILE EVENT ADDRESS: the length field of each matching
# completion (the bytes the transfer moved).
usbmon_lengths() {
    awk -v ev="$2" -v addr="$3" '$3 == ev && $4 == addr { print $6 }' "$1"
}

# ---- pendant-test --check (the check-* scenarios)

RECORD=/tmp/check.json
# The selector through off, 1, 2 and 3, then the wheel on axis 3 forward by
# 20 counts and back by 20: every wait of the check is met within a round.
# shellcheck disable=SC2034 # for the scenarios
GOOD_ROUND="jog 0 0;jog 1 0;jog 2 0;jog 3 0;jog 3 5;jog 3 5;jog 3 5;jog 3 5;jog 3 -5;jog 3 -5;jog 3 -5;jog 3 -5"
# shellcheck disable=SC2034 # for the scenarios
GOOD_ROUND_REPORTS=12

# check_start [pendant-test options]: the gadget pendant plugged in and
# pendant-test --check, its record to $RECORD, holding it; the step times
# are the scenario's to give. When it cannot start, both are stopped.
check_start() {
    rm -f "$RECORD"
    PT_ARGS="--check --report $RECORD $*"
    if vm_check "pendant ready" pendant_ready && pt_start && vm_check "opened" pt_opened; then
        PT_ARGS=""
        return 0
    fi
    PT_ARGS=""
    pt_stop
    gadget_stop >/dev/null 2>&1
    return 1
}

# check_end: the gadget stopped; after a failed check, what the tool
# printed, its record, and the gadget's errors and latest log.
check_end() {
    gadget_stop >/dev/null 2>&1
    [ "$vm_nfail" -gt 0 ] || return 0
    vm_show "pendant-test output" "$PT_OUT"
    vm_show "pendant-test errors" "$PT_ERR"
    vm_show "record" "$RECORD"
    vm_show "gadget errors" "$GADGET_ERR"
    tail -n 60 "$GADGET_LOG"
}

# record_has FILTER: jq (a JSON parser that is not ours) reads the record
# and FILTER is true of it.
record_has() { jq -e "$1" "$RECORD" >/dev/null 2>&1; }
# record_check NAME FILTER: the same as a check.
record_check() { vm_check "record: $1" record_has "$2"; }
# The guest has jq only when the build host has it (it is copied in).
have_jq() {
    command -v jq >/dev/null && return 0
    vm_fail "record" "no jq in the guest: the build host lacks jq (scripts/deps.sh installs it)"
    return 1
}

# pattern_decoded N: the gadget decoded a frame that shows pattern N as the
# check told the person to look for it (to the three decimals it prints).
pattern_decoded() {
    local want
    want=$(awk -v n="$1" '
        $1 == "Pattern" && $3 == "sent." { on = ($2 == n); next }
        on && $1 == "set" { for (i = 3; i <= NF; i++) out = out sprintf(" %.3f", $i + 0) }
        on && $1 == "words:" { for (i = 2; i <= NF; i++) out = out sprintf(" %.3f", $i + 0); print out; exit }
    ' "$PT_OUT")
    [ -n "$want" ] || return 1
    grep '^COORDS' "$GADGET_LOG" | awk '{
        out = ""
        for (i = 2; i <= 7; i++) out = out sprintf(" %.3f", $i + 0)
        for (i = 9; i <= 12; i++) out = out sprintf(" %.3f", $i + 0)
        print out
    }' | grep -qxF -- "$want"
}

# hid_survey_of DEV [NL]: the survey pendant-test --hid prints for the
# pendant DEV (its host side sysfs directory): its ids from the kernel, the
# rest from protocol/'s report descriptor for 8-byte reports. Each line
# begins with NL: a line feed, or "\r\n" for the Windows program.
hid_survey_of() {
    nl="${2:-\n}"
    printf '%bCreating and sending device query...' "$nl"
    printf "%b#Reached through   : the system's HID driver" "$nl"
    printf '%b#Vendor ID         : 0x%s' "$nl" "$(cat "$1/idVendor")"
    printf '%b#Product ID        : 0x%s' "$nl" "$(cat "$1/idProduct")"
    printf '%b#Version           : 0x%s' "$nl" "$(cat "$1/bcdDevice")"
    printf '%b#Usage Page        : 0xff00' "$nl"
    printf '%b#Usage             : 0x0001' "$nl"
    printf '%b#Input Report      : 8 bytes' "$nl"
    printf '%b#Feature Report    : 8 bytes' "$nl"
    printf '%bFinished device query.' "$nl"
}
