#!/usr/bin/env bash
# pendant-sim as a person runs it without a terminal: the documented script
# example, a script from standard input, a bad line, the decode helper, and
# the plain-line fallback that ends by itself.
# Usage: script_mode_test.sh PENDANT_SIM SOURCE_DIR
set -uo pipefail
sim="$1"
docs="$2/docs/sim.md"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# shellcheck source=SCRIPTDIR/../support/lib.sh
source "$(dirname "$0")/../support/lib.sh"
# run NAME [ARGS...]: runs pendant-sim with a time limit, keeping stdout,
# stderr and the exit status under $work/NAME.
run() {
    local name="$1"
    shift
    run_saving "$name" timeout 60 "$sim" "$@"
}
expect_line() { # NAME FILE LINE: FILE holds LINE exactly
    grep -qxF -- "$3" "$2" || { fail "$1: no line '$3' in:"; cat "$2"; }
}

frame='06 FE FD 0F 01 00 88 13 | 06 02 00 C4 89 7B 00 DA | 06 11 00 00 0A 00 00 00 | 06 00 00 0A 00 00 00 64 | 06 00 C8 00 B8 0B E0 2E | 06 08 02 00 00 00 00 00'
read -ra frame_words <<<"$frame"
values='set1 1.5000 -2.2500 123.4570 | set2 0.0010 0.0000 10.0000 | words 100 200 3000 12000'

block() { doc_block "$docs" "$1"; }

# 1. The documented example reproduces the example frame byte for byte, and
#    the documented output is what the program prints.
block example-script >"$work/example.sim"
block example-output >"$work/example.expected"
[ -s "$work/example.sim" ] || fail "docs: no example script found in $docs"
run example --script "$work/example.sim"
expect_status example 0
expect_line example "$work/example.out" "[frame 1] $frame"
expect_line example "$work/example.out" "[frame 1] $values"
[[ "$(cat "$work/example.out")" == *"$(cat "$work/example.expected")"* ]] ||
    fail "example: the output in docs/sim.md is not what pendant-sim prints: $(cat "$work/example.out")"
[ "$(grep -c '^\[frame ' "$work/example.out")" = 2 ] || fail "example: more than one frame"

# 2. The same script from standard input.
run stdin --script - <"$work/example.sim"
expect_status stdin 0
cmp -s "$work/stdin.out" "$work/example.out" || fail "stdin: output differs from the file's"

# 3. A bad line: its file and line number on stderr, nothing run, status 2.
printf '# a script with a mistake\nset1 1 1.5\n\nturns two\nset1 1 2\n' >"$work/bad.sim"
run bad --script "$work/bad.sim"
expect_status bad 2
expect_line bad "$work/bad.err" "pendant-sim: $work/bad.sim:4: \"two\" is not a count from 1 to 1000000; usage: turns N"
[ -s "$work/bad.out" ] && fail "bad: the tool ran anyway: $(cat "$work/bad.out")"
printf 'jog 1 1\n  frobnicate\n' | run badin --script -
expect_status badin 2
grep -qF '<stdin>:2: unknown command "frobnicate"' "$work/badin.err" || fail "badin: $(cat "$work/badin.err")"
run missing --script "$work/no-such.sim"
expect_status missing 2
grep -qF "no-such.sim: No such file or directory" "$work/missing.err" || fail "missing: $(cat "$work/missing.err")"
run directory --script "$work"
expect_status directory 2
[ -s "$work/directory.out" ] && fail "directory: the tool ran on a directory as its script"
run usage --no-such-option
expect_status usage 2

# 4. The decode helper.
run decode decode-frame "${frame_words[@]}"
expect_status decode 0
expect_line decode "$work/decode.out" "$values"
run encode encode-frame 1.5 -2.25 123.4567 0.0005 -0.0004 10.0 100 200 3000 12000
expect_status encode 0
expect_line encode "$work/encode.out" "$frame"
printf '04 00 00 11 ff 00\n04 00 00 14 01 00\n' | timeout 60 "$sim" decode-report >"$work/report.out"
expect_line report "$work/report.out" "04 00 00 11 FF 00 -> axis 1, count -1: moves set 2 axis 1 by -1"
expect_line report "$work/report.out" "04 00 00 14 01 00 -> no axis (axis code 0x14), count +1: moves nothing"
run short decode-frame 06 FE FD
expect_status short 2

# 5. Without a terminal, plain lines, and it ends by itself.
timeout 60 "$sim" </dev/null >"$work/plain.out" 2>&1
echo $? >"$work/plain.status"
expect_status plain 0
expect_line plain "$work/plain.out" "[pendant display] set1 0.0000 0.0000 0.0000 | set2 5.0000 30.0000 -18.0000 | words 0 0 0 0"

# 6. Output that cannot be written is an error, never a silent loss: standard
# output on a full device, and the tool's own output when its temporary
# file may not grow (a file size limit stands in for a full disk).
printf 'jog 1 1\nturns 2\n' >"$work/short.sim"
OUT=/dev/full run full --script "$work/short.sim"
expect_status full 1
expect_line full "$work/full.err" "pendant-sim: cannot write the output: No space left on device"
for mode in --demo decode-frame; do
    if [ "$mode" = --demo ]; then args=(--demo); else args=(decode-frame "${frame_words[@]}"); fi
    OUT=/dev/full run "full-$mode" "${args[@]}" </dev/null
    expect_status "full-$mode" 1
done
# (The limit holds for every file the process writes, so its own output
# goes through a pipe.)
(ulimit -f 0; trap '' XFSZ; exec timeout 60 "$sim" --script "$work/short.sim") 2>&1 |
    cat >"$work/limit.out"
echo "${PIPESTATUS[0]}" >"$work/limit.status"
expect_status limit 1
expect_line limit "$work/limit.out" "pendant-sim: cannot keep the tool's output in a temporary file: File too large"

# 7. A block the platform would not free (an injected LocalFree failure)
# leaks no memory of the simulator's own (the asan preset checks leaks).
printf 'fail LocalFree\nturns 1\n' >"$work/localfree.sim"
run localfree --script "$work/localfree.sim"
expect_status localfree 0

if ! all_passed; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "script mode: all checks passed"
