# shellcheck shell=dash disable=SC2034,SC2154 # sourced by the wine-* scenarios, sharing lib.sh's variables
# The Windows program on the kernel's USB stack (vm.wine_hid; the guest runs
# the build host's root, guest/init-host-root): the host's Wine runs the
# 32-bit pendant-test.exe natively on the guest's kernel, and reaches the
# pendant through Wine's HID stack (hid.dll, hidclass, winebus reading the
# guest's hidraw nodes through udev) and the kernel's usbhid over dummy_hcd.
# The Wine prefix was made on the build host (vm-test-wine.sh, /vm/wine.env
# names it); what Wine writes to it here stays in the guest's overlay.

WINE=/usr/lib/wine/wine
# The server itself: Debian's wrapper script starts it with -p0.
WINESERVER=/usr/lib/wine/wineserver64
[ -x "$WINESERVER" ] || WINESERVER=/usr/lib/wine/wineserver32
PT_EXE=/usr/local/bin/pendant-test.exe
# The check's record as the Windows program names it (Wine's drive Z: is /).
PT_RECORD_WIN='Z:\tmp\check.json'
wine_started="${wine_started:-}" # once a boot

# shellcheck source=/dev/null # written by vm-test-wine.sh
. /vm/wine.env
export WINEPREFIX WINEARCH=win32 WINELOADER="$WINE" WINEDEBUG=-all
# No Mono or Gecko installers, no desktop menu entries.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY

# wine_ready: Wine runs 32-bit programs here, its server stays up between
# runs (so that its device drivers, winebus among them, do) and its services
# have started; fails saying what is missing. Once a boot.
wine_ready() {
    local t0 out
    [ -n "$wine_started" ] && return 0
    if [ ! -x "$WINE" ]; then
        vm_fail "Wine" "no $WINE on the build host: install wine32:i386 (scripts/deps.sh)"
        return 1
    fi
    if [ ! -s "$PT_EXE" ]; then
        vm_fail "pendant-test.exe" "not in the guest (vm-test-wine.sh copies it in)"
        return 1
    fi
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        vm_fail "Wine prefix" "no $WINEPREFIX/system.reg (vm-test-wine.sh makes it on the host)"
        return 1
    fi
    if ! out=$("$WINE" --version 2>&1); then
        vm_fail "Wine runs 32-bit programs" \
            "$WINE --version: $out (the guest kernel needs IA32 emulation: CONFIG_IA32_EMULATION)"
        return 1
    fi
    vm_pass "Wine runs 32-bit programs here ($out)"
    t0=$(date +%s)
    "$WINESERVER" -p
    # wineboot starts the services: plugplay loads winebus, whose udev bus
    # then watches hidraw.
    if ! timeout 300 "$WINE" wineboot >/tmp/wineboot.log 2>&1; then
        vm_fail "Wine started" "wineboot failed or took over 300 s"
        vm_show "wineboot" /tmp/wineboot.log
        return 1
    fi
    vm_figure wine-start-seconds $(($(date +%s) - t0))
    wine_started=1
}

