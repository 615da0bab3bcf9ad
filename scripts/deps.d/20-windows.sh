#!/usr/bin/env bash
# Packages for the Windows build and its Wine tests: the mingw-w64 cross
# compilers (i686 and x86_64), Wine with its 32-bit half from the i386
# architecture, and `file` to check what kind of executable we produced.
# Where this kernel cannot run 32-bit programs, 21-wine32-emulation.sh adds
# what runs them. Idempotent: nothing is fetched when all is there.
set -euo pipefail
source "$(dirname "$0")/../lib/apt.sh"

want=(mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
      gcc-mingw-w64-i686-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64
      wine wine64 wine32:i386 file googletest)

if [ -z "$(apt_missing "${want[@]}")" ]; then
    echo "deps 20-windows: all present"
    exit 0
fi
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    apt_say "added the i386 architecture"
    apt_update --again
fi
apt_install "${want[@]}"
echo "deps 20-windows: installed"
