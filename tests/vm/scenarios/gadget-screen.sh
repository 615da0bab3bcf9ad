# shellcheck shell=dash disable=SC2034,SC2154 # sourced by guest/lib.sh, sharing its variables
# pendant-gadget on a terminal, used as a person would: in an 80x24 tmux
# pane of the guest, with pendant-test on the same machine as its USB host.
# The keys select an axis and turn the wheel, the host's tool reads the
# reports, and the display shows what the host sent back; a typed command,
# refusals, unplugging and plugging in again, and q, which takes the gadget
# down. (The key map and the screen as text are tested in-process too:
# tests/play/keys_test.cpp, screen_test.cpp.)

SOCKET=gadget-screen
STATUS=/tmp/screen-gadget.status

tm() { TERM=screen LC_ALL=C.UTF-8 tmux -L "$SOCKET" -f /dev/null "$@"; }
screen_has() { tm capture-pane -p -t g 2>/dev/null | grep -qE -- "$1"; }
# on_screen NAME REGEX: until a line of the screen matches (10 s).
on_screen() {
    if vm_wait 10 screen_has "$2"; then
        vm_pass "$1"
    else
        vm_fail "$1" "no line matching '$2'"
        echo "----- screen -----"
        tm capture-pane -p -t g
        echo "----- end of screen -----"
        return 1
    fi
}
keys() { tm send-keys -t g "$@"; }

scenario_main() {
    local n
    rm -f "$STATUS"
    pendant-test-udev-rule fff0:0001 /etc/udev/rules.d/70-pendant-test.rules
    udevadm control --reload
    tm new-session -d -s g -x 80 -y 24 \
        "TERM=screen pendant-gadget --vid 0xfff0 --log /tmp/screen-gadget.log 2>/tmp/screen-gadget.err; echo \$? >$STATUS"
    if ! on_screen "title and link" '^ pendant-gadget: the pendant on USB +pendant: plugged +frames: 0$'; then
        vm_show "gadget errors" /tmp/screen-gadget.err
        tm kill-server
        return
    fi
    on_screen "the pane is the host's" '^-- host -+$'
    on_screen "no frame yet" '\(no frame received yet\)'
    vm_check "the host has the pendant" vm_wait 20 gadget_host_dir
    dev=$(gadget_host_dir)
    udevadm settle --timeout=30
    pt_start
    vm_check "pendant-test opened it" pt_opened

    keys 2
    on_screen "axis 2 selected" 'Axis 2 selected: the wheel moves its set 2 value\.'
    keys + + +
    on_screen "three counts come back from the host" '^\| > axis 2 +0\.0000 +3\.0000 +<- wheel'
    on_screen "three frames" 'frames: 3$'
    on_screen "the host read them" '^ IN-SENT 04 00 00 12 01 00 00 00$'
    vm_check "the tool traced three reports" \
        test "$(grep -o 'Read from rk27: 4 0 0 12 1 0 ' "$PT_OUT" | wc -l)" -eq 3
    keys Up
    on_screen "the big step" '^\| > axis 2 +0\.0000 +13\.0000 +<- wheel'
    keys : 'report 04 00 00 11 05 00 00 00' Enter
    on_screen "a typed report" '^\|   axis 1 +0\.0000 +5\.0000 +\|$'
    on_screen "the frame's bytes" '^  06 FE FD 0F 00 00 00 00 \| 06 00 00 00 00 00 00 00 \| 06 00 05 00 00 00 0D 00$'
    keys : 'set1 1 1' Enter
    on_screen "a command for pendant-sim" 'Error: "set1" is not for pendant-gadget'
    keys : 'wait-read' Enter
    on_screen "a wait is for scripts" 'That is for scripts: here it would freeze the screen\.'

    keys u
    on_screen "unplugged" 'pendant: UNPLUGGED'
    on_screen "dark display" '\(unplugged: the display is dark\)'
    vm_check "the host has seen it go" vm_wait 10 sh -c "! test -e '$dev'"
    keys +
    on_screen "the wheel goes nowhere" 'The gadget is unplugged: the counts go nowhere\.'
    vm_check "pendant-test ends" pt_stop
    keys r
    on_screen "plugged in again" 'pendant: plugged'
    vm_check "the host has it again" vm_wait 20 gadget_host_dir

    keys q
    vm_check "q ends it" vm_wait 10 test -s "$STATUS"
    vm_check "with status 0" test "$(cat "$STATUS" 2>/dev/null)" = 0
    vm_check "the gadget is taken down" gadget_gone
    vm_check "nothing on standard error" test ! -s /tmp/screen-gadget.err
    n=$(grep -c '^FRAME ' /tmp/screen-gadget.log)
    vm_check "its log has the frames ($n)" test "$n" -eq 5
    tm kill-server 2>/dev/null
    if [ "$vm_nfail" -gt 0 ]; then
        vm_show "gadget log" /tmp/screen-gadget.log
        vm_show "gadget errors" /tmp/screen-gadget.err
        vm_show "pendant-test output" "$PT_OUT"
    fi
}
