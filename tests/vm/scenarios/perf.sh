# shellcheck shell=dash disable=SC2034,SC2154 # sourced by guest/lib.sh, sharing its variables
# Figures of pendant-test on the kernel's USB stack, for scripts/bench.sh
# (through tests/vm/perf-figures.sh): latency from an input report to the
# display frame it causes, a soak of random reports, idle and unplugged
# cost. Figures are reported, not judged here: a check fails only when a
# figure could not be taken.
#
# Under plain emulation (no KVM) every instruction costs many of the host's,
# so times and CPU shares are those of a much slower machine.

VID=0xfff0
PID=0x0001
LATENCY_REPORTS=200
SOAK_FIRST=100
SOAK_REST=9900
WINDOW=10 # seconds, idle and unplugged

# gadget_wait_count PATTERN N SECONDS: until N log lines match.
gadget_wait_count() {
    vm_wait "$3" sh -c "[ \$(grep -c '$1' '$GADGET_LOG') -ge $2 ]"
}

# gadget_stats: a fresh STATS line of the gadget.
gadget_stats() {
    local n
    n=$(gadget_count '^STATS')
    echo stats >&7
    gadget_wait_count '^STATS' $((n + 1)) 10 || return 1
    grep '^STATS' "$GADGET_LOG" | tail -n 1
}
# field NAME LINE: the value of NAME=value in LINE ("last" takes the rest).
field() {
    case "$1" in
    last) echo "${2##* last=}" ;;
    *) echo "$2" | sed -n "s/.* $1=\([^ ]*\).*/\1/p" ;;
    esac
}

# wait_frames N: up to 10 s until the gadget has N frames; prints the last
# STATS line.
wait_frames() {
    local i=0 line
    while line=$(gadget_stats) && [ "$(field frames "$line")" -lt "$1" ] && [ "$i" -lt 50 ]; do
        usleep 200000
        i=$((i + 1))
    done
    echo "$line"
}

# Seconds since boot, to 1/100 s.
uptime_s() { cut -d' ' -f1 /proc/uptime; }
pt_rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$pt_pid/status"; }
# Voluntary context switches of all the tool's threads: each is one time it
# blocked, so one wake-up.
pt_switches() { cat /proc/"$pt_pid"/task/*/status | awk '/^voluntary_ctxt_switches:/ { s += $2 } END { print s }'; }
# Run time of all its threads in ns (finer than pt_ticks' 10 ms ticks).
pt_runtime_ns() { cat /proc/"$pt_pid"/task/*/schedstat | awk '{ s += $1 } END { printf "%.0f", s }'; }

# usbmon, the kernel's USB monitor: every completion of an interrupt IN
# transfer on the pendant. A read that times out leaves its transfer
# submitted, so while the wheel is still there are none.
USBMON_OUT=/tmp/usbmon.txt
usbmon_pid=""
usbmon_start() {
    mountpoint -q /sys/kernel/debug || mount -t debugfs debugfs /sys/kernel/debug
    [ -r "/sys/kernel/debug/usb/usbmon/${1}u" ] || return 1
    cat "/sys/kernel/debug/usb/usbmon/${1}u" >"$USBMON_OUT" &
    usbmon_pid=$!
}
usbmon_stop() {
    kill "$usbmon_pid" 2>/dev/null
    wait "$usbmon_pid" 2>/dev/null
}
# Completions of interrupt IN transfers of device $1 on endpoint 1.
usbmon_read_returns() { grep -c " C Ii:[0-9]*:$(printf %03d "$1"):1 " "$USBMON_OUT"; }
# The tool's own share of each report's latency, in microseconds: from the
# completion of the input transfer that carried data to the submission of
# the first display SET_REPORT after it. One value a line.
usbmon_tool_shares() {
    awk -v dev="$(printf %03d "$1")" '
        $3 == "C" && $4 ~ ("^Ii:[0-9]+:" dev ":1$") && $6 > 0 { done = $2; next }
        $3 == "S" && $4 ~ ("^Co:[0-9]+:" dev ":0$") && $5 == "s" && $6 == "21" && $7 == "09" &&
            done != "" { print $2 - done; done = "" }' "$USBMON_OUT"
}

