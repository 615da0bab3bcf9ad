#!/usr/bin/env bash
# Decodes a usbmon capture with the pendant dissector and compares what it
# found, in capture order, with an expected file.
#
#   check_capture.sh [--display] [--lengths] [-o PREF:VALUE]... CAPTURE EXPECTED
#
# CAPTURE   a capture of the Linux USB monitor as `tshark -i usbmonN -w FILE`
#           writes it (pcapng or pcap; link type 220 or 189).
# EXPECTED  one line per decoded item, in capture order. Blank lines and lines
#           starting with # are skipped; words are separated by single spaces.
#
#   frame A1 A2 A3 B1 B2 B3 W0 W1 W2 W3
#       a complete display frame: CoordSet1 axes 1..3 and CoordSet2 axes 1..3
#       with four decimals, then display words 0..3, e.g.
#       frame 1.5000 -2.2500 123.4570 0.0010 0.0000 10.0000 100 200 3000 12000
#   frame ... problem TEXT
#       a malformed frame; TEXT is the dissector's pendant.frame.problem
#   report AXIS COUNT moves|ignored [declared N] [problem TEXT]
#       an input report: AXIS 1..3, or 0 when it selects none; COUNT signed
#       with its sign (+2, -1, +0), e.g. `report 2 +2 moves`, `report 0 +5 ignored`;
#       `declared N` (only with --lengths) the report size the device's
#       report descriptor declares; `problem TEXT` a completion of another
#       length (a report split over reads or merged with the next)
#   zlp                                                   (only with --lengths)
#       a zero-length completion on the input endpoint: no report
#   descriptor N|none|unknown                             (only with --lengths)
#       a GET_DESCRIPTOR (report) answered: the input report size it
#       declares, none declared, or unknown (malformed, failed, not captured)
#   display INDEX [problem TEXT]                          (only with --display)
#       a display report: its place 0..5 in the frame, or ? when the capture
#       does not show it; the frame line follows the line of report 5
#
# -o PREF:VALUE is passed to tshark, e.g. -o pendant.device:5 (see
# docs/dissector.md for the preferences).
#
# The capture is decoded twice, in one pass and in two (tshark -2, where the
# second pass shows what the first one recorded), and both must match.
# --one-pass FILE gives the one-pass decode its own expected items: where
# FE FD 0F stands inside a frame's data, one pass can only guess the places
# of the reports from there to the frame's end.
#
# Environment: TSHARK (default: tshark on the PATH), PENDANT_DISSECTOR
# (default: dissector/pendant.lua of this tree).
# Exit status: 0 when both passes match, 1 when one does not (a diff is
# printed), 2 for wrong usage, a missing tool or tshark failing.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
tshark="${TSHARK:-tshark}"
dissector="${PENDANT_DISSECTOR:-$here/../../dissector/pendant.lua}"

usage() {
    echo "usage: $0 [--display] [--lengths] [--one-pass EXPECTED] [-o PREF:VALUE]... CAPTURE EXPECTED" >&2
    exit 2
}

display=0
lengths=0
one_pass=""
prefs=()
while [ $# -gt 0 ]; do
    case "$1" in
        --display) display=1; shift ;;
        --lengths) lengths=1; shift ;;
        --one-pass) [ $# -ge 2 ] || usage; one_pass="$2"; shift 2 ;;
        -o) [ $# -ge 2 ] || usage; prefs+=(-o "$2"); shift 2 ;;
        -*) usage ;;
        *) break ;;
    esac
