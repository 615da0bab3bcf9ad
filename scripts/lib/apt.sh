# apt_install PKG...: installs what is missing, waiting for another installer's
# lock rather than failing on it. Updates the package lists once per run.
apt_install() {
  local missing=()
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  export DEBIAN_FRONTEND=noninteractive
  if [ -z "${PENDANT_APT_UPDATED:-}" ]; then
    apt-get -o DPkg::Lock::Timeout=900 update -qq
    export PENDANT_APT_UPDATED=1
  fi
  apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends "${missing[@]}"
}
