#!/usr/bin/env bash
# Sets up what is needed and runs every test: the README's test command.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
bash "$here/deps.sh" || { echo "installing dependencies failed"; exit 1; }
passed=0 failed=0 failures=()
for part in "$here"/test.d/*.sh; do
  name="$(basename "$part" .sh)"
  echo "== test suite: $name"
  if bash "$part"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    failures+=("$name")
  fi
done
echo
[ "$failed" -gt 0 ] && echo "failed suites: ${failures[*]}"
echo "${passed} passed, ${failed} failed"
[ "$failed" -eq 0 ]