done
[ $# -eq 2 ] || usage
capture="$1" expected="$2"
one_pass="${one_pass:-$expected}"

if ! command -v "$tshark" >/dev/null 2>&1; then
    echo "check_capture: tshark not found ('$tshark'); install it with scripts/deps.d/50-wireshark.sh" >&2
    exit 2
fi
for f in "$dissector" "$capture" "$expected" "$one_pass"; do
    [ -r "$f" ] || { echo "check_capture: cannot read $f" >&2; exit 2; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

values=(set1.axis1 set1.axis2 set1.axis3 set2.axis1 set2.axis2 set2.axis3 word0 word1 word2 word3)
columns=(-e frame.number -e pendant.report.axis -e pendant.report.count -e pendant.report.moves
         -e pendant.report.index -e pendant.report.problem -e pendant.frame.problem)
for v in "${values[@]}"; do columns+=(-e "pendant.frame.$v"); done
# After the error columns ($18, $19): $20.. below.
lengths_columns=(-e pendant.input.length -e pendant.input.declared -e pendant.descriptor.interface
                 -e pendant.descriptor.length -e pendant.descriptor.input_size
                 -e pendant.descriptor.problem -e pendant.descriptor.request)

# Runs tshark (extra options in "$@") and writes the items in the format above.
decode() {
    local out="$1" status=0
    shift
    "$tshark" -n -X "lua_script:$dissector" "${prefs[@]}" "$@" -r "$capture" \
        -Y 'pendant || _ws.lua || _ws.malformed' \
        -T fields -E separator=/t -E occurrence=f -E quote=n \
        "${columns[@]}" -e _ws.lua.error -e _ws.malformed "${lengths_columns[@]}" \
        >"$work/fields" 2>"$work/stderr" || status=$?
    # As root tshark warns that it runs as root; nothing else is expected.
    grep -v '^Running as user "root"' "$work/stderr" >"$work/stderr.rest" || true
    if [ "$status" -ne 0 ] || grep -q 'Lua' "$work/stderr.rest"; then
        echo "check_capture: tshark $* failed (exit $status):" >&2
        cat "$work/stderr.rest" >&2
        exit 2
    fi
    cat "$work/stderr.rest" >&2
    awk -F'\t' -v display="$display" -v lengths="$lengths" '
        # A Lua error or a malformed packet is printed as such, so that it
        # can never match an expected line.
        $18 != "" || $19 != "" { print "error in packet " $1 ": Lua error or malformed"; next }
        $2 != "" {
            line = sprintf("report %d %+d %s", $2, $3, ($4 == "1" ? "moves" : "ignored"))
            if (lengths == 1 && $21 != "") line = line " declared " $21
            if ($6 != "") line = line " problem " $6
            print line
            next
        }
        $20 == "0" { if (lengths == 1) print "zlp"; next }
        # The request is only shown; its answer (it names the request) is.
        $22 != "" {
            if (lengths == 1 && $26 != "")
                print "descriptor " ($24 != "" ? $24 : ($25 != "" ? "unknown" : "none"))
            next
        }
        {
            if (display == 1) {
                line = "display " ($5 == "" ? "?" : $5)
                if ($6 != "") line = line " problem " $6
                print line
            }
            if ($8 != "") {
                line = "frame"
                for (i = 8; i <= 13; i++) line = line sprintf(" %.4f", $i)
                for (i = 14; i <= 17; i++) line = line " " $i
                if ($7 != "") line = line " problem " $7
                print line
            }
        }' "$work/fields" >"$out"
}

grep -v -e '^#' -e '^[[:space:]]*$' "$one_pass" >"$work/expected.one-pass" || true
grep -v -e '^#' -e '^[[:space:]]*$' "$expected" >"$work/expected.two-pass" || true

decode "$work/one-pass"
decode "$work/two-pass" -2

result=0
for pass in one-pass two-pass; do
    file="$expected"
    [ "$pass" = two-pass ] || file="$one_pass"
    if diff -u --label expected --label "$pass" "$work/expected.$pass" "$work/$pass" >"$work/diff"; then
        echo "check_capture: $pass: $(wc -l <"$work/expected.$pass") items as expected"
    else
        echo "check_capture: $pass: decoded items differ from $file:"
        cat "$work/diff"
        result=1
    fi
done
exit "$result"
