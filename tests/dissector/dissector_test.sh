#!/usr/bin/env bash
# The pendant dissector on a synthetic usbmon capture: builds the capture
# from hex with text2pcap, writes next to each transfer what the dissector
# must make of it, and compares the two with check_capture.sh.
#
#   dissector_test.sh TSHARK DISSECTOR
#
# text2pcap is taken from beside TSHARK, else from the PATH. Without tshark
# or text2pcap the test fails and says so. DISSECTOR_TEST_KEEP=1 keeps the
# work folder (capture, its hex, the expected items).
set -euo pipefail

[ $# -eq 2 ] || { echo "usage: $0 TSHARK DISSECTOR" >&2; exit 2; }
tshark="$1" dissector="$2"
here="$(cd "$(dirname "$0")" && pwd)"

if ! command -v "$tshark" >/dev/null 2>&1; then
    echo "FAIL: tshark not found ('$tshark'); install it with scripts/deps.d/50-wireshark.sh" >&2
    exit 1
fi
tshark="$(command -v "$tshark")"
text2pcap="$(dirname "$tshark")/text2pcap"
[ -x "$text2pcap" ] || text2pcap="$(command -v text2pcap || true)"
if [ -z "$text2pcap" ]; then
    echo "FAIL: text2pcap not found (package wireshark-common, installed with tshark)" >&2
    exit 1
fi
[ -r "$dissector" ] || { echo "FAIL: cannot read the dissector $dissector" >&2; exit 1; }
export TSHARK="$tshark" PENDANT_DISSECTOR="$dissector"

work="$(mktemp -d)"
# A failure keeps the work folder too.
keep="${DISSECTOR_TEST_KEEP:-0}"
trap '[ "$keep" = 1 ] && echo "capture and expected files kept in $work" || rm -rf "$work"' EXIT

# ---------------------------------------------------------------------------
# Writing the capture
#
# One usbmon record per text2pcap packet: a time stamp, then offsets and up
# to 16 bytes a line. The header is the kernel's struct mon_bin_hdr in the
# byte order of the capturing host (little-endian here):
#    0 URB id (u64)           8 'S' submission / 'C' completion
#    9 transfer type (1 interrupt, 2 control)
#   10 endpoint, 0x80 = IN   11 device address       12 bus (u16)
#   14 setup flag: 0 = setup present, '-' = none
#   15 data flag: 0 = data present, '<' = IN submission, '>' = OUT completion
#   16 seconds (s64)         24 microseconds (s32)
#   28 status (s32; -115 EINPROGRESS while submitted, -2 ENOENT when cancelled)
#   32 URB length (u32; requested, or transferred when complete)
#   36 captured data length (u32)                    40 setup packet (8 bytes)
# Link type 220 (usbmon's mmap interface, what tshark -i usbmonN records)
# continues the header with interval (s32), start frame (s32), a copy of the
# transfer flags (u32; 0x200 = IN) and the number of ISO descriptors (u32);
# link type 189 stops after the setup packet. The data follows the header.

header_len=64      # 64 for link type 220, 48 for 189
records=0          # packets written; equals tshark's frame number
urbs=0
usec=0
bus=0 addr=0       # the device the next transfers belong to

hdr=()
le() {  # VALUE BYTES: appends VALUE to hdr as BYTES little-endian hex bytes
    local v=$1 n=$2 i byte
    for ((i = 0; i < n; i++)); do
        printf -v byte %02x $(((v >> (8 * i)) & 0xff))
        hdr+=("$byte")
    done
}

# record TYPE XFER EP STATUS URB_LEN SETUP_FLAG DATA_FLAG "SETUP" INTERVAL XFLAGS [DATA...]
record() {
    local type=$1 xfer=$2 ep=$3 status=$4 urb_len=$5 sflag=$6 dflag=$7 setup=$8 interval=$9 xflags=${10}
    shift 10
    records=$((records + 1))
    usec=$((usec + 1000))
    local sec=$((1714557600 + usec / 1000000)) us=$((usec % 1000000)) id=$((0xffff88810a3c0000 + urbs * 0x100))
    local t off
    hdr=()
    le "$id" 8; printf -v t %02x "'$type"; hdr+=("$t"); le "$xfer" 1; le "$ep" 1; le "$addr" 1; le "$bus" 2
    le "$sflag" 1; le "$dflag" 1; le "$sec" 8; le "$us" 4; le "$status" 4; le "$urb_len" 4; le $# 4
    # shellcheck disable=SC2206 # the setup packet is a list of bytes
    hdr+=($setup)
    if [ "$header_len" = 64 ]; then
        le "$interval" 4; le 0 4; le "$xflags" 4; le 0 4
    fi
    if [ ${#hdr[@]} -ne "$header_len" ]; then
        echo "FAIL: packet $records: header of ${#hdr[@]} bytes, not $header_len" >&2
        exit 1
    fi
    hdr+=("$@")
    printf '# packet %d: %s transfer %d ep 0x%02x device %d:%d status %d, data: %s\n' \
        "$records" "$type" "$xfer" "$ep" "$bus" "$addr" "$status" "${*:-none}"
    for ((off = 0; off < ${#hdr[@]}; off += 16)); do
        [ $off -eq 0 ] && TZ=UTC printf '%(%Y-%m-%dT%H:%M:%S)T.%06dZ ' "$sec" "$us"
        printf '%06x %s\n' $off "${hdr[*]:off:16}"
    done
}

device() { bus=$1 addr=$2; }

NOSETUP="00 00 00 00 00 00 00 00"

# control_out "SETUP" DATA...: a host-to-device request with its data, and
# its completion (the kernel records no data on an OUT completion).
control_out() {
    local setup=$1; shift
    urbs=$((urbs + 1))
    record S 2 0x00 -115 $# 0 0 "$setup" 0 0 "$@"
    record C 2 0x00 0 $# 0x2d 0x3e "$NOSETUP" 0 0
}

# control_in "SETUP" DATA...: a device-to-host request, answered with DATA.
control_in() {
    local setup=$1; shift
    urbs=$((urbs + 1))
    record S 2 0x80 -115 $# 0 0x3c "$setup" 0 0x200
    record C 2 0x80 0 $# 0x2d 0 "$NOSETUP" 0 0x200 "$@"
}

# set_report DATA...: SET_REPORT of feature report 6 (wValue 0x0306).
set_report() {
    local wlength
    printf -v wlength '%02x %02x' $(($# & 0xff)) $(($# >> 8))
    control_out "21 09 06 03 00 00 $wlength" "$@"
}

# get_report_descriptor DATA...: GET_DESCRIPTOR (report) to interface 0, as
# the host asks at the end of opening, answered with DATA.
get_report_descriptor() {
    control_in "81 06 00 22 00 00 00 04" "$@"
}

# get_report_descriptor_stalls: the same request, refused (EPIPE).
get_report_descriptor_stalls() {
    urbs=$((urbs + 1))
    record S 2 0x80 -115 1024 0 0x3c "81 06 00 22 00 00 00 04" 0 0x200
    record C 2 0x80 -32 0 0x2d 0 "$NOSETUP" 0 0x200
}

# interrupt_in EP DATA...: an IN transfer of read_len bytes submitted and
# completed with DATA.
read_len=8
interrupt_in() {
    local ep=$1; shift
    urbs=$((urbs + 1))
    record S 1 "$ep" -115 "$read_len" 0x2d 0x3c "$NOSETUP" 8 0x200
    record C 1 "$ep" 0 $# 0x2d 0 "$NOSETUP" 8 0x200 "$@"
}

# interrupt_in_cancelled EP: submitted, then cancelled without data.
interrupt_in_cancelled() {
    local ep=$1
    urbs=$((urbs + 1))
    record S 1 "$ep" -115 8 0x2d 0x3c "$NOSETUP" 8 0x200
    record C 1 "$ep" -2 0 0x2d 0 "$NOSETUP" 8 0x200
}

# The decoded items the capture must give (check_capture.sh's format), for
# the run with default preferences and for the run restricted to device 1:5
# and endpoint 0x82 (see the runs at the end); for the look-alike capture,
# what both passes show, what only two passes show (settled) and what one
# pass shows instead (guessed).
# expect all|default|restricted|both|settled|guessed LINE
expecting=1
expect() {
    [ "$expecting" = 1 ] || return 0
    case "$1" in
        all) echo "$2" >>"$work/expected.default"; echo "$2" >>"$work/expected.restricted" ;;
        default) echo "$2" >>"$work/expected.default" ;;
        restricted) echo "$2" >>"$work/expected.restricted" ;;
        both) echo "$2" >>"$work/expected.lookalike"; echo "$2" >>"$work/expected.lookalike.one" ;;
        settled) echo "$2" >>"$work/expected.lookalike" ;;
        guessed) echo "$2" >>"$work/expected.lookalike.one" ;;
        lengths) echo "$2" >>"$work/expected.lengths" ;;
        table) echo "$2" >>"$work/expected.table" ;;
    esac
}

