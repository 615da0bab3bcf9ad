#!/usr/bin/env bash
# One Wine test case: optionally make Wine's SetupAPI list a device interface
# under the pendant's GUID, run a Windows program with the given standard
# input, and compare its whole standard output, byte for byte, and its exit
# status with what is expected. Wine must stay quiet: anything on standard
# error fails the case.
#
#   run_case.sh --wine WINE-RUN --arch win32|win64 --prefix DIR [--device INSTANCE-ID [--ref REFSTRING]]
#               [--stdin TEXT | --stdin-open] [--line TEXT]... [--lines-from FILE]
#               [--status N] -- PROGRAM [ARGS...]
#
# --stdin TEXT is given in printf notation (\n is a line feed); with
# --stdin-open standard input stays open and empty until the program ends, so
# a program that reads it never ends by itself (Wine's time-out kills it and
# the status is not the one expected); each --line is
# one expected output line, taken literally; --lines-from FILE adds each line
# of FILE. A Windows program writes its text
# output in text mode, so every line ends in CR LF there.
set -euo pipefail

wine_run="" arch="" prefix="" device="" ref="" stdin_text="" stdin_open=0 status_want=0
expected_lines=()
have_lines=0
while [ $# -gt 0 ]; do
    case "$1" in
    --wine) wine_run="$2"; shift 2 ;;
    --arch) arch="$2"; shift 2 ;;
    --prefix) prefix="$2"; shift 2 ;;
    --device) device="$2"; shift 2 ;;
    --ref) ref="$2"; shift 2 ;;
    --stdin) stdin_text="$2"; shift 2 ;;
    --stdin-open) stdin_open=1; shift ;;
    --line) expected_lines+=("$2"); have_lines=1; shift 2 ;;
    --lines-from)
        mapfile -t -O "${#expected_lines[@]}" expected_lines <"$2"
        have_lines=1
        shift 2
        ;;
    --status) status_want="$2"; shift 2 ;;
    --) shift; break ;;
    *) echo "run_case: unknown option $1" >&2; exit 2 ;;
    esac
done
if [ -z "$wine_run" ] || [ -z "$arch" ] || [ -z "$prefix" ] || [ $# -eq 0 ]; then
    echo "run_case: --wine, --arch, --prefix and a program are required" >&2
    exit 2
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

"$wine_run" --arch "$arch" --prefix "$prefix" --init

# The interface list lives in the prefix's registry. Wine's SetupAPI lists an
# interface as present when the device instance exists under Enum with a
# ClassGUID, and the interface key under DeviceClasses\{GUID} names that
# instance and is marked Linked; the path it reports is built from the
# instance id (lower-cased) plus the GUID, and "\REFSTRING" when the
# interface has a reference string. Every case starts from an empty list.
guid='{136917cc-8699-43ec-b5a9-8926d7165de7}'
classes="HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\DeviceClasses\\$guid"
enum="HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Enum\\USB\\VID_0000&PID_0000"
{
    echo "REGEDIT4"
    echo
    echo "[-$classes]"
    echo "[-$enum]"
    if [ -n "$device" ]; then
        escaped="${device//\\/\\\\}"
        echo
        echo "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Enum\\$device]"
        echo "\"ClassGUID\"=\"{88bae032-5a81-49f0-bc3d-a4ff138216d6}\""
        echo
        echo "[$classes\\pendant]"
        echo "\"DeviceInstance\"=\"$escaped\""
        echo
        echo "[$classes\\pendant\\#$ref\\Control]"
        echo "\"Linked\"=dword:00000001"
    fi
} >"$work/devices.reg"
case "$device" in
"" | USB\\VID_0000\&PID_0000\\*) ;;
*) echo "run_case: test devices live under USB\\VID_0000&PID_0000\\ only" >&2; exit 2 ;;
esac
# shellcheck disable=SC1003 # tr turns each / into one backslash
if ! "$wine_run" --arch "$arch" --prefix "$prefix" --timeout 60 regedit /S "$(printf 'Z:%s' "$work/devices.reg" | tr / '\\')" \
    >"$work/reg.out" 2>&1; then
    echo "run_case: regedit failed:" >&2
    cat "$work/reg.out" >&2
    exit 1
fi

set +e
if [ "$stdin_open" -eq 1 ]; then
    mkfifo "$work/in"
    "$wine_run" --arch "$arch" --prefix "$prefix" --timeout 60 "$@" <"$work/in" >"$work/out" 2>"$work/err" &
    pid=$!
    # The writing end, held open and never written, until the program ends.
    exec 3>"$work/in"
    wait "$pid"
    status=$?
    exec 3>&-
else
    # shellcheck disable=SC2059 # --stdin takes printf escapes (\n)
    printf "$stdin_text" | "$wine_run" --arch "$arch" --prefix "$prefix" --timeout 60 "$@" >"$work/out" 2>"$work/err"
    status=$?
fi
set -e

fail=0
if [ "$status" -ne "$status_want" ]; then
    echo "exit status $status, expected $status_want"
    fail=1
fi
if [ "$have_lines" -eq 1 ]; then
    : >"$work/want"
    for line in "${expected_lines[@]}"; do
        printf '%s\r\n' "$line" >>"$work/want"
    done
    if ! cmp -s "$work/want" "$work/out"; then
        echo "standard output differs; expected:"
        od -c "$work/want" | head -40
        echo "got:"
        od -c "$work/out" | head -40
        fail=1
    fi
fi
if [ -s "$work/err" ]; then
    echo "unexpected output on standard error:"
    head -20 "$work/err"
    fail=1
fi
echo "--- output of $(basename "$1") ---"
cat "$work/out"
exit "$fail"
