#!/usr/bin/env bash
# Runs one Windows program under Wine, quietly and with a time limit.
#
#   wine-run.sh --prefix DIR [--timeout SECONDS] [--init] [--] PROGRAM [ARGS...]
#
# DIR is a Wine prefix of our own inside the build tree; it is created on
# first use (serialised with a lock, so parallel tests can share it) and
# never touches ~/.wine. Wine's debug channels are off, no display is used,
# and the program is killed when it outlives SECONDS (default 60). Standard
# input, output and the exit status are the program's own. --init only makes
# sure the prefix exists.
set -euo pipefail

prefix=""
limit=60
init_only=0
while [ $# -gt 0 ]; do
    case "$1" in
    --prefix) prefix="$2"; shift 2 ;;
    --timeout) limit="$2"; shift 2 ;;
    --init) init_only=1; shift ;;
    --) shift; break ;;
    *) break ;;
    esac
done
if [ -z "$prefix" ]; then
    echo "wine-run: --prefix DIR is required" >&2
    exit 2
fi
if [ "$init_only" -eq 0 ] && [ $# -eq 0 ]; then
    echo "wine-run: no program given" >&2
    exit 2
fi

mkdir -p "$(dirname "$prefix")"
prefix="$(cd "$(dirname "$prefix")" && pwd)/$(basename "$prefix")"

export WINEPREFIX="$prefix"
export WINEDEBUG=-all
# No Mono/Gecko installers and no desktop menu entries in a throw-away prefix.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY WINEARCH WINELOADER

# Without the 32-bit loader Debian's wine silently falls back to the 64-bit
# one, which cannot start a PE32 program; say so instead.
if [ ! -x /usr/lib/wine/wine ]; then
    echo "wine-run: /usr/lib/wine/wine missing: install wine32:i386 (scripts/deps.sh)" >&2
    exit 2
fi

# Create the prefix once. Its chatter goes to a log, not to the test's output.
exec 9>"$prefix.lock"
if ! flock -w 300 9; then
    echo "wine-run: could not lock $prefix.lock within 300 s" >&2
    exit 2
fi
if [ ! -f "$prefix/system.reg" ]; then
    if ! timeout -k 5 240 wineboot -i >"$prefix.init.log" 2>&1; then
        echo "wine-run: creating the Wine prefix failed, see $prefix.init.log" >&2
        exit 2
    fi
    # wineboot returns before the server has written the registry to disk.
    timeout -k 5 60 wineserver -w || true
fi
flock -u 9
exec 9>&-
[ "$init_only" -eq 1 ] && exit 0

set +e
timeout -k 5 "$limit" wine "$@"
status=$?
set -e
if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
    echo "wine-run: $1 did not finish within $limit s; stopped" >&2
    timeout -k 5 30 wineserver -k 2>/dev/null || true
fi
exit "$status"
