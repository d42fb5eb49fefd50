#!/usr/bin/env bash
# ./test --windows: the Qt-free parts, the five driver libraries and qm90.exe
# cross-built for 32-bit and 64-bit Windows (build-win32/, build-win64/) and
# tested under Wine in a fresh prefix, against the native qm90-sim on 127.0.0.1.
# Without wine32 (its i386 packages cannot be had) the 32-bit programs are
# built and checked but not run, and the closing line counts them as skipped.
# Where the kernel refuses 32-bit programs, the i686 window tests still run,
# under qemu-user (tools/wine-i686.sh); the other i686 programs count as skipped.
set -euo pipefail
QM90_ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$QM90_ROOT/tools/deps.sh"

QM90_WINDOWS_PACKAGES="fonts-wine g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 wine wine64 wine32:i386"
SIM_COM=7  # COM port under which Wine sees the emulator's pty
ENTRIES="Done Error GetConfig Init Send SetConfig Version"

say() { echo "== windows: $*"; }
fail() { echo "windows: $*" >&2; exit 1; }

# 32-bit programs need wine32 from the i386 architecture; without it Wine runs
# them silently and exits 0.
install_windows_deps() {
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo dpkg --add-architecture i386
    qm90_apt_update
  fi
  qm90_install_deps $QM90_WINDOWS_PACKAGES && return 0
  # The i386 packages must match the amd64 ones to the version; a mirror in the
  # middle of a sync can make that impossible for hours. Everything that does
  # not run a 32-bit program still runs then, and the summary says what not.
  qm90_install_deps ${QM90_WINDOWS_PACKAGES/ wine32:i386/} || fail "the Windows packages could not be installed"
  wine32=no
  echo "windows: WARNING: wine32:i386 could not be installed; the 32-bit programs are built and their exports checked, but not run" >&2
}

