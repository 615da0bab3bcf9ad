# shellcheck shell=bash
# Installing Debian packages on a machine whose mirror may be part-way
# through a sync. Sourced by the scripts in deps.d/.
#
#   apt_install PKG...   installs what is missing (PKG may carry :ARCH)
#   apt_update [--again] refreshes the package lists (once per run unless
#                        --again, e.g. after adding an architecture); a run
#                        is one script, or all that share PENDANT_APT_STAMP
#
# A mirror mid-sync serves an index of the wrong size ("Mirror sync in
# progress?"), sometimes for hours. apt-get update then fails although the
# other lists are fine, so it is retried a few times and then the run goes
# on with the lists it did get. With one architecture's index of a suite
# missing, the other architecture may see newer versions than it can match,
# and Multi-Arch: same packages refuse the pair; the install is then retried
# with the release's own versions. Whatever happens, every package asked for
# is installed at the end, or the run stops naming those that are not.

apt_get() {
  DEBIAN_FRONTEND=noninteractive timeout 1800 apt-get -o DPkg::Lock::Timeout=900 "$@"
}

apt_say() { echo "apt: $*"; }

# shellcheck disable=SC2120 # the callers that refresh again pass --again
apt_update() {
  if [ "${1:-}" != "--again" ]; then
    [ -n "${PENDANT_APT_UPDATED:-}" ] && return 0
    [ -n "${PENDANT_APT_STAMP:-}" ] && [ -e "$PENDANT_APT_STAMP" ] && return 0
  fi
  local tries="${PENDANT_APT_UPDATE_TRIES:-3}" try log
  log="$(mktemp)"
  for ((try = 1; try <= tries; try++)); do
    if apt_get update -q >"$log" 2>&1; then
      rm -f "$log"
      apt_updated
      return 0
    fi
    apt_say "updating the package lists failed (try $try of $tries):"
    grep -E '^(E|Err):' "$log" | sed 's/^/apt:   /' | head -n 6
    [ "$try" -lt "$tries" ] && sleep $((try * 5))
  done
  rm -f "$log"
  apt_say "going on with the package lists that did download"
  apt_updated
  return 0
}

apt_updated() {
  export PENDANT_APT_UPDATED=1
  if [ -n "${PENDANT_APT_STAMP:-}" ]; then touch "$PENDANT_APT_STAMP"; fi
}

# Prints the packages of "$@" that are not installed.
apt_missing() {
  local pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
      echo "$pkg"
  done
}

apt_release() {
  (. /etc/os-release && echo "${VERSION_CODENAME:-}")
}

apt_install() {
  local missing=() still=() release
  mapfile -t missing < <(apt_missing "$@")
  [ ${#missing[@]} -eq 0 ] && return 0
  apt_update
  apt_say "installing ${missing[*]}"
  if ! apt_get install -y -q --no-install-recommends "${missing[@]}"; then
    release="$(apt_release)"
    if [ -n "$release" ]; then
      apt_say "that failed; trying again with the release's own versions (-t $release)"
      apt_get install -y -q --no-install-recommends -t "$release" "${missing[@]}" || true
    fi
  fi
  mapfile -t still < <(apt_missing "${missing[@]}")
  if [ ${#still[@]} -gt 0 ]; then
    apt_say "not installed: ${still[*]}" >&2
    return 1
  fi
  return 0
}
