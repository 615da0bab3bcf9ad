# shellcheck shell=bash
# Shared by the shell tests (sourced, bash). Each check that fails says
# "FAIL: ..." and is counted; checks that report passing say "ok: NAME". A
# suite ends with its own summary line and a status that tells whether
# anything failed. Needs $work, the suite's scratch directory, for
# check_quiet and run_saving.
#
#   ok NAME                   a check that passed
#   fail WHAT...              a check that failed; then on_fail, when the
#                             suite defines one (to show more, or to stop)
#   check NAME COMMAND...     passes when COMMAND does; its output as it comes
#   check_quiet NAME COMMAND...
#                             the same, COMMAND's output shown (indented)
#                             only when it fails
#   run_saving NAME COMMAND...
#                             COMMAND's standard output, standard error and
#                             exit status into $work/NAME.out, .err and
#                             .status (standard output to $OUT when set)
#   expect_status NAME STATUS the status run_saving kept for NAME is STATUS
#   summary LABEL             "LABEL: N checks, M failed"
#   all_passed                succeeds when nothing failed
#   doc_block FILE MARKER     the fenced block after "<!-- MARKER -->" in FILE

checks=0 failures=0

ok() {
    checks=$((checks + 1))
    echo "ok: $*"
}

# The FAIL line and the count, without on_fail: for helpers that show
# something after the line.
say_fail() {
    checks=$((checks + 1))
    failures=$((failures + 1))
    echo "FAIL: $*"
}

after_fail() {
    if declare -F on_fail >/dev/null; then
        on_fail
    fi
}

fail() {
    say_fail "$@"
    after_fail
}

check() {
    local name="$1"
    shift
    if "$@"; then ok "$name"; else fail "$name"; fi
}

check_quiet() {
    local name="$1"
    shift
    if "$@" >"${work:?}/check.out" 2>&1; then
        ok "$name"
    else
        say_fail "$name"
        sed 's/^/    /' "${work:?}/check.out"
        after_fail
    fi
}

run_saving() {
    local name="$1"
    shift
    local status=0
    "$@" >"${OUT:-${work:?}/$name.out}" 2>"${work:?}/$name.err" || status=$?
    echo "$status" >"$work/$name.status"
}

expect_status() {
    local got
    got="$(cat "${work:?}/$1.status")"
    [ "$got" = "$2" ] || fail "$1: exit status $got, want $2; stderr: $(cat "$work/$1.err")"
}

summary() {
    echo "$1: $checks checks, $failures failed"
}

all_passed() {
    [ "$failures" -eq 0 ]
}

doc_block() {
    awk -v marker="<!-- $2 -->" '
        $0 == marker { found = 1; next }
        found && /^```/ { if (inside) exit; inside = 1; next }
        inside { print }' "$1"
}