# wine_holds NODE: a Wine process (winebus, in winedevice.exe) has
# /dev/NODE open.
wine_holds() {
    local fd
    for fd in /proc/[0-9]*/fd/*; do
        [ "$(readlink "$fd" 2>/dev/null)" = "/dev/$1" ] && return 0
    done
    return 1
}

# wine_start ARGS...: runs pendant-test.exe under Wine as pt_start runs
# pendant-test: a FIFO on standard input held open on fd 8, standard output
# to $PT_OUT, standard error to $PT_ERR; the Windows program writes CR LF.
wine_start() {
    rm -f /tmp/pt.in "$PT_OUT" "$PT_ERR"
    mkfifo /tmp/pt.in
    "$WINE" "$PT_EXE" "$@" </tmp/pt.in >"$PT_OUT" 2>"$PT_ERR" &
    pt_pid=$!
    exec 8>/tmp/pt.in
}

# wine_expect_end CHECK STATUS SECONDS WHAT: pendant-test.exe ends within
# SECONDS of WHAT, with STATUS; else the check fails and it is killed.
wine_expect_end() {
    local check="$1" want="$2" limit="$3" what="$4" status
    if vm_wait "$limit" sh -c "! kill -0 $pt_pid 2>/dev/null"; then
        wait "$pt_pid"
        status=$?
        vm_check "$check (status $status, expected $want)" test "$status" -eq "$want"
    else
        vm_fail "$check" "still running $limit s after $what"
        kill -9 "$pt_pid" 2>/dev/null
        wait "$pt_pid" 2>/dev/null
    fi
    pt_pid=""
    exec 8>&-
}

# crlf: standard input, whole lines, each ended in CR LF, as the Windows
# program writes it.
crlf() { sed 's/$/\r/'; }
# pt_crlf_has PATTERN: a line of the program's output, its CR taken off,
# matches.
pt_crlf_has() { tr -d '\r' <"$PT_OUT" | grep -q "$1"; }

# command_report "jog AXIS COUNT": the 8-byte report pendant-gadget's jog
# command sends, as hex words (axis 0: no axis selected, code 0).
command_report() {
    # shellcheck disable=SC2086 # the command's words
    set -- $1
    local code=0
    [ "$2" -gt 0 ] && code=$((0x10 + $2))
    printf '04 00 00 %02x %02x 00 00 00\n' "$code" $(($3 & 255))
}

# ---- the runs, against the pendant the scenario plugged in ($dev, its
# hidraw node $hidraw). The scenario supplies:
#   pendant_send HH...   the pendant sends this 8-byte input report
#   pendant_frames       the display frames the pendant was sent so far,
#                        one a line (48 hex words)
#   pendant_play_check / pendant_play_stop: keep playing the check's round
#                        ($GOOD_ROUND) / stop it

# listed_once IDS: the output is one line, a HID device's path with IDS
# and the way, HID.
listed_once() {
    [ "$(wc -l <"$PT_OUT")" -eq 1 ] && tr -d '\r' <"$PT_OUT" | grep -i 'hid#' | grep -q "  $1  HID\$"
}
# wine_list: --list names the pendant's HID device with its id, and ends 0.
wine_list() {
    local ids
    ids=$(cat "$dev/idVendor"):$(cat "$dev/idProduct")
    wine_start --list
    wine_expect_end "--list ends" 0 60 "its start"
    vm_check "--list: one line, its HID device, $ids, HID" listed_once "$ids" ||
        vm_show "--list" "$PT_OUT"
}

# wine_plain: without --hid the program looks for the WinUSB GUID, finds
# nothing, says so exactly, points to --hid on standard error (once it has
# looked among the HID devices, after the lines) and ends after a word.
wine_plain() {
    printf 'Device not connected or driver not installed\r\nnothing to do...\r\n' >"$EXPECTED"
    printf "pendant-test: a pendant is on the system's HID driver; pendant-test --hid reaches it\r\n" \
        >"$EXPECTED.err"
    wine_start
    vm_wait 60 pt_has 'nothing to do' || true
    vm_wait 30 test -s "$PT_ERR" || true
    usleep 500000
    vm_check "plain: waits for a word" pt_alive
    echo "bye" >&8
    wine_expect_end "plain: ends after a word" 0 30 "the word"
    vm_check "plain: exactly the failure lines" pt_is_expected ||
        vm_show "plain: output" "$PT_OUT"
    vm_check "plain: the advice on standard error" cmp -s "$EXPECTED.err" "$PT_ERR" ||
        vm_show "plain: standard error" "$PT_ERR"
}

# frames_at_least N: the pendant was sent N display frames or more.
frames_at_least() { [ "$(pendant_frames | wc -l)" -ge "$1" ]; }

# wine_hid: --hid prints the HID survey, one exact trace line per report the
# pendant sends, in order, a display frame per move, the last one
# byte-exact; Ctrl+C ends it.
wine_hid() {
    local sent=0 frames=0 step report
    hid_survey_of "$dev" "\r\n" >"$EXPECTED"
    wine_start --hid
    if ! vm_check "--hid: survey printed" vm_wait 60 pt_has 'Finished device query'; then
        vm_show "--hid: output" "$PT_OUT"
        vm_show "--hid: errors" "$PT_ERR"
        pt_stop
        return 1
    fi
    vm_check "--hid: the survey is exact" pt_is_expected ||
        { vm_show "--hid: output" "$PT_OUT"; vm_show "expected" "$EXPECTED"; }
    for step in $JOG; do
        report=$(jog_report "$step" 8)
        # shellcheck disable=SC2086 # one word per byte
        pendant_send $report
        sent=$((sent + 1))
        frames=$((frames + $(jog_moves "$step")))
        # shellcheck disable=SC2086 # the same
        trace_line_of $report | crlf >>"$EXPECTED"
        if ! vm_wait 20 sh -c "[ \$(grep -c 'Read from rk27:' '$PT_OUT') -ge $sent ]"; then
            vm_fail "--hid: report $sent read" "no trace line within 20 s"
            break
        fi
        if ! vm_wait 20 frames_at_least "$frames"; then
            vm_fail "--hid: frame $frames after report $sent" "not at the pendant within 20 s"
            break
        fi
    done
    usleep 500000
    vm_check "--hid: one exact trace line per report, in order ($sent)" pt_is_expected ||
        { vm_show "--hid: output" "$PT_OUT"; vm_show "expected" "$EXPECTED"; }
    pendant_frames >/tmp/wine.frames
    vm_check "--hid: one frame of six feature reports per move ($frames)" \
        test "$(wc -l </tmp/wine.frames)" -eq "$frames"
    vm_check "--hid: the last frame, byte-exact, carries the moved coordinates" \
        test "$(tail -n 1 /tmp/wine.frames)" = "$EXPECTED_LAST_FRAME" ||
        vm_show "--hid: frames" /tmp/wine.frames
    kill -INT "$pt_pid"
    wine_expect_end "--hid: Ctrl+C ends it" 0 30 "SIGINT"
    vm_check "--hid: nothing on standard error" test ! -s "$PT_ERR" ||
        vm_show "--hid: errors" "$PT_ERR"
}

# wine_check: --check --hid --no-person passes while the pendant plays the
# selector and the wheel, and its record says so.
wine_check() {
    local ids
    rm -f "$RECORD"
    wine_start --check --hid --no-person --step-timeout 60 --report "$PT_RECORD_WIN"
    if ! vm_check "--check: opened" vm_wait 60 pt_has 'Finished device query'; then
        vm_show "--check: output" "$PT_OUT"
        pt_stop
        return 1
    fi
    pendant_play_check
    vm_wait 300 pt_has '^Verdict:' || true
    pendant_play_stop
    wine_expect_end "--check: exit status 0" 0 60 "the verdict"
    vm_check "--check: verdict PASS, 3 passed, 3 skipped" \
        pt_crlf_has '^Verdict: PASS (3 passed, 3 skipped)$' || vm_show "--check: output" "$PT_OUT"
    vm_check "--check: nothing on standard error" test ! -s "$PT_ERR" ||
        vm_show "--check: errors" "$PT_ERR"
    have_jq && vm_check "--check: record written" test -s "$RECORD" || return 1
    ids="$((0x$(cat "$dev/idVendor"))) and .pendant.productId == $((0x$(cat "$dev/idProduct")))"
    ids="$ids and .pendant.deviceRelease == $((0x$(cat "$dev/bcdDevice")))"
    record_check "verdict PASS, exit status 0" '.verdict == "PASS" and .exitStatus == 0'
    record_check "connection, selector and wheel PASS; display and unplug skipped" \
        '[.steps[] | [.name, .result]] == [["connection","PASS"],["display","SKIPPED"],["axis","PASS"],["wheel","PASS"],["unplug","SKIPPED"],["rules","SKIPPED"]]'
    record_check "the pendant's ids and release" ".pendant.vendorId == $ids"
    record_check "HID, 8-byte reports" '.pendant.interfaceClass == 3 and .pendant.readBytes == 8'
    record_check "its HID device path" '.pendant.devicePath | ascii_downcase | contains("hid#")'
    record_check "no person, 60 s a wait" '.person == false and .stepTimeoutSeconds == 60'
    record_check "the selector's codes" \
        '.steps[2].figures == {"codeOff":0,"codeAxis1":17,"codeAxis2":18,"codeAxis3":19}'
    record_check "the wheel: 10 or more each way in counts of 5, none ignored" \
        '.steps[3].figures | .forwardCounts >= 10 and .backwardCounts >= 10 and .largestCount == 5 and .ignoredReports == 0'
    [ "$vm_nfail" -gt 0 ] && vm_show "record" "$RECORD"
    return 0
}

# wine_runs: all four against the pendant plugged in as $dev, once Wine's
# udev bus holds its hidraw node.
wine_runs() {
    hidraw=$(hidraw_of "$dev:1.0")
    vm_check "the kernel made a hidraw node" test -n "$hidraw" || return 1
    vm_check "Wine's udev bus opened /dev/$hidraw" vm_wait 60 wine_holds "$hidraw" || return 1
    wine_list
    wine_plain
    wine_hid
    wine_check
}
