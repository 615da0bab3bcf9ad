#!/usr/bin/env bash
# docs/check.md held to the program: the records of real checks (a good
# pendant, a faulty one, one checked without a person, none at all) valid
# against the schema the page gives, by a JSON Schema validator of its own;
# a record the schema must refuse refused; and the whole session the page
# shows being what a check prints.
# Usage: check_docs_test.sh PENDANT_SIM SOURCE_DIR
set -uo pipefail
sim="$1"
docs="$2/docs/check.md"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# shellcheck source=SCRIPTDIR/../support/lib.sh
source "$(dirname "$0")/../support/lib.sh"

doc_block "$docs" check-schema >"$work/schema.json"
doc_block "$docs" check-session >"$work/session.txt"
[ -s "$work/schema.json" ] || fail "docs/check.md: no schema block"
[ -s "$work/session.txt" ] || fail "docs/check.md: no session block"

if ! python3 -c 'import jsonschema' 2>/dev/null; then
    fail "python3 with jsonschema is missing: run scripts/deps.sh"
    summary check_docs
    exit 1
fi

# validate NAME: the record NAME.json against the schema ("" or why not).
validate() {
    python3 - "$work/schema.json" "$work/$1.json" <<'PY'
import json, sys
import jsonschema
schema = json.load(open(sys.argv[1]))
jsonschema.Draft202012Validator.check_schema(schema)
try:
    jsonschema.Draft202012Validator(schema).validate(json.load(open(sys.argv[2])))
except jsonschema.ValidationError as e:
    print(e.message)
PY
}

printf 'device absent\n' >"$work/absent.script"
# A pendant whose HID descriptor misstates its report descriptor's length,
# played without a person: a record with a failed rule.
printf '%s\n' 'hid-length 40' 'await axis-off' 'jog 0 0' 'await axis-1' 'jog 1 0' \
    'await axis-2' 'jog 2 0' 'await axis-3' 'jog 3 0' 'await wheel-forward' 'jog 3 12' \
    'await wheel-backward' 'jog 3 -12' >"$work/rule.script"
run_saving good "$sim" --check --demo --report "$work/good.json"
run_saving faulty "$sim" --check --demo-faulty --report "$work/faulty.json"
run_saving bench "$sim" --check --demo --no-person --report "$work/bench.json"
run_saving absent "$sim" --check "$work/absent.script" --report "$work/absent.json"
run_saving rule "$sim" --check "$work/rule.script" --no-person --report "$work/rule.json"
for run in good:0 faulty:1 bench:0 absent:2 rule:1; do
    name="${run%%:*}"
    expect_status "$name" "${run#*:}"
    why="$(validate "$name")"
    check "$name record valid against the page's schema${why:+: $why}" test -z "$why"
done

# The schema can refuse: a step result it does not know.
sed 's/"result": "PASS"/"result": "MAYBE"/' "$work/good.json" >"$work/bad.json"
why="$(validate bad)"
check "a record with an unknown result refused by the schema" test -n "$why"
python3 -c 'import json,sys; r=json.load(open(sys.argv[1])); del r["steps"][5]["rules"]; json.dump(r,open(sys.argv[2],"w"))' \
    "$work/good.json" "$work/norules.json"
why="$(validate norules)"
check "a record whose rules step lacks its rules refused by the schema" test -n "$why"
check "the failed rule in the record" grep -q '"name": "hid-descriptor", "title": "HID descriptor", "result": "FAIL"' "$work/rule.json"

# The session on the page is the demo's, less the simulator's own lines,
# with the person's answers as typed lines.
grep -v '^\[frame\|^\[sim\]' "$work/good.out" |
    awk '{ print } /(Does|Did) it\? Type y or n/ { print "y" }' |
    sed -e :a -e '/^\n*$/{$d;N;ba' -e '}' >"$work/printed.txt"
sed -i -e '1{/^$/d}' "$work/printed.txt"
check_quiet "the session on the page is what the check prints" \
    diff -u "$work/session.txt" "$work/printed.txt"

summary check_docs
all_passed
