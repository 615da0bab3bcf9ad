#!/usr/bin/env bash
# The closing read of pendant-test.exe when no pendant is there: after its two
# lines the program waits for a word on standard input. A bare line feed must
# not end the wait; the word that follows must, with exit status 0.
#
#   closing_read.sh --wine WINE-RUN --arch win32|win64 --prefix DIR -- PROGRAM
set -euo pipefail

wine_run="" arch="" prefix=""
while [ $# -gt 0 ]; do
    case "$1" in
    --wine) wine_run="$2"; shift 2 ;;
    --arch) arch="$2"; shift 2 ;;
    --prefix) prefix="$2"; shift 2 ;;
    --) shift; break ;;
    *) echo "closing_read: unknown option $1" >&2; exit 2 ;;
    esac
done
if [ -z "$wine_run" ] || [ -z "$arch" ] || [ -z "$prefix" ] || [ $# -eq 0 ]; then
    echo "closing_read: --wine, --arch, --prefix and a program are required" >&2
    exit 2
fi

work="$(mktemp -d)"
pid=""
cleanup() {
    exec 3>&- 2>/dev/null || true
    if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
"$wine_run" --arch "$arch" --prefix "$prefix" --init

mkfifo "$work/in"
"$wine_run" --arch "$arch" --prefix "$prefix" --timeout 90 "$@" <"$work/in" >"$work/out" 2>"$work/err" &
pid=$!
exec 3>"$work/in"

want=$'Device not connected or driver not installed\r\nnothing to do...\r\n'
# Wait (bounded) until both lines are out: the program is then at its read.
for _ in $(seq 1 600); do
    [ "$(cat "$work/out")" = "${want%$'\n'}" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if [ "$(cat "$work/out")" != "${want%$'\n'}" ]; then
    echo "the two lines did not appear before the read; output so far:"
    od -c "$work/out" | head
    exit 1
fi

printf '\n' >&3
printf '   \n' >&3
# Give a wrong implementation ample time to return on the empty lines.
sleep 2
if ! kill -0 "$pid" 2>/dev/null; then
    echo "FAIL: the program ended on a bare line feed"
    exit 1
fi
echo "ok: still waiting after a bare line feed and a line of blanks"

printf 'done\n' >&3
exec 3>&-
set +e
wait "$pid"
status=$?
set -e
pid=""
if [ "$status" -ne 0 ]; then
    echo "FAIL: exit status $status after the word, expected 0"
    exit 1
fi
echo "ok: a word ended it with status 0"
if [ "$(cat "$work/out"; echo x)" != "${want}x" ]; then
    echo "FAIL: nothing may follow the two lines; got:"
    od -c "$work/out" | head
    exit 1
fi
if [ -s "$work/err" ]; then
    echo "FAIL: unexpected output on standard error:"
    head -20 "$work/err"
    exit 1
fi
echo "ok: output is exactly the two lines"