# The example display: (1.5, -2.25, 123.457), (0.001, 0, 10), 100 200 3000 12000.
EX=("06 FE FD 0F 01 00 88 13" "06 02 00 C4 89 7B 00 DA" "06 11 00 00 0A 00 00 00"
    "06 00 00 0A 00 00 00 64" "06 00 C8 00 B8 0B E0 2E" "06 08 02 00 00 00 00 00")
EX_FRAME="frame 1.5000 -2.2500 123.4570 0.0010 0.0000 10.0000 100 200 3000 12000"
# A fresh display: all zero.
ZERO=("06 FE FD 0F 00 00 00 00" "06 00 00 00 00 00 00 00" "06 00 00 00 00 00 00 00"
      "06 00 00 00 00 00 00 00" "06 00 00 00 00 00 00 00" "06 08 02 00 00 00 00 00")
ZERO_FRAME="frame 0.0000 0.0000 0.0000 0.0000 0.0000 0.0000 0 0 0 0"

# frame_reports WHO REPORT...: each report as a SET_REPORT of the current
# device, expecting display 0..5 (WHO: see expect).
frame_reports() {
    local who=$1 i=0 r
    shift
    for r in "$@"; do
        # shellcheck disable=SC2086 # a report is a list of bytes
        set_report $r
        expect "$who" "display $i"
        i=$((i + 1))
    done
}

