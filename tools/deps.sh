# Sourced by ./run and ./test: installs the Debian packages the build needs,
# only those missing (apt-get; through sudo when not root).
QM90_PACKAGES="cmake ninja-build g++ ccache clang-format-14 qt6-base-dev libgtest-dev libgmock-dev libcli11-dev libxkbcommon-dev"

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

qm90_configure() {  # qm90_configure BUILD_DIR [cmake options...]
  local dir=$1; shift
  cmake -S "$QM90_ROOT" -B "$dir" -G Ninja "$@" >/dev/null
}

qm90_build() {  # qm90_build BUILD_DIR [cmake options...]: everything
  local dir=$1; shift
  qm90_configure "$dir" "$@" || return 1
  cmake --build "$dir" -j "$(nproc)"
}

# What ./run starts: the window program, the five libraries, the emulator, its
# panel, qm90 and the driver host; no test and no benchmark.
QM90_RUN_TARGETS="W_QM90 qbl310 qbl311 qbl312 qbl313 qbl314 qm90-sim qm90-panel qm90 qm90-drvhost"

qm90_build_programs() {  # qm90_build_programs BUILD_DIR
  qm90_configure "$1" || return 1
  # shellcheck disable=SC2086
  cmake --build "$1" -j "$(nproc)" --target $QM90_RUN_TARGETS
}

# The compiler cache keys on paths below the source folder, relative to it,
# and not on the build folder: a second clone or build folder hits the cache.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$QM90_ROOT}" CCACHE_NOHASHDIR=1
