#!/usr/bin/env bash
# pendant-sim on a terminal, driven as a person would: in an 80x24 tmux
# pane, select axis 2, turn the wheel, see the display follow, set a value
# through the command line, resize, unplug, quit.
# Usage: interactive_test.sh PENDANT_SIM
set -uo pipefail
sim="$1"
command -v tmux >/dev/null || { echo "FAIL: tmux is not installed (scripts/deps.d/30-sim.sh)"; exit 1; }
work="$(mktemp -d)"
# A server of our own, so no other tmux on the machine is touched.
socket="pendant-sim-test-$$"
tm() { tmux -L "$socket" -f /dev/null "$@"; }
trap 'tm kill-server 2>/dev/null; rm -rf "$work"' EXIT

screen() { tm capture-pane -p -t sim 2>/dev/null; }
# shellcheck source=SCRIPTDIR/../support/lib.sh
source "$(dirname "$0")/../support/lib.sh"
# The first failure stops the test, showing the pane and pendant-sim's errors.
on_fail() {
    echo "--- screen ---"
    screen
    echo "--- stderr ---"
    cat "$work/stderr" 2>/dev/null
    exit 1
}
# wait_for WHAT REGEX: until a line of the screen matches (20 s at most).
wait_for() {
    local i
    for ((i = 0; i < 200; i++)); do
        screen | grep -qE -- "$2" && return 0
        sleep 0.1
    done
    fail "$1: no line matching '$2'"
}
keys() { tm send-keys -t sim "$@"; }

# The status file appears when pendant-sim ends; stderr would hold any
# sanitizer report.
tm new-session -d -s sim -x 80 -y 24 \
    "TERM=screen '$sim' 2>'$work/stderr'; echo \$? >'$work/status'" ||
    fail "tmux could not start a session"

wait_for "first frame" '^ pendant-sim: .*pendant: plugged +frames: 1'
wait_for "zero display" '^\|   axis 2 +0\.0000 +0\.0000 +\|$'
wait_for "survey in the pane" '^ +PipeInterruptFirst set to this pipe\.$'

keys 2
wait_for "axis 2 selected" '^\| > axis 2 +0\.0000 +0\.0000 +<- wheel'
keys + + +
wait_for "three counts on axis 2" '^\| > axis 2 +0\.0000 +3\.0000 +<- wheel'
wait_for "trace line in the pane" 'Read from rk27: 4 0 0 12 1 0'
keys Up
wait_for "big step" '^\| > axis 2 +0\.0000 +13\.0000 +<- wheel'
keys Left
wait_for "one count back" '^\| > axis 2 +0\.0000 +12\.0000 +<- wheel'
wait_for "the frame's bytes" '^  06 FE FD 0F 00 00 00 00 \| 06 00 00 00 00 00 00 00 \| 06 00 00 00 00 00 0C 00$'
screen | grep -qE '^\|   axis 1 +0\.0000 +0\.0000 +\|$' || fail "axis 1 moved"

keys : 'set1 1 1.5' Enter
wait_for "set through the command line" '^\|   axis 1 +1\.5000 +0\.0000 +\|$'
keys : 'word 3 12000' Enter
wait_for "a word" '^\|   words +0 +0 +0 +12000 +\|$'
keys : 'set1 9 1' Enter
wait_for "a bad command" 'Error: axis "9" is not 1, 2 or 3'

tm resize-window -t sim -x 100 -y 30
wait_for "redrawn at 100 columns" '^-- tool output -{85}$'
tm resize-window -t sim -x 80 -y 24
wait_for "redrawn at 80 columns" '^-- tool output -{65}$'

keys u
wait_for "unplugged" 'pendant: UNPLUGGED'
wait_for "dark display" '\(unplugged: the display is dark\)'
keys +
wait_for "the wheel goes nowhere" 'not connected to the tool'

keys q
for ((i = 0; i < 200; i++)); do
    [ -s "$work/status" ] && break
    sleep 0.1
done
[ -s "$work/status" ] || fail "pendant-sim did not end on q"
[ "$(cat "$work/status")" = 0 ] || fail "pendant-sim ended with status $(cat "$work/status")"
[ -s "$work/stderr" ] && fail "pendant-sim wrote to stderr"
echo "interactive: all checks passed"