# Two pendants: A (bus 1, address 5) never enumerated in the capture, so the
# USB dissector does not know its interface class; B (bus 2, address 5, the
# same address on another bus) enumerated, so it decodes B's interface as
# HID. And a mouse M (bus 1, address 9) with input on its endpoint 0x81.
A() { device 1 5; }
B() { device 2 5; }
M() { device 1 9; }

write_capture() {
    local i r
    # The capture starts in the middle of A's frame: reports 3..5 have no
    # known place, and there is no frame.
    A
    for r in "${EX[@]:3}"; do
        # shellcheck disable=SC2086
        set_report $r
        expect all "display ?"
    done

    # B's enumeration: device descriptor, then the configuration: one HID
    # interface (class 3) with interrupt IN endpoint 0x81.
    B
    control_in "80 06 00 01 00 00 12 00" \
        12 01 00 02 00 00 00 40 34 12 cd ab 00 01 01 02 00 01
    control_in "80 06 00 02 00 00 22 00" \
        09 02 22 00 01 01 00 80 32  09 04 00 00 01 03 00 00 00 \
        09 21 10 01 00 01 22 20 00  07 05 81 03 08 00 08

    # A: the example display, with other control requests in the middle
    # that are no display reports and leave the frame alone: SET_REPORT of
    # report 5 (wValue 0x0305), a vendor request with the same numbers,
    # GET_REPORT of feature report 6 and a standard GET_STATUS.
    A
    frame_reports all "${EX[@]:0:3}"
    control_out "21 09 05 03 00 00 08 00" 05 FE FD 0F 00 00 00 00
    control_out "41 09 06 03 00 00 08 00" 06 FE FD 0F 00 00 00 00
    control_in "a1 01 06 03 00 00 08 00" 06 FE FD 0F 00 00 00 00
    control_in "80 00 00 00 00 00 02 00" 00 00
    i=3
    for r in "${EX[@]:3}"; do
        # shellcheck disable=SC2086
        set_report $r
        expect all "display $i"
        i=$((i + 1))
    done
    expect all "$EX_FRAME"

    # A and B interleaved: B's first frame is a fresh display; A's next
    # frame has a wrong header, so only its order makes it report 0.
    local bad_header=("06 FE FD 0E 01 00 88 13" "${EX[@]:1}")
    for i in 0 1 2 3 4 5; do
        A
        # shellcheck disable=SC2086
        set_report ${bad_header[$i]}
        expect all "display $i"
        [ $i -lt 5 ] || expect all "$EX_FRAME problem header is not FE FD 0F"
        B
        # shellcheck disable=SC2086
        set_report ${ZERO[$i]}
        expect default "display $i"
        [ $i -lt 5 ] || expect default "$ZERO_FRAME"
    done

    # Input reports of A.
    A
    interrupt_in 0x81 04 00 00 12 02 00 00 00;  expect default "report 2 +2 moves"
    interrupt_in 0x81 04 00 00 11 FF 00 00 00;  expect default "report 1 -1 moves"
    interrupt_in 0x81 04 00 00 13 E1 00 00 00;  expect default "report 3 -31 moves"
    interrupt_in 0x81 04 00 00 13 1F 00 00 00;  expect default "report 3 +31 moves"
    interrupt_in 0x81 04 00 00 12 20 00 00 00;  expect default "report 2 +32 ignored"
    interrupt_in 0x81 04 00 00 12 E0 00 00 00;  expect default "report 2 -32 ignored"
    interrupt_in 0x81 04 00 00 12 00 00 00 00;  expect default "report 2 +0 ignored"
    interrupt_in 0x81 04 00 00 10 05 00 00 00;  expect default "report 0 +5 ignored"
    interrupt_in 0x81 04 00 00 14 01 00 00 00;  expect default "report 0 +1 ignored"
    interrupt_in 0x81 04 00 00 12;              expect default "report 2 +0 ignored"
    interrupt_in 0x81 04 00 00 12 03;           expect default "report 2 +3 moves"
    interrupt_in_cancelled 0x81
    # The same bytes on another endpoint: only for the run that picks it.
    interrupt_in 0x82 04 00 00 11 07 00 00 00;  expect restricted "report 1 +7 moves"
    # The mouse: its reports look the same; only the device filter keeps
    # them out.
    M
    interrupt_in 0x81 01 00 00 12 03 00 00 00;  expect default "report 2 +3 moves"
    interrupt_in 0x82 01 00 00 12 04 00 00 00
    # Input of B, whose interface the USB dissector takes as HID.
    B
    interrupt_in 0x81 04 00 00 11 01 00 00 00;  expect default "report 1 +1 moves"

    # A: frames with wrong constants, and one with a fraction above 9999
    # (set2 axis 2: 10000, sign set).
    A
    frame_reports all "${EX[@]:0:5}" "06 08 03 00 00 00 00 00"
    expect all "$EX_FRAME problem word at 35 is not 0x0208"
    frame_reports all "${ZERO[@]:0:5}" "06 08 02 00 00 00 01 00"
    expect all "$ZERO_FRAME problem bytes 37..41 are not zero"
    frame_reports all "${ZERO[@]:0:3}" "06 10 A7 00 00 00 00 00" "${ZERO[@]:4}"
    expect all "frame 0.0000 0.0000 0.0000 0.0000 -1.0000 0.0000 0 0 0 0 problem fraction above 9999 in set2.axis2"

    # A: a frame broken off after report 2, then a whole one.
    frame_reports all "${EX[@]:0:3}"
    # shellcheck disable=SC2086
    set_report ${ZERO[0]}
    expect all "display 0 problem frame abandoned after report 2"
    for i in 1 2 3 4 5; do
        # shellcheck disable=SC2086
        set_report ${ZERO[$i]}
        expect all "display $i"
    done
    expect all "$ZERO_FRAME"

    # A: a feature report 6 request with only 4 bytes, in the middle of a
    # frame; the rest of that frame has no place, the next one decodes.
    frame_reports all "${EX[@]:0:2}"
    set_report 06 FE FD 0F
    expect all "display ? problem not an 8-byte report with id 6; frame abandoned after report 1"
    for r in "${EX[@]:2}"; do
        # shellcheck disable=SC2086
        set_report $r
        expect all "display ?"
    done
    frame_reports all "${EX[@]}"
    expect all "$EX_FRAME"

    # B: the example display, as HID.
    B
    frame_reports default "${EX[@]}"
    expect default "$EX_FRAME"
}

