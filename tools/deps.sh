# Sourced by ./run and ./test: installs the Debian packages the build needs,
# only those missing (apt-get; through sudo when not root).
QM90_PACKAGES="cmake ninja-build g++ ccache qt6-base-dev libgtest-dev libgmock-dev libcli11-dev libxkbcommon-dev"

qm90_missing_packages() {
  local missing="" p
  for p in $QM90_PACKAGES "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
  done
  echo "$missing"
}

# A mirror caught in the middle of a sync refuses its lists for a while: try
# again, and go on with what could be had (the install then says what is missing).
qm90_apt_update() {
  local sudo="" try
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  for try in 1 2 3 4; do
    $sudo apt-get update -qq && return 0
    [ "$try" -lt 4 ] && { echo "apt-get update failed; trying again in 20 s" >&2; sleep 20; }
  done
  echo "apt-get update failed four times; going on with the package lists at hand" >&2
}

qm90_install_deps() {
  local missing
  missing=$(qm90_missing_packages "$@")
  [ -z "$missing" ] && return 0
  echo "Installing:$missing"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  qm90_apt_update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends $missing || return 1
}

qm90_build() {  # qm90_build BUILD_DIR [cmake options...]
  local dir=$1; shift
  cmake -S "$QM90_ROOT" -B "$dir" -G Ninja "$@" >/dev/null || return 1
  cmake --build "$dir" -j "$(nproc)"
}
