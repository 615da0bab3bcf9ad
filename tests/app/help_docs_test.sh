#!/usr/bin/env bash
# pendant-test --help and --version: both exit 0 at once and say nothing of
# a device; the help the README shows is what the program prints (but for
# the docs' folder, which follows the install prefix); and the help, the man
# page and the README name the same options.
# Usage: help_docs_test.sh PENDANT_TEST SOURCE_DIR VERSION
set -uo pipefail
tool="$1"
src="$2"
version="$3"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# shellcheck source=SCRIPTDIR/../support/lib.sh
source "$(dirname "$0")/../support/lib.sh"

# No standard input: a tool that went on to the closing read would end at
# once rather than hang, and say "nothing to do..." as it did.
run_saving help "$tool" --help </dev/null
run_saving short "$tool" -h </dev/null
run_saving version "$tool" --version </dev/null
run_saving both "$tool" --reconnect --version extra </dev/null
for name in help short version both; do
    expect_status "$name" 0
    check "$name: nothing on standard error" test ! -s "$work/$name.err"
    check "$name: no device message" \
        bash -c "! grep -qE 'Device not|Failed looking|nothing to do' '$work/$name.out'"
done
check_quiet "-h prints the help" diff -u "$work/help.out" "$work/short.out"
check "--version prints 'pendant-test $version'" \
    test "$(cat "$work/version.out")" = "pendant-test $version"
check "--version among other arguments" test "$(cat "$work/both.out")" = "pendant-test $version"

doc_block "$src/README.md" pendant-test-help >"$work/readme.txt"
sed -E 's#^Docs: man pendant-test; .*/share/doc/pendant-test$#Docs: man pendant-test; /usr/share/doc/pendant-test#' \
    "$work/help.out" >"$work/help-packaged.txt"
check_quiet "the README's help is what the program prints" \
    diff -u "$work/readme.txt" "$work/help-packaged.txt"

# The options: "  --name" (or "  -h, --name") at the start of a help line;
# in the man page, the .TP entries of its OPTIONS section.
awk '/^Options:/ { on = 1; next } on && !/^  -/ { exit } on' "$work/help.out" |
    grep -oE -- '--[a-z-]+' | sort -u >"$work/help-options.txt"
sed -n '/^\.SH OPTIONS/,/^\.SH /p' "$src/man/pendant-test.1.in" |
    awk 'prev == ".TP" { print } { prev = $0 }' | sed 's/\\-/-/g' |
    grep -oE -- '--[a-z-]+' | sort -u >"$work/man-options.txt"
check "the help lists options" test "$(wc -l <"$work/help-options.txt")" -ge 7
check_quiet "the help and the man page's OPTIONS name the same options" \
    diff -u "$work/man-options.txt" "$work/help-options.txt"
while read -r option; do
    if grep -qF -- "$option" "$src/README.md" && grep -qF -- "${option//-/\\-}" \
        "$src/man/pendant-test.1.in"; then
        ok "$option in the README and the man page"
    else
        fail "$option is missing from the README or the man page"
    fi
done <"$work/help-options.txt"

summary help_docs
all_passed