# Display words 65042 (0xFE12) and 4093 (0x0FFD) put FE FD 0F at the start
# of report 4: it looks like report 0 of a new frame, and only the sixth
# report tells. One pass shows the guess; the frame is whole in both.
LOOK=("${EX[@]:0:3}" "06 00 00 0A 00 00 00 12" "06 FE FD 0F B8 0B E0 2E" "${EX[5]}")
LOOK_FRAME="frame 1.5000 -2.2500 123.4570 0.0010 0.0000 10.0000 65042 4093 3000 12000"
# look_end: reports 4 and 5 of the look-alike frame.
look_end() {
    # shellcheck disable=SC2086
    set_report ${LOOK[4]}
    expect settled "display 4"
    expect guessed "display 0 problem frame abandoned after report 3"
    # shellcheck disable=SC2086
    set_report ${LOOK[5]}
    expect both "display 5"
    expect both "$LOOK_FRAME"
}
write_lookalike() {
    local i
    A
    frame_reports both "${LOOK[@]:0:4}"
    look_end

    # A frame broken off after report 2, then the look-alike frame: the
    # broken one is dropped when its sixth report is not the end.
    frame_reports both "${EX[@]:0:3}"
    # shellcheck disable=SC2086
    set_report ${LOOK[0]}
    expect both "display 0 problem frame abandoned after report 2"
    for i in 1 2 3; do
        # shellcheck disable=SC2086
        set_report ${LOOK[$i]}
        expect both "display $i"
    done
    look_end
}

