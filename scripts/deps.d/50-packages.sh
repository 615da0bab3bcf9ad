#!/usr/bin/env bash
# The package suite (scripts/test.d/30-packages.sh): dpkg-shlibdeps for the
# .deb's Depends, man and lexgrog to find and read the man pages, groff to
# check them, file and strings to look at the binaries, lintian (Debian's
# own package checker) to check the .deb, and strip-nondeterminism, which
# gives the zip's entries fixed times and owners when CPack makes it. It
# also runs the zip's .exe under Wine and builds it with mingw-w64
# (20-windows.sh), and builds pendant-sim (30-sim.sh).
set -euo pipefail
source "$(dirname "$0")/../lib/apt.sh"
source "$(dirname "$0")/../lib/packages.sh"
apt_install "${pendant_package_packages[@]}" man-db groff-base file binutils \
    lintian strip-nondeterminism