# System calls, counted with strace in the guest (counts, not times: the
# same on any machine). The wait in progress when strace attaches shows as
# restart_syscall. strace_window SECONDS OUT: every call of the tool
# for SECONDS into OUT, one a line.
strace_window() {
    local s
    strace -f -qq -o "$2" -p "$pt_pid" &
    s=$!
    sleep "$1"
    kill -INT "$s" 2>/dev/null
    wait "$s" 2>/dev/null
}
# The calls of a strace log, without the halves of calls it split in two.
strace_calls() { grep -v -e 'resumed>' -e '^[0-9]* *+++' -e '^[0-9]* *---' "$1"; }
# calls_per TURN_PATTERN LOG: calls per turn, a turn being a call matching
# TURN_PATTERN (the wait that ends an idle turn, the pause of an unplugged one).
calls_per() {
    strace_calls "$2" | awk -v turn="$1" '
        { n++ } $0 ~ turn { t++ }
        END { if (t) printf "%.2f %d %d", n / t, n, t; else print "n/a 0 0" }'
}
# For each trace line the tool wrote: the calls from the wait that saw its
# report to the submission of the first display transfer after it.
calls_to_display() {
    strace_calls "$1" | awk '
        /^[0-9]* *p?poll[(]/ { wait = NR }
        /write[(]1, "Read from rk27:/ { pending = wait }
        pending && /USBDEVFS_SUBMITURB/ && NR > pending { print NR - pending + 1; pending = 0 }'
}
median() { sort -n | awk '{ v[NR] = $1 } END { if (NR) print v[int((NR + 1) / 2)]; else print "n/a" }'; }
maximum() { sort -n | tail -n 1; }

# The calibration workloads; perf-figures.sh runs the same with the host's
# busybox.
calibrate_user() { awk 'BEGIN { for (i = 0; i < 200000; i++) s += i % 7 }'; }
calibrate_syscalls() { dd if=/dev/zero of=/dev/null bs=1 count=500000 2>/dev/null; }

# pct AMOUNT PER_SECOND SECONDS: AMOUNT as a percentage of PER_SECOND * SECONDS.
pct() { awk -v a="$1" -v r="$2" -v s="$3" 'BEGIN { printf "%.2f", 100 * a / (r * s) }'; }

scenario_main() {
    local dev busnum devnum line done_line n base last sum moving frames0
    local t0 t1 tk0 tk1 ns0 ns1 sw0 sw1 st0 st1 secs reads mism start_s

    start_s=$(uptime_s)
    vm_check "rule written" pendant-test-udev-rule fff0:0001 /etc/udev/rules.d/70-pendant-test.rules
    udevadm control --reload
    vm_check "gadget ready" gadget_create "$VID" "$PID"
    vm_check "gadget enumerated" gadget_bind
    dev=$(gadget_host_dir)
    busnum=$(cat "$dev/busnum")
    devnum=$(cat "$dev/devnum")
    pt_start
    vm_check "pendant opened" vm_wait 30 pt_has 'Endpoint query complete'
    # Per-transfer log lines would cost the gadget more than the tool.
    echo "quiet on" >&7

    # ---- latency: report queued -> sixth display report of its frame
    usbmon_start "$busnum" || vm_fail "usbmon" "no /sys/kernel/debug/usb/usbmon/${busnum}u"
    echo "timed $LATENCY_REPORTS 1" >&7
    if gadget_wait_count '^TIMED-DONE' 1 180; then
        done_line=$(grep '^TIMED-DONE' "$GADGET_LOG")
        vm_check "every timed report caused a frame" test "$(field missed "$done_line")" -eq 0
        vm_figure latency_reports "$(field n "$done_line")"
        vm_figure latency_median_ms "$(awk -v u="$(field median_us "$done_line")" 'BEGIN { printf "%.1f", u / 1000 }')"
        vm_figure latency_max_ms "$(awk -v u="$(field max_us "$done_line")" 'BEGIN { printf "%.1f", u / 1000 }')"
    else
        vm_fail "latency measured" "no TIMED-DONE within 180 s"
    fi
    usbmon_stop
    usbmon_tool_shares "$devnum" >/tmp/shares.txt
    vm_figure tool_share_reports "$(wc -l </tmp/shares.txt)"
    vm_figure tool_share_median_ms "$(median </tmp/shares.txt | awk '{ printf "%.2f", $1 / 1000 }')"
    vm_figure tool_share_max_ms "$(maximum </tmp/shares.txt | awk '{ printf "%.2f", $1 / 1000 }')"

    # ---- soak: random counts and axes, short and full packets
    line=$(gadget_stats)
    base=$(field last "$line")
    frames0=$(field frames "$line")
    echo "burst $SOAK_FIRST 2" >&7
    gadget_wait_count '^BURST-DONE' 1 60 || vm_fail "first soak reports sent" "no BURST-DONE within 60 s"
    moving=$(field moving "$(grep '^BURST-DONE' "$GADGET_LOG" | head -n 1)")
    # The frame of the last moving report follows its read.
    wait_frames $((frames0 + moving)) >/dev/null
    vm_figure rss_start_kb "$(pt_rss_kb)"
    t0=$(uptime_s)
    echo "burst $SOAK_REST 3" >&7
    if gadget_wait_count '^BURST-DONE' 2 400; then
        t1=$(uptime_s)
        moving=$((moving + $(field moving "$(grep '^BURST-DONE' "$GADGET_LOG" | tail -n 1)")))
        line=$(wait_frames $((frames0 + moving)))
        vm_figure rss_end_kb "$(pt_rss_kb)"
        n=$(grep '^BURST-DONE' "$GADGET_LOG" | awk '{ for (i = 2; i <= NF; i++) if ($i ~ /^sent=/) s += substr($i, 6) } END { print s }')
        vm_figure soak_reports "$n"
        vm_figure soak_short_reports "$(grep '^BURST-DONE' "$GADGET_LOG" | awk '{ for (i = 2; i <= NF; i++) if ($i ~ /^short=/) s += substr($i, 7) } END { print s }')"
        vm_figure soak_frames_expected "$moving"
        vm_figure soak_frames_received "$(($(field frames "$line") - frames0))"
        vm_figure soak_bad_frames "$(field bad_frames "$line")"
        vm_figure soak_seconds_for_rest "$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.1f", b - a }')"
        # Sum of the counts sent per axis against the change the display shows.
        sum=$(grep '^BURST-DONE' "$GADGET_LOG" | sed 's/.* sum=//' |
            awk '{ a += $1; b += $2; c += $3 } END { print a, b, c }')
        last=$(field last "$line")
        mism=$(echo "$base $last $sum" | awk '{
            m = 0
            for (i = 1; i <= 3; i++) if ($(3 + i) - $i != $(6 + i)) m++
            print m }')
        vm_figure soak_axes_mismatched "$mism"
        vm_figure soak_count_sums "$sum"
        vm_figure soak_display_change "$(echo "$base $last" | awk '{ printf "%g %g %g", $4 - $1, $5 - $2, $6 - $3 }')"
        # (the first trace line follows the survey's last line without a
        # line break, so count occurrences, not lines)
        vm_figure reports_read "$(field in "$line")"
        vm_figure trace_lines "$(grep -o 'Read from rk27:' "$PT_OUT" | wc -l)"
    else
        vm_fail "soak run" "no second BURST-DONE within 400 s"
    fi

    # ---- idle, wheel still, pendant attached
    sleep 1
    usbmon_start "$busnum" || vm_fail "usbmon" "no /sys/kernel/debug/usb/usbmon/${busnum}u"
    usleep 200000
    st0=$(gadget_stats)
    t0=$(uptime_s)
    tk0=$(pt_ticks)
    ns0=$(pt_runtime_ns)
    sw0=$(pt_switches)
    sleep "$WINDOW"
    tk1=$(pt_ticks)
    ns1=$(pt_runtime_ns)
    sw1=$(pt_switches)
    t1=$(uptime_s)
    st1=$(gadget_stats)
    usbmon_stop
    secs=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }')
    reads=$(usbmon_read_returns "$devnum")
    vm_figure idle_seconds "$secs"
    vm_figure idle_transfers $(($(field display_reports "$st1") - $(field display_reports "$st0")))
    vm_figure idle_control_transfers $(($(field setups "$st1") - $(field setups "$st0")))
    # A wake-up is the tool blocking once: its read waits out the time-out
    # on a transfer that stays submitted, so the bus sees no completion.
    vm_figure idle_wakeups_per_s "$(awk -v n=$((sw1 - sw0)) -v s="$secs" 'BEGIN { printf "%.1f", n / s }')"
    vm_figure idle_usb_completions_per_s "$(awk -v n="$reads" -v s="$secs" 'BEGIN { printf "%.1f", n / s }')"
    vm_figure idle_cpu_percent "$(pct $((tk1 - tk0)) 100 "$secs")"
    vm_figure idle_cpu_percent_schedstat "$(pct $((ns1 - ns0)) 1000000000 "$secs")"
    vm_check "the tool woke up while idle" test $((sw1 - sw0)) -gt 0

    # ---- system calls: an idle turn, and a report on its way to the display
    if command -v strace >/dev/null; then
        strace_window 3 /tmp/strace-idle.txt
        # shellcheck disable=SC2046 # its words are the figures, $1 first
        set -- $(calls_per '(p?poll|epoll_wait|restart_syscall)[(].*[)] = 0' /tmp/strace-idle.txt)
        vm_figure idle_syscalls_per_turn "$1"
        vm_figure idle_turns_traced "$3"
        vm_figure idle_syscalls_other "$(strace_calls /tmp/strace-idle.txt |
            grep -v -c -E '(p?poll|epoll_wait|restart_syscall)\(' || true)"
        strace -f -qq -o /tmp/strace-reports.txt -p "$pt_pid" &
        st0=$!
        usleep 500000
        n=$(gadget_count '^TIMED-DONE')
        echo "timed 20 7" >&7
        gadget_wait_count '^TIMED-DONE' $((n + 1)) 120 || vm_fail "traced reports" "no TIMED-DONE"
        kill -INT "$st0" 2>/dev/null
        wait "$st0" 2>/dev/null
        calls_to_display /tmp/strace-reports.txt >/tmp/to-display.txt
        vm_figure report_syscalls_to_display_reports "$(wc -l </tmp/to-display.txt)"
        vm_figure report_syscalls_to_display_median "$(median </tmp/to-display.txt)"
        vm_figure report_syscalls_to_display_max "$(maximum </tmp/to-display.txt)"
    else
        vm_fail "system calls counted" "no strace in the guest"
    fi

    # ---- unplugged while it runs
    gadget_unbind
    vm_check "gadget unplugged" vm_wait 10 sh -c "! test -e '$dev'"
    sleep 1
    vm_check "tool still running after the unplug" pt_alive
    t0=$(uptime_s)
    tk0=$(pt_ticks)
    ns0=$(pt_runtime_ns)
    sw0=$(pt_switches)
    sleep "$WINDOW"
    tk1=$(pt_ticks)
    ns1=$(pt_runtime_ns)
    sw1=$(pt_switches)
    t1=$(uptime_s)
    secs=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }')
    vm_figure unplugged_seconds "$secs"
    vm_figure unplugged_cpu_percent "$(pct $((tk1 - tk0)) 100 "$secs")"
    vm_figure unplugged_cpu_percent_schedstat "$(pct $((ns1 - ns0)) 1000000000 "$secs")"
    vm_figure unplugged_switches_per_s "$(awk -v n=$((sw1 - sw0)) -v s="$secs" 'BEGIN { printf "%.1f", n / s }')"
    if command -v strace >/dev/null; then
        strace_window 3 /tmp/strace-unplugged.txt
        # shellcheck disable=SC2046 # its words are the figures, $1 first
        set -- $(calls_per 'nanosleep[(]' /tmp/strace-unplugged.txt)
        vm_figure unplugged_syscalls_per_turn "$1"
        vm_figure unplugged_turns_traced "$3"
    fi
    vm_check "tool still running at the end" pt_alive
    pt_stop

    # How much slower this emulated machine is than the host: the same two
    # fixed workloads, timed here and by perf-figures.sh on the host, one
    # in user code, one in system calls.
    t0=$(uptime_s)
    calibrate_user
    t1=$(uptime_s)
    vm_figure calib_user_s "$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }')"
    t0=$(uptime_s)
    calibrate_syscalls
    t1=$(uptime_s)
    vm_figure calib_syscalls_s "$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }')"
    vm_figure guest_seconds "$(awk -v a="$start_s" -v b="$(uptime_s)" 'BEGIN { printf "%.0f", b - a }')"

    if [ "$vm_nfail" -gt 0 ]; then
        vm_show "gadget log" "$GADGET_LOG"
        tail -n 20 "$PT_OUT"
        dmesg | tail -n 40
    fi
}