# The report descriptors both parsers are held to: TABLE_BYTES (a number,
# none or malformed), TABLE_WHAT and TABLE_HEX, one entry per row.
TABLE_BYTES=() TABLE_WHAT=() TABLE_HEX=()
trim() {
    local s="$1"
    s="${s#"${s%%[! ]*}"}"
    printf '%s' "${s%"${s##*[! ]}"}"
}
read_table() {
    local bytes what hex
    while IFS='|' read -r bytes what hex; do
        case "$bytes" in '#'* | '') continue ;; esac
        TABLE_BYTES+=("$(trim "$bytes")") TABLE_WHAT+=("$(trim "$what")") TABLE_HEX+=("$hex")
    done <"$here/../support/report_descriptors.txt"
    [ ${#TABLE_BYTES[@]} -ge 10 ] || { echo "FAIL: the descriptor table is missing or short" >&2; exit 1; }
}
# table_hex WHAT: the descriptor of that row.
table_hex() {
    local i
    for i in "${!TABLE_WHAT[@]}"; do
        [ "${TABLE_WHAT[$i]}" = "$1" ] && { echo "${TABLE_HEX[$i]}"; return; }
    done
    echo "FAIL: no descriptor '$1' in the table" >&2
    exit 1
}

# Every descriptor of the table, answered to one device: what the dissector
# makes of it must be what the tool's parser makes of it.
write_table() {
    local i
    device 4 1
    for i in "${!TABLE_BYTES[@]}"; do
        # shellcheck disable=SC2086 # a descriptor is a list of bytes
        get_report_descriptor ${TABLE_HEX[$i]}
        case "${TABLE_BYTES[$i]}" in
            malformed) expect table "descriptor unknown" ;;
            *) expect table "descriptor ${TABLE_BYTES[$i]}" ;;
        esac
    done
}

