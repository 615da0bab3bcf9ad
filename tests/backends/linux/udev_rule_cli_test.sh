#!/usr/bin/env bash
# pendant-test-udev-rule as a person runs it: help and version on standard
# output with status 0, usage errors with status 2, write failures with the
# system's reason and status 1, "-" for standard output, and a FILE replaced
# whole or not at all.
# Usage: udev_rule_cli_test.sh PROGRAM VERSION
set -uo pipefail
prog="$(realpath "$1")"
version="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# shellcheck source=SCRIPTDIR/../../support/lib.sh
source "$(dirname "$0")/../../support/lib.sh"
cases=0

# run NAME ARGS...: runs the program in $work/cwd; its output, errors and
# status go to $work/NAME.{out,err,status}. Standard output may be
# redirected by setting OUT.
run() {
    local name="$1"
    shift
    mkdir -p "$work/cwd"
    (cd "$work/cwd" && run_saving "$name" "$prog" "$@")
}

# The table: NAME | STATUS | STDOUT | STDERR | ARGS. STDOUT and STDERR are
# extended regular expressions that one line of the stream must match,
# "empty", or "-" (not looked at). Standard output goes to /dev/full for
# names ending in .full.
usage='^usage: pendant-test-udev-rule \[--\] VID:PID \[FILE\]$'
rule='ATTR\{idVendor\}=="0001", ATTR\{idProduct\}=="abcd"'
hidraw_rule='^SUBSYSTEM=="hidraw", ATTRS\{idVendor\}=="0001", ATTRS\{idProduct\}=="abcd", '
me='^pendant-test-udev-rule:'
nospace='cannot write standard output: No space left on device$'
cases_table() {
    cat <<EOF
help.long      | 0 | $usage | empty | --help
help.short     | 0 | $usage | empty | -h
help.after_id  | 0 | $usage | empty | 1:2 --help
version        | 0 | ^pendant-test-udev-rule ${version//./\\.}\$ | empty | --version
no_arguments   | 2 | empty | $me a USB id VID:PID is needed\$ |
unknown_option | 2 | empty | $me unknown option '-x'\$ | -x 1:2
bad_id         | 2 | empty | $me 'zz' is not a USB id like 1234:abcd\$ | zz
too_many       | 2 | empty | $me too many arguments\$ | 1:2 a b
empty_file     | 2 | empty | $me FILE is empty\$ | 1:2 ''
stdout         | 0 | $rule | empty | 1:abcd
stdout.hidraw  | 0 | $hidraw_rule | empty | 1:abcd
dash           | 0 | $rule | empty | 1:abcd -
after_dashes   | 0 | $rule | empty | -- 1:abcd
directory      | 1 | empty | $me cannot write /: Is a directory\$ | 1:2 /
no_such_dir    | 1 | empty | $me cannot write /nonexistent/r: No such file or directory\$ | 1:2 /nonexistent/r
device_full    | 1 | empty | $me cannot write /dev/full: No space left on device\$ | 1:2 /dev/full
rule.full      | 1 | - | $me $nospace | 1:2
version.full   | 1 | - | $me $nospace | --version
EOF
}

trim() {
    local v="$1"
    v="${v#"${v%%[! ]*}"}"
    printf '%s' "${v%"${v##*[! ]}"}"
}

expect_stream() { # NAME WHAT FILE PATTERN
    if [ "$4" = "-" ]; then
        return
    elif [ "$4" = empty ]; then
        [ ! -s "$3" ] || fail "$1: $2 should be empty: $(head -3 "$3")"
    else
        grep -Eq -- "$4" "$3" || fail "$1: no line of $2 matches /$4/: $(head -5 "$3")"
    fi
}

args=()
while IFS='|' read -r name status out err rest; do
    name="$(trim "$name")" status="$(trim "$status")" out="$(trim "$out")" err="$(trim "$err")"
    cases=$((cases + 1))
    eval "args=($rest)"
    if [[ "$name" == *.full ]]; then
        OUT=/dev/full run "$name" "${args[@]}"
    else
        run "$name" "${args[@]}"
    fi
    expect_status "$name" "$status"
    expect_stream "$name" "standard output" "$work/$name.out" "$out"
    expect_stream "$name" "standard error" "$work/$name.err" "$err"
done < <(cases_table)

# "-" is standard output, not a file of that name; all three spellings give
# the same rule.
[ ! -e "$work/cwd/-" ] || fail "dash: a file named - was created"
cmp -s "$work/stdout.out" "$work/dash.out" || fail "dash: not the rule the plain call prints"
cmp -s "$work/stdout.out" "$work/after_dashes.out" || fail "after_dashes: not the same rule"
# Failed writes create nothing.
[ ! -e /nonexistent ] || fail "no_such_dir: /nonexistent appeared"

# A new FILE: the rule as printed, the umask's mode, no temporary left.
cases=$((cases + 1))
mkdir -p "$work/rules"
(umask 022 && "$prog" 1:abcd "$work/rules/70-pendant-test.rules") || fail "new file: status $?"
cmp -s "$work/stdout.out" "$work/rules/70-pendant-test.rules" || fail "new file: not the printed rule"
[ "$(stat -c %a "$work/rules/70-pendant-test.rules")" = 644 ] || fail "new file: mode $(stat -c %a "$work/rules/70-pendant-test.rules"), want 644"
[ "$(ls -A "$work/rules")" = 70-pendant-test.rules ] || fail "new file: left behind: $(ls -A "$work/rules")"

# An existing FILE is replaced, keeping its mode.
cases=$((cases + 1))
echo old >"$work/rules/old.rules"
chmod 600 "$work/rules/old.rules"
"$prog" 1:abcd "$work/rules/old.rules" || fail "replace: status $?"
cmp -s "$work/stdout.out" "$work/rules/old.rules" || fail "replace: not the printed rule"
[ "$(stat -c %a "$work/rules/old.rules")" = 600 ] || fail "replace: mode $(stat -c %a "$work/rules/old.rules"), want 600"

# A write that fails part-way (a full file system) keeps the old rule whole
# and leaves no temporary file. A private mount namespace holds the small
# file system; without one the case cannot run, and says so.
cases=$((cases + 1))
# shellcheck disable=SC2016 # expanded by the shell that runs it, not here
full_case='
set -e
mount -t tmpfs -o size=8k tmpfs "$1"
echo old >"$1/70-pendant-test.rules"
dd if=/dev/zero of="$1/fill" bs=1k count=64 2>/dev/null || true
set +e
"$2" 1:abcd "$1/70-pendant-test.rules" 2>"$3/full.err"
echo $? >"$3/full.status"
cat "$1/70-pendant-test.rules" >"$3/full.kept"
ls -A "$1" >"$3/full.ls"
'
mkdir -p "$work/small"
if ! unshare -rm true 2>"$work/unshare.err"; then
    fail "full file system: cannot make a private mount namespace (unshare -rm): $(cat "$work/unshare.err")"
elif ! unshare -rm bash -c "$full_case" full "$work/small" "$prog" "$work"; then
    fail "full file system: setting up the small file system failed"
else
    [ "$(cat "$work/full.status")" = 1 ] || fail "full file system: status $(cat "$work/full.status"), want 1"
    grep -q "^pendant-test-udev-rule: cannot write $work/small/70-pendant-test.rules: No space left on device$" \
        "$work/full.err" || fail "full file system: stderr $(cat "$work/full.err")"
    [ "$(cat "$work/full.kept")" = old ] || fail "full file system: the old rule was not kept: $(cat "$work/full.kept")"
    [ "$(sort "$work/full.ls" | tr '\n' ' ')" = "70-pendant-test.rules fill " ] ||
        fail "full file system: left behind: $(cat "$work/full.ls")"
fi

echo "udev rule command: $cases cases, $failures failures"
all_passed
