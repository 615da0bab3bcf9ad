#!/usr/bin/env bash
# Packages for the Windows build and its Wine tests: the mingw-w64 cross
# compilers (i686 and x86_64), Wine with its 32-bit half from the i386
# architecture, and `file` to check what kind of executable we produced.
# Idempotent: nothing is fetched when everything is already there.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
apt_get() { timeout 1800 apt-get -o DPkg::Lock::Timeout=900 "$@"; }

want=(mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
      gcc-mingw-w64-i686-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64
      wine wine64 file googletest)
want_i386=(wine32:i386)

missing=()
for p in "${want[@]}" "${want_i386[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -eq 0 ]; then
    echo "deps 20-windows: all present"
    exit 0
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
apt_get update -q
apt_get install -y -q --no-install-recommends "${missing[@]}"
echo "deps 20-windows: installed ${missing[*]}"