# 14-byte reports on 8-byte packets, read 14 bytes at a time: each completion
# is one report. With with_descriptor=0 the same transfers without the
# descriptor exchanges (the expected items are made from these below).
with_descriptor=1
SPLIT="8 bytes, not the declared 14: a report split or merged"
write_lengths() {
    device 3 7
    if [ "$with_descriptor" = 1 ]; then
        # shellcheck disable=SC2046 # a descriptor is a list of bytes
        get_report_descriptor $(table_hex "input 4 of 13: longer than an 8-byte packet")
        expect lengths "descriptor 14"
    fi
    read_len=14
    interrupt_in 0x81 04 00 00 12 02 00 00 00 AA BB CC 12 05 00
    expect lengths "report 2 +2 moves declared 14"
    interrupt_in 0x81 04 00 00 11 FF 00 00 00 AA BB CC 12 05 00
    expect lengths "report 1 -1 moves declared 14"
    # A zero-length completion, as the packet that ends a transfer whose
    # last packet was full.
    interrupt_in 0x81
    expect lengths "zlp"
    # A report split over two reads (its tail's 12 05 would be a +5), and
    # two merged into one.
    read_len=8
    interrupt_in 0x81 04 00 00 12 02 00 00 00
    expect lengths "report 2 +2 moves declared 14 problem $SPLIT"
    interrupt_in 0x81 AA BB CC 12 05 00
    expect lengths "report 2 +5 moves declared 14 problem 6 bytes, not the declared 14: a report split or merged"
    read_len=28
    interrupt_in 0x81 04 00 00 13 E1 00 00 00 AA BB CC 12 05 00 04 00 00 13 01 00 00 00 AA BB CC 12 05 00
    expect lengths "report 3 -31 moves declared 14 problem 28 bytes, not the declared 14: a report split or merged"
    # Opened again, the request refused: the host reads by its old rule and
    # the size learnt before no longer holds.
    if [ "$with_descriptor" = 1 ]; then
        get_report_descriptor_stalls
        expect lengths "descriptor unknown"
    fi
    read_len=8
    interrupt_in 0x81 04 00 00 12 03 00 00 00
    expect lengths "report 2 +3 moves"
}

# ---------------------------------------------------------------------------
# Runs

# shellcheck source=SCRIPTDIR/../support/lib.sh
source "$here/../support/lib.sh"
on_fail() { keep=1; }

header_len=64 write_capture >"$work/capture220.txt"
# The same transfers with the 48-byte header; the expected lines stay.
expecting=0 records=0 urbs=0 usec=0
header_len=48 write_capture >"$work/capture189.txt"

expecting=1 records=0 urbs=0 usec=0
header_len=64 write_lookalike >"$work/lookalike.txt"

read_table
records=0 urbs=0 usec=0
header_len=64 write_table >"$work/table.txt"
records=0 urbs=0 usec=0
header_len=64 with_descriptor=1 write_lengths >"$work/lengths.txt"
# Without the descriptor nothing is declared and nothing is flagged.
expecting=0 records=0 urbs=0 usec=0
header_len=64 with_descriptor=0 write_lengths >"$work/plain.txt"
sed -e '/^descriptor /d' -e 's/ declared [0-9]*//' -e 's/ problem .*//' \
    "$work/expected.lengths" >"$work/expected.plain"

"$text2pcap" -q -l 220 -t ISO "$work/capture220.txt" "$work/capture220.pcapng" 2>"$work/text2pcap.log"
"$text2pcap" -q -l 189 -t ISO "$work/capture189.txt" "$work/capture189.pcapng" 2>>"$work/text2pcap.log"
"$text2pcap" -q -l 220 -t ISO "$work/lookalike.txt" "$work/lookalike.pcapng" 2>>"$work/text2pcap.log"
for c in table lengths plain; do
    "$text2pcap" -q -l 220 -t ISO "$work/$c.txt" "$work/$c.pcapng" 2>>"$work/text2pcap.log"
done

check="$here/check_capture.sh"
check_quiet "link type 220, default preferences" \
    bash "$check" --display "$work/capture220.pcapng" "$work/expected.default"
check_quiet "link type 189, default preferences" \
    bash "$check" --display "$work/capture189.pcapng" "$work/expected.default"