# Each library exports exactly its seven entries under their plain names.
check_exports() {  # check_exports ARCH BIN_DIR
  local objdump="$1-w64-mingw32-objdump" dir=$2 kind file want got
  for kind in 0 1 2 3 4; do
    file="$dir/QBL31$kind.DLL"
    [ -f "$file" ] || fail "$file was not built"
    want=$(for e in $ENTRIES; do echo "QBL31${kind}_$e"; done | sort)
    got=$("$objdump" -p "$file" |
      sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[ *[0-9]*\] //p' | sort)
    [ "$got" = "$want" ] || fail "$file exports $(echo $got) instead of the seven plain entries"
  done
  say "$1: the five libraries export the seven plain entries each"
}

# W_QM90.exe is linked statically: it may import only the system's DLLs.
check_window_program() {  # check_window_program ARCH BIN_DIR
  local exe="$2/W_QM90.exe" imports extra
  [ -f "$exe" ] || fail "$exe was not built"
  imports=$("$1-w64-mingw32-objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr '[:lower:]' '[:upper:]' | sort -u)
  extra=$(grep -vxE 'ADVAPI32.DLL|COMCTL32.DLL|COMDLG32.DLL|GDI32.DLL|KERNEL32.DLL|MSVCRT.DLL|OLE32.DLL|SHELL32.DLL|SETUPAPI.DLL|USER32.DLL|WS2_32.DLL' <<<"$imports" || true)
  [ -z "$extra" ] || fail "$exe imports $(echo $extra), not only system DLLs"
  say "$1: W_QM90.exe imports $(echo $imports)"
}

build_arch() {  # build_arch ARCH DIR
  cmake -S "$QM90_ROOT" -B "$2" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$QM90_ROOT/cmake/mingw-$1.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM90_GUI=ON -DQM90_WERROR=ON >/dev/null
  cmake --build "$2" -j "$(nproc)"
}

sum_of() {  # sum_of PATTERN_WITH_ONE_GROUP FILE: the sum of the group over all lines
  sed -n "s/.*$1.*/\\1/p" "$2" | awk '{ s += $1 } END { print s + 0 }'
}

# Runs one architecture's test programs under Wine; prints and checks the
# counts: every program must report its tests, none may be skipped.
# With LABEL, only the programs whose label matches, under qemu (emulated
# 32-bit); without, all but the ones made only for that.
run_tests() {  # run_tests ARCH DIR FOREIGN_BIN [LABEL]
  local log="$2/wine-ctest.log" programs reports passed failed skipped
  local runner=() select=(-LE emulated_only)
  if [ -n "${4:-}" ]; then
    runner=("$QM90_ROOT/tools/wine-i686.sh" env -u WINELOADER PATH="$plain_path" WINEPREFIX="$emulated_prefix")
    select=(-L "$4")
  fi
  set +e
  local foreign=""
  [ "$wine32" = yes ] && foreign=$(winepath -w "$3" 2>/dev/null)
  QM90_SIM_COM=$SIM_COM QM90_SIM_UDP_PORT=$sim_port QM90_SIM_CONTROL=$sim_control \
    QM90_FOREIGN_DRIVERS=$foreign \
    "${runner[@]}" ctest --test-dir "$2" -V --no-tests=error --timeout 300 "${select[@]}" >"$log" 2>&1
  local status=$?
  set -e
  programs=$(grep -c '^ *[0-9]*/[0-9]* Test *#' "$log" || true)
  reports=$(grep -c '\[==========\] [0-9]* tests\? from .* ran\.' "$log" || true)
  passed=$(sum_of '\[  PASSED  \] \([0-9]*\) tests\?\.' "$log")
  failed=$(sum_of '\[  FAILED  \] \([0-9]*\) tests\?, listed below' "$log")
  skipped=$(sum_of '\[  SKIPPED \] \([0-9]*\) tests\?, listed below' "$log")
  say "$1 under Wine: $programs programs, $passed passed, $failed failed, $skipped skipped"
  if [ "$status" -ne 0 ] || [ "$failed" -ne 0 ]; then
    grep -E '\[  FAILED  \]|Failure|\*\*\*' "$log" | head -40 >&2
    fail "$1: tests failed under Wine (log: $log)"
  fi
  [ "$programs" -gt 0 ] && [ "$passed" -gt 0 ] || fail "$1: no test ran under Wine (log: $log)"
  [ "$reports" -eq "$programs" ] || fail "$1: $((programs - reports)) programs printed no test count"
  [ "$skipped" -eq 0 ] || [ "$wine32" = no ] || fail "$1: $skipped tests skipped (log: $log)"
  total_passed=$((total_passed + passed))
  total_skipped=$((total_skipped + skipped))
  last_count=$((passed + skipped))
}

# qm90.exe end to end against the native emulator (when cli/ is part of the tree).
run_cli() {  # run_cli ARCH DIR
  local exe="$2/bin/qm90.exe" lan
  [ -f "$exe" ] || { say "$1: no qm90.exe in this tree, its checks skipped"; return 0; }
  lan=(--interface lan --ip 127.0.0.1 --udp-port "$sim_port" --timeout 200 --address 1)
  wine "$exe" "${lan[@]}" identify </dev/null | tee "$2/cli.out" | grep -q "QM-90" ||
    fail "$1: qm90.exe identify did not name the module"
  wine "$exe" "${lan[@]}" config show </dev/null >>"$2/cli.out" ||
    fail "$1: qm90.exe config show failed"
  wine "$exe" "${lan[@]}" scan --addresses 0-3 </dev/null | tee -a "$2/cli.out" | grep -q "QM-90" ||
    fail "$1: qm90.exe scan found no module"
  wine "$exe" --interface com --port "$SIM_COM" --address 1 identify </dev/null |
    grep -q "QM-90" || fail "$1: qm90.exe identify over COM$SIM_COM failed"
  say "$1: qm90.exe identify, config show and scan against qm90-sim passed"
  total_passed=$((total_passed + 4))
}

# The 64-bit ZIP package, unpacked as a user does, with the 32-bit QBL312.DLL
# and QBL314.DLL put in place of ours, as on a Windows PC with the vendor's
# libraries: they load in qm90-drvhost32.exe from the package.
run_package() {  # run_package WIN64_DIR WIN32_BIN
  local zip folder out lan want
  cmake -S "$QM90_ROOT" -B "$1" -DQM90_WIN32_DRVHOST="$2/qm90-drvhost32.exe" >/dev/null
  (cd "$1" && cpack -G ZIP >/dev/null) || fail "cpack made no Windows ZIP"
  zip=$(ls "$1"/qm90-*-windows-*.zip | head -1)
  rm -rf "$work/package"
  mkdir -p "$work/package"
  (cd "$work/package" && cmake -E tar xf "$zip")
  folder=$(dirname "$(find "$work/package" -name qm90.exe | head -1)")
  for want in W_QM90.exe qm90.exe qm90-drvhost.exe qm90-drvhost32.exe QBL310.DLL QBL311.DLL \
    QBL312.DLL QBL313.DLL QBL314.DLL doc/README.md doc/user-guide.md; do
    [ -f "$folder/$want" ] || fail "the Windows ZIP lacks $want"
  done
  say "$(basename "$zip"): $(cd "$folder" && ls | tr '\n' ' ')"
  cp "$2/QBL312.DLL" "$2/QBL314.DLL" "$folder/"
  lan=(--interface lan --ip 127.0.0.1 --udp-port "$sim_port" --timeout 200 --address 1)
  out="$work/package.out"
  wine "$folder/qm90.exe" "${lan[@]}" identify </dev/null | tee "$out" | grep -q "QM-90" ||
    fail "64-bit qm90.exe with the 32-bit QBL314.DLL: identify did not name the module"
  wine "$folder/qm90.exe" "${lan[@]}" config show </dev/null >>"$out" ||
    fail "64-bit qm90.exe with the 32-bit QBL314.DLL: config show failed"
  wine "$folder/qm90.exe" "${lan[@]}" scan --addresses 0-3 </dev/null | tee -a "$out" |
    grep -q "QM-90" || fail "64-bit qm90.exe with the 32-bit QBL314.DLL: scan found no module"
  wine "$folder/qm90.exe" --interface pci --address 1 identify </dev/null | tee -a "$out" |
    grep -q "QM-90" || fail "64-bit qm90.exe with the 32-bit QBL312.DLL: identify failed"
  say "x86_64 qm90.exe from the ZIP with the i686 QBL312.DLL and QBL314.DLL (qm90-drvhost32.exe): identify, config show, scan passed"
  total_passed=$((total_passed + 5))
}

# A kernel without 32-bit program support cannot start Wine's 32-bit loader;
# /usr/bin/wine prefers that loader whenever wine32 is installed and then
# fails for every program. The 64-bit loader runs the 64-bit programs.
use_wine64_only() {
  wine32=no
  echo "windows: WARNING: this system cannot run 32-bit programs; the 32-bit programs are built and their exports checked, but not run" >&2
  local shim
  shim=$(mktemp -d /tmp/qm90-wine64.XXXXXX)
  # wineboot, winepath and the other tools start Wine as wine-stable.
  printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$shim/wine"
  cp "$shim/wine" "$shim/wine-stable"
  chmod +x "$shim/wine" "$shim/wine-stable"
  export PATH="$shim:$PATH" WINELOADER=/usr/lib/wine/wine64
  if qm90_install_deps qemu-user-static && "$QM90_ROOT/tools/wine-i686.sh" --check; then
    wine32_emulated=yes
    echo "windows: the i686 window tests run under qemu-user instead (slow: about a minute per program)" >&2
  fi
}

# The prefix for the emulated 32-bit programs, booted in the background while
# the x86_64 programs run (it takes minutes under qemu).
boot_emulated_prefix() {
  emulated_prefix="$work/prefix32"
  (
    export PATH="$plain_path" WINEPREFIX="$emulated_prefix"
    "$QM90_ROOT/tools/wine-i686.sh" env -u WINELOADER bash -c 'wineboot -i && wineserver -w' &&
      /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f &&
      wineserver -w
  ) </dev/null >"$work/prefix32.log" 2>&1 &
  emulated_boot_pid=$!
}

# The Windows id of the running process NAME, empty while there is none
# (taskkill /im cannot see a 32-bit process from the 64-bit tool).
windows_pid_of() {  # windows_pid_of NAME
  local hex
  hex=$(wine winedbg --command "info process" </dev/null 2>/dev/null | tr -d '\r' |
    sed -n "s/^[ =]*\([0-9a-f]\{8\}\) .*'$1'\$/\1/p" | tail -1)
  [ -z "$hex" ] || echo $((16#$hex))
}

# W_QM90.exe from Program Files, closed as a user closes it (WM_CLOSE). Where
# the folder can be made unwritable (root writes everywhere, so: immutable),
# its settings must go to the user's own folder.
start_installed_window_program() {  # ARCH FOLDER UNIX_FOLDER USER_INI
  local arch=$1 folder=$2 unix=$3 user_ini=$4 pid wpid="" locked=no shown=no status=0
  settings_checked=""
  rm -f "$user_ini"
  chattr +i "$unix" 2>/dev/null && locked=yes
  "${run32[@]}" wine "$folder\\W_QM90.exe" </dev/null >/dev/null 2>&1 &
  pid=$!
  # taskkill /pid (without /f) posts WM_CLOSE to the process's windows and
  # fails while it has none yet: a start under qemu takes minutes.
  for _ in $(seq "$patience"); do
    kill -0 "$pid" 2>/dev/null || break
    [ -n "$wpid" ] || wpid=$(windows_pid_of W_QM90.exe)
    [ -z "$wpid" ] || ! wine taskkill /pid "$wpid" >/dev/null 2>&1 || shown=yes
    sleep 1
  done
  if kill -0 "$pid" 2>/dev/null; then
    kill "$pid"
    status=1
  fi
  wait "$pid" || status=$?
  [ $locked = no ] || chattr -i "$unix"
  [ $shown = yes ] || fail "$arch: the installed W_QM90.exe showed no window ($([ $status = 0 ] && echo "it ended" || echo "status $status"))"
  [ $status = 0 ] || fail "$arch: W_QM90.exe did not close on WM_CLOSE within $patience s, or closed with an error ($status)"
  [ $locked = no ] && return 0
  [ -f "$user_ini" ] && [ ! -e "$unix/W_qm90.ini" ] ||
    fail "$arch: with its folder unwritable W_QM90.exe did not keep its settings in $user_ini"
  settings_checked=" (settings in the user's folder)"
}

# The installer of one architecture, silently into this run's prefix: the
# programs run from Program Files (W_QM90.exe, when the build has it, starts and
# keeps running), and the silent uninstall leaves nothing of the package but
# the user's own settings. With "emulated" the 32-bit programs run under
# qemu-user in the emulated prefix; the 64-bit tools (reg, taskkill) natively.
run_installer() {  # run_installer ARCH DIR [emulated]
  local -a run32=()
  local patience=30
  if [ "${3:-}" = emulated ]; then
    run32=("$QM90_ROOT/tools/wine-i686.sh" env -u WINELOADER PATH="$plain_path")
    local -x WINEPREFIX=$emulated_prefix
    patience=600
  fi
  local arch=$1 dir=$2 setup folder unix key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\qm90"
  local user_ini="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/qm90/W_qm90.ini" version view=/reg:64
  local started=""
  [ "$arch" = i686 ] && view=/reg:32
  cmake --build "$dir" --target installer >/dev/null || fail "$arch: the installer was not built"
  setup=$(ls "$dir"/qm90-*-windows-"$arch"-setup.exe) || fail "$arch: no installer in $dir"
  folder="C:\\Program Files\\qm90"
  [ "$arch" = i686 ] && folder="C:\\Program Files (x86)\\qm90"
  unix="$WINEPREFIX/drive_c/${folder#C:\\}"
  unix=${unix//\\//}
  "${run32[@]}" wine "$setup" /S </dev/null || fail "$arch: the silent install failed"
  [ -f "$unix/qm90.exe" ] && [ -f "$unix/QBL314.DLL" ] && [ -f "$unix/doc/user-guide.md" ] ||
    fail "$arch: the installer left $(ls "$unix" 2>/dev/null | tr '\n' ' ') in $folder"
  wine reg query "$key" /v UninstallString $view </dev/null >/dev/null 2>&1 ||
    fail "$arch: no uninstaller registered under $key"
  [ -f "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/W_QM90/W_QM90 user guide.lnk" ] ||
    fail "$arch: no Start-menu entry for the user guide"
  version=$("${run32[@]}" wine "$folder\\qm90.exe" --version </dev/null | tr -d '\r')
  [ "$version" = "qm90 $(sed -n 's/.*W_QM90 VERSION \([0-9.]*\).*/\1/p' "$QM90_ROOT/CMakeLists.txt")" ] ||
    fail "$arch: the installed qm90.exe --version said '$version'"
  if [ -f "$unix/W_QM90.exe" ]; then
    start_installed_window_program "$arch" "$folder" "$unix" "$user_ini"
    started=", W_QM90.exe start and close$settings_checked"
  fi
  mkdir -p "$(dirname "$user_ini")"
  [ -f "$user_ini" ] || printf '[COMx]\r\n' >"$user_ini"
  "${run32[@]}" wine "$folder\\uninstall.exe" /S </dev/null || fail "$arch: the silent uninstall failed"
  # The uninstaller hands over to a copy of itself in the temporary folder and
  # returns at once; the copy removes the folder, then the menu and the key.
  local menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/W_QM90"
  for _ in $(seq $((patience * 5))); do [ -e "$unix" ] || [ -e "$menu" ] || break; sleep 0.2; done
  sleep 1
  [ ! -e "$unix" ] || fail "$arch: the uninstall left $(ls -A "$unix" | tr '\n' ' ') in $folder"
  [ ! -e "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/W_QM90" ] ||
    fail "$arch: the uninstall left the Start-menu folder"
  ! wine reg query "$key" $view </dev/null >/dev/null 2>&1 || fail "$arch: the uninstall left $key"
  [ -f "$user_ini" ] || fail "$arch: the uninstall removed the user's settings"
  say "$arch: $(basename "$setup"): silent install, qm90.exe --version$started, silent uninstall passed"
  total_passed=$((total_passed + 1))
}

start=$(date +%s)
wine32=yes
wine32_emulated=no
plain_path=$PATH
install_windows_deps
if [ "$wine32" = yes ] && [ -x /usr/lib/wine/wine ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  use_wine64_only
fi

# The native emulator the Windows programs talk to.
native="$QM90_ROOT/build"
[ -f "$native/build.ninja" ] || cmake -S "$QM90_ROOT" -B "$native" -G Ninja >/dev/null
cmake --build "$native" --target qm90-sim -j "$(nproc)"

for arch in i686 x86_64; do
  dir="$QM90_ROOT/build-win$([ $arch = i686 ] && echo 32 || echo 64)"
  build_arch "$arch" "$dir"
  check_exports "$arch" "$dir/bin"
  check_window_program "$arch" "$dir/bin"
done

# A fresh Wine prefix of this run's own; console programs need no display.
work=$(mktemp -d /tmp/qm90-wine.XXXXXX)
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  wineserver -k >/dev/null 2>&1 || true
  [ -z "${emulated_boot_pid:-}" ] || kill "$emulated_boot_pid" 2>/dev/null || true
  [ -z "${emulated_prefix:-}" ] || WINEPREFIX=$emulated_prefix wineserver -k >/dev/null 2>&1 || true
  [ "${state_dir:-$work}" = "$work" ] || rm -rf "$state_dir"
  rm -rf "$work"
}
trap cleanup EXIT
wineboot -i >/dev/null 2>&1
wineserver -w
# The window tests make real (hidden) windows: with no display they need
# Wine's null graphics driver; the setting takes effect once the server ended.
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
wineserver -w
# A server kept running and one warm-up run, so that no helper of Wine's
# outlives a test while holding ctest's output pipe.
wineserver -p >/dev/null 2>&1
wine "$QM90_ROOT/build-win64/tests/qm90_protocol_tests.exe" --gtest_list_tests >/dev/null </dev/null
[ "$wine32" = no ] ||
  wine "$QM90_ROOT/build-win32/tests/qm90_protocol_tests.exe" --gtest_list_tests >/dev/null </dev/null

mkdir -m 700 "$work/runtime"
# The emulator stores a register write (fsync) before it answers; on a disk
# busy with the builds that can outlast the answer wait of 9600 Bd under
# Wine's serial layer. Its state lives in memory where the system has that.
state_dir="$work"
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  state_dir=$(mktemp -d /dev/shm/qm90-sim.XXXXXX)
fi
XDG_RUNTIME_DIR="$work/runtime" "$native/bin/qm90-sim" --udp 127.0.0.1:0 --serial "COM$SIM_COM" \
  --control 127.0.0.1:0 --state "$state_dir/sim.state" </dev/null >"$work/sim.out" 2>"$work/sim.log" &
sim_pid=$!
. "$QM90_ROOT/tools/sim-ready.sh"
ready=""
for _ in $(seq 100); do
  ready=$(qm90_sim_ready_line "$work/sim.out")
  [ -n "$ready" ] && break
  sleep 0.1
done
[ -n "$ready" ] || fail "qm90-sim did not start: $(cat "$work/sim.log")"
udp=$(qm90_sim_ready_value "$ready" udp)
sim_port=${udp##*:}
control=$(qm90_sim_ready_value "$ready" control)
sim_control=${control##*:}
pty=$(qm90_sim_ready_value "$ready" pty)
ln -sfn "$pty" "$WINEPREFIX/dosdevices/com$SIM_COM"
[ "$wine32_emulated" = no ] || boot_emulated_prefix
say "qm90-sim on 127.0.0.1:$sim_port and $pty (COM$SIM_COM under Wine), control on 127.0.0.1:$sim_control"

total_passed=0
total_skipped=0
if [ "$wine32" = yes ]; then
  run_tests i686 "$QM90_ROOT/build-win32" "$QM90_ROOT/build-win64/bin"
  run_tests x86_64 "$QM90_ROOT/build-win64" "$QM90_ROOT/build-win32/bin"
  run_cli i686 "$QM90_ROOT/build-win32"
  run_cli x86_64 "$QM90_ROOT/build-win64"
  run_package "$QM90_ROOT/build-win64" "$QM90_ROOT/build-win32/bin"
  run_installer i686 "$QM90_ROOT/build-win32"
  run_installer x86_64 "$QM90_ROOT/build-win64"
else
  run_tests x86_64 "$QM90_ROOT/build-win64" "$QM90_ROOT/build-win32/bin"
  x86_64_count=$last_count
  i686_count=0
  if [ "$wine32_emulated" = yes ]; then
    wait "$emulated_boot_pid" || fail "the 32-bit prefix did not boot under qemu (log: $work/prefix32.log)"
    ln -sfn "$pty" "$emulated_prefix/dosdevices/com$SIM_COM"
    run_tests i686 "$QM90_ROOT/build-win32" "" emulated
    i686_count=$last_count
  fi
  run_cli x86_64 "$QM90_ROOT/build-win64"
  cmake -S "$QM90_ROOT" -B "$QM90_ROOT/build-win64" \
    -DQM90_WIN32_DRVHOST="$QM90_ROOT/build-win32/bin/qm90-drvhost32.exe" >/dev/null
  run_installer x86_64 "$QM90_ROOT/build-win64"
  # The 32-bit installer is a 32-bit program (NSIS's x86 stub): run under
  # qemu-user where that works, otherwise built and not run.
  if [ "$wine32_emulated" = yes ]; then
    run_installer i686 "$QM90_ROOT/build-win32" emulated
  else
    cmake --build "$QM90_ROOT/build-win32" --target installer >/dev/null || fail "build-win32: the installer was not built"
    total_skipped=$((total_skipped + 1))
    say "NOT RUN (no wine32): the i686 installer (built: $(cd "$QM90_ROOT" && ls build-win32/qm90-*-setup.exe))"
  fi
  # the i686 programs hold the same tests as the x86_64 ones; then the i686
  # qm90.exe (4 checks) and the package with the 32-bit libraries (5)
  total_skipped=$((total_skipped + x86_64_count - i686_count + 9))
  say "NOT RUN (no wine32): the i686 test programs$([ "$i686_count" = 0 ] || echo " other than the window tests"), the i686 qm90.exe against qm90-sim, the 64-bit package with the 32-bit libraries"
fi

say "took $(($(date +%s) - start)) s"
echo "windows: $total_passed passed, 0 failed, $total_skipped skipped"
