# Sourced by ./run and ./test: installs the Debian packages the build needs,
# only those missing (apt-get; through sudo when not root).
QM90_PACKAGES="cmake ninja-build g++ qt6-base-dev libgtest-dev libgmock-dev libcli11-dev libxkbcommon-dev"

qm90_missing_packages() {
  local missing="" p
  for p in $QM90_PACKAGES "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
  done
  echo "$missing"
}

qm90_install_deps() {
  local missing
  missing=$(qm90_missing_packages "$@")
  [ -z "$missing" ] && return 0
  echo "Installing:$missing"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq || return 1
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends $missing || return 1
}

qm90_build() {  # qm90_build BUILD_DIR [cmake options...]
  local dir=$1; shift
  cmake -S "$QM90_ROOT" -B "$dir" -G Ninja "$@" >/dev/null || return 1
  cmake --build "$dir" -j "$(nproc)"
}
