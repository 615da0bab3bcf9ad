#!/usr/bin/env bash
# Runs one Windows program under Wine, quietly and with a time limit.
#
#   wine-run.sh --prefix DIR --arch win32|win64 [--timeout SECONDS]
#               [--init | --how] [--] PROGRAM [ARGS...]
#
# DIR is a Wine prefix of our own inside the build tree; it is created on
# first use (serialised with a lock, so parallel tests can share it) and
# never touches ~/.wine. --arch says which Wine it is: win64 for PE32+
# programs, run by the 64-bit loader directly; win32 for PE32 programs, run
# by the 32-bit loader, natively where this kernel runs 32-bit code and
# through user-mode emulation (cmake/run-i386.sh) where it does not. Wine's
# debug channels are off, no display is used, and the program is killed when
# it outlives SECONDS (default 60). Standard input, output and the exit
# status are the program's own. --init only makes sure the prefix exists;
# --how prints one line saying how the prefix's programs run.
set -euo pipefail

prefix=""
arch=""
limit=60
action=run
while [ $# -gt 0 ]; do
    case "$1" in
    --prefix) prefix="$2"; shift 2 ;;
    --arch) arch="$2"; shift 2 ;;
    --timeout) limit="$2"; shift 2 ;;
    --init) action=init; shift ;;
    --how) action=how; shift ;;
    --) shift; break ;;
    *) break ;;
    esac
done
if [ "$action" != how ] && [ -z "$prefix" ]; then
    echo "wine-run: --prefix DIR is required" >&2
    exit 2
fi
if [ "$action" = run ] && [ $# -eq 0 ]; then
    echo "wine-run: no program given" >&2
    exit 2
fi

here="$(cd "$(dirname "$0")" && pwd)"
qemu="${PENDANT_QEMU_I386:-/var/cache/pendant-test-qemu-user/current/qemu-i386}"
wrap=()
case "$arch" in
win64)
    loader=/usr/lib/wine/wine64
    how="64-bit programs run natively (the 64-bit Wine loader)"
    ;;
win32)
    loader=/usr/lib/wine/wine
    if [ ! -x "$loader" ]; then
        echo "wine-run: $loader missing: install wine32:i386 (scripts/deps.sh)" >&2
        exit 2
    fi
    if "$loader" --version >/dev/null 2>&1; then
        how="32-bit programs run natively (this kernel runs 32-bit code)"
    elif [ -x "$qemu" ] && "$here/run-i386.sh" "$qemu" "$loader" --version >/dev/null 2>&1; then
        wrap=("$here/run-i386.sh" "$qemu")
        how="32-bit programs run under $("$qemu" --version | head -n 1 | sed 's/ *(.*//;s/ version / /')" \
        how+=" user-mode emulation in a private namespace (this kernel cannot run 32-bit code)"
    else
        echo "wine-run: this kernel cannot run 32-bit programs and no emulation works here:" >&2
        if [ ! -x "$qemu" ]; then
            echo "wine-run: $qemu missing (scripts/deps.d/21-wine32-emulation.sh fetches it)" >&2
        else
            "$here/run-i386.sh" "$qemu" "$loader" --version 2>&1 | sed 's/^/wine-run:   /' >&2 || true
        fi
        exit 2
    fi
    ;;
*)
    echo "wine-run: --arch win32 or win64 is required" >&2
    exit 2
    ;;
esac
if [ "$action" = how ]; then
    echo "$how"
    exit 0
fi

mkdir -p "$(dirname "$prefix")"
prefix="$(cd "$(dirname "$prefix")" && pwd)/$(basename "$prefix")"

export WINEPREFIX="$prefix" WINEARCH="$arch" WINELOADER="$loader"
export WINEDEBUG=-all
# No Mono/Gecko installers and no desktop menu entries in a throw-away prefix.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY


# Create the prefix once. Its chatter goes to a log, not to the test's output.
exec 9>"$prefix.lock"
if ! flock -w 300 9; then
    echo "wine-run: could not lock $prefix.lock within 300 s" >&2
    exit 2
fi
if [ ! -f "$prefix/system.reg" ]; then
    if ! timeout -k 5 240 "${wrap[@]}" "$loader" wineboot -i >"$prefix.init.log" 2>&1; then
        echo "wine-run: creating the Wine prefix failed, see $prefix.init.log" >&2
        exit 2
    fi
    # wineboot returns before the server has written the registry to disk.
    timeout -k 5 60 "${wrap[@]}" /usr/lib/wine/wineserver -w || true
fi
flock -u 9
exec 9>&-
[ "$action" = init ] && exit 0

set +e
timeout -k 5 "$limit" "${wrap[@]}" "$loader" "$@"
status=$?
set -e
if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
    echo "wine-run: $1 did not finish within $limit s; stopped" >&2
    timeout -k 5 30 "${wrap[@]}" /usr/lib/wine/wineserver -k 2>/dev/null || true
fi
exit "$status"