check_quiet "bus 1, device 5, input endpoint 0x82" \
    bash "$check" --display -o pendant.bus:1 -o pendant.device:5 -o pendant.input_endpoint:0x82 \
    "$work/capture220.pcapng" "$work/expected.restricted"
check_quiet "FE FD 0F inside a frame's data" \
    bash "$check" --display --one-pass "$work/expected.lookalike.one" \
    "$work/lookalike.pcapng" "$work/expected.lookalike"

check_quiet "each report descriptor of the table as the tool's parser reads it" \
    bash "$check" --lengths "$work/table.pcapng" "$work/expected.table"
check_quiet "14-byte reports on 8-byte packets, read whole, split, merged; a zero-length packet" \
    bash "$check" --lengths "$work/lengths.pcapng" "$work/expected.lengths"
check_quiet "the same without the descriptor exchange: each completion one report, nothing flagged" \
    bash "$check" --lengths "$work/plain.pcapng" "$work/expected.plain"

# The exchange and the zero-length packet in the info column, and the expert
# warning on exactly the completions flagged.
lengths_info() {
    "$tshark" -n -X "lua_script:$dissector" -r "$work/lengths.pcapng" -T fields -e _ws.col.Info \
        -Y pendant 2>/dev/null >"$work/info.lengths"
    local want
    for want in "Report descriptor request: interface 0" "Report descriptor: input report 14 bytes" \
        "zero-length packet: ends a transfer, no report" \
        "Report descriptor: input report size unknown (request failed, status -32)" \
        "Input report: axis 2, count +2, moves [$SPLIT]"; do
        grep -qxF "$want" "$work/info.lengths" || { echo "no info column '$want' in:"; cat "$work/info.lengths"; return 1; }
    done
    "$tshark" -n -X "lua_script:$dissector" -r "$work/table.pcapng" -T fields -e _ws.col.Info \
        -Y pendant.descriptor.problem 2>/dev/null >"$work/info.table"
    grep -qxF "Report descriptor: input report size unknown (malformed: a pop without a push)" "$work/info.table" \
        || { echo "no malformed descriptor in:"; cat "$work/info.table"; return 1; }
    local warned flagged
    warned="$("$tshark" -n -X "lua_script:$dissector" -r "$work/lengths.pcapng" -T fields -e frame.number \
        -Y pendant.report.length 2>/dev/null | tr '\n' ' ')"
    flagged="$("$tshark" -n -X "lua_script:$dissector" -r "$work/lengths.pcapng" -T fields -e frame.number \
        -Y 'pendant.input.length && pendant.report.problem' 2>/dev/null | tr '\n' ' ')"
    echo "warned: $warned; flagged: $flagged"
    [ -n "$warned" ] && [ "$warned" = "$flagged" ]
}
check_quiet "info column of the descriptor exchange, the zero-length packet, a split report" lengths_info

# The frame's values with four decimals in the info column.
info_shows_four_decimals() {
    "$tshark" -n -X "lua_script:$dissector" -r "$work/capture220.pcapng" -T fields -e _ws.col.Info \
        -Y 'pendant.frame.set1.axis3 && !pendant.frame.problem' 2>/dev/null | head -n 1 >"$work/info"
    echo "info column: $(cat "$work/info")"
    grep -qxF "Display frame: 1.5000 -2.2500 123.4570 | 0.0010 0.0000 10.0000 | 100 200 3000 12000" "$work/info"
}
check_quiet "info column of the example frame" info_shows_four_decimals

# The checker itself must notice one wrong value.
checker_rejects_a_wrong_value() {
    sed '0,/^frame 1\.5000/s/^frame 1\.5000/frame 1.5001/' "$work/expected.default" >"$work/expected.wrong"
    ! cmp -s "$work/expected.default" "$work/expected.wrong" || { echo "no line changed"; return 1; }
    local status=0
    bash "$check" --display "$work/capture220.pcapng" "$work/expected.wrong" || status=$?
    [ "$status" -eq 1 ] || { echo "check_capture.sh exited $status on a wrong value, not 1"; return 1; }
}
check_quiet "checker rejects a wrong value" checker_rejects_a_wrong_value

summary dissector
all_passed
