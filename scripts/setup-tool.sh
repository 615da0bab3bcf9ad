#!/usr/bin/env bash
# Installs what building and using pendant-test on Linux needs, and nothing
# more (the README's Linux steps); with --package, also what making the
# Debian package needs (pendant-sim's libraries, dpkg-dev). Debian 12, as
# root. The test suites need much more: scripts/deps.sh.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/lib/apt.sh"
source "$here/lib/packages.sh"
case "${1:-}" in
"") want=("${pendant_tool_packages[@]}") ;;
--package) want=("${pendant_package_packages[@]}") ;;
*)
    echo "usage: setup-tool.sh [--package]" >&2
    exit 2
    ;;
esac
if [ "$(id -u)" -ne 0 ]; then
    echo "setup-tool: installing packages needs root: run it as root or with sudo" >&2
    exit 1
fi
apt_install "${want[@]}"
echo "setup-tool: installed: ${want[*]}"
