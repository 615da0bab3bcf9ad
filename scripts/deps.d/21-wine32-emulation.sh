#!/usr/bin/env bash
# 32-bit Wine where this kernel cannot run 32-bit code (no ia32 emulation):
# qemu's user-mode emulator for i386, statically linked, from the release's
# backports (bookworm's own qemu 7.2 takes over a minute to start each Wine
# process, and crashes). cmake/run-i386.sh uses it inside a private
# namespace. Only that one binary is kept, in a cache: nothing is installed
# and no apt source is added to the machine; a private apt configuration
# fetches the package. Idempotent.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../lib/apt.sh"

if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo "deps 21-wine32-emulation: not needed, this kernel runs 32-bit programs"
    exit 0
fi
cache="${PENDANT_QEMU_CACHE:-/var/cache/pendant-test-qemu-user}"
if [ -x "$cache/current/qemu-i386" ]; then
    echo "deps 21-wine32-emulation: $("$cache/current/qemu-i386" --version | head -n 1) cached"
    exit 0
fi

suite="$(apt_release)-backports"
mirror="${PENDANT_BACKPORTS_MIRROR:-http://deb.debian.org/debian}"
mkdir -p "$cache"
work="$(mktemp -d "$cache/.fetch.XXXXXX")"
trap 'rm -rf "$work"' EXIT
chmod 0755 "$work"
mkdir -p "$work/lists/partial" "$work/archives/partial" "$work/deb"
echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror $suite main" \
    >"$work/sources.list"
private=(-o "Dir::Etc::sourcelist=$work/sources.list" -o "Dir::Etc::sourceparts=-"
         -o "Dir::State::lists=$work/lists" -o "Dir::Cache=$work" -o "Dir::Cache::archives=$work/archives"
         -o "APT::Architectures=amd64")
ok=0
for try in 1 2 3; do
    if apt_get "${private[@]}" update -q >"$work/update.log" 2>&1; then
        ok=1
        break
    fi
    apt_say "reading $suite failed (try $try of 3):"
    grep -E '^(E|Err):' "$work/update.log" | sed 's/^/apt:   /' | head -n 4
    sleep $((try * 5))
done
if [ "$ok" -eq 0 ]; then
    echo "deps 21-wine32-emulation: cannot read $suite; qemu-user is needed for 32-bit Wine" >&2
    exit 1
fi
# apt-get download drops privileges to _apt: let it write there.
chmod 0777 "$work/deb"
(cd "$work/deb" && apt_get "${private[@]}" download -q qemu-user) || {
    echo "deps 21-wine32-emulation: downloading qemu-user from $suite failed" >&2
    exit 1
}
deb="$(ls "$work"/deb/qemu-user_*.deb)"
ver="$(dpkg-deb -f "$deb" Version)"
dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$work" ./usr/bin/qemu-i386
dir="$cache/qemu-user_${ver//:/_}"
rm -rf "$dir"
mkdir -p "$dir"
mv "$work/usr/bin/qemu-i386" "$dir/qemu-i386"
ln -sfn "$(basename "$dir")" "$cache/current"
echo "deps 21-wine32-emulation: qemu-i386 of qemu-user $ver unpacked into $dir"
# The namespace it runs in needs Linux 6.7 or later; say so now, and let the
# Windows suite fail with the reason, rather than stop every other suite.
if ! "$here/../../cmake/run-i386.sh" "$dir/qemu-i386" /usr/lib/wine/wine --version >/dev/null; then
    echo "deps 21-wine32-emulation: it does not start 32-bit Wine here; the windows-i686 tests will fail" >&2
fi
