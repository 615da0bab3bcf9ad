#!/usr/bin/env bash
# The protocol's numbers stand in one file, protocol/wire.h: no other
# tracked C++ file outside tests/, fuzz/ and bench/ spells the interface
# GUID, the display frame's header or the SET_REPORT setup bytes. Prints
# each offending file:line: text and exits 1 when there is one.
#
#   bash scripts/lint/protocol-numbers.sh
set -uo pipefail
cd "$(dirname "$0")/../.." || exit 1
home=protocol/wire.h
# Hex digits in either case (-i); the header and the setup packet each in
# both of the ways C++ spells them.
patterns=(
    -e '136917cc'           # the interface GUID
    -e '0xfe,? *0xfd'       # the frame header, as bytes
    -e '0xfdfe'             # the frame header, as a little-endian word
    -e '0x0306'             # SET_REPORT's wValue: feature report 6
    -e '0x21, *0x09'        # SET_REPORT's bmRequestType and bRequest
)
if ! git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    echo "protocol-numbers: not a git checkout; the check lists the tracked files with git" >&2
    exit 1
fi
found="$(git grep -n -i -E "${patterns[@]}" -- '*.cpp' '*.h' '*.hpp' '*.inc' \
    ':!tests/' ':!fuzz/' ':!bench/' ":!$home")"
status=$?
if [ "$status" -gt 1 ]; then
    echo "protocol-numbers: git grep failed (status $status)" >&2
    exit 1
fi
if [ -n "$found" ]; then
    # git grep's file:line:text, with a blank after the line number.
    sed -E 's/^([^:]+):([0-9]+):/\1:\2: /' <<<"$found"
    echo "protocol-numbers: $(wc -l <<<"$found") lines spell protocol numbers outside $home"
    exit 1
fi
echo "protocol-numbers: the protocol numbers stand in $home alone"
