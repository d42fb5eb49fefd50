#!/usr/bin/env bash
# Makes docs/screenshots/*.png from the current code: builds the screenshot
# program and runs it under the offscreen platform (no display needed).
#   tools/screenshots.sh [build folder]     default: build/
set -euo pipefail
QM90_ROOT=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$QM90_ROOT/build}

cmake -S "$QM90_ROOT" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target app_screenshots qm90-panel -j 2
runtime="$build/test-runtime"
mkdir -p "$runtime" && chmod 700 "$runtime"
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$runtime" \
  "$build/tests/app_screenshots" "$QM90_ROOT/docs/screenshots"
# The emulator's front panel with two modules on its line.
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$runtime" \
  "$build/bin/qm90-panel" --udp 127.0.0.1:0 --address 1 --address 77 \
  --screenshot "$QM90_ROOT/docs/screenshots/panel.png" >/dev/null
ls -1 "$QM90_ROOT/docs/screenshots"/*.png

# W_QM90.exe under Wine in Xvfb, each window into docs/screenshots/windows/:
# the program runs from a folder of its own with a W_qm90.ini that names the
# LAN converter on 127.0.0.1 (a qm90-sim of this run), and is driven by its
# keys as a user would. Needs a Windows build (tools/test-windows.sh); the
# 32-bit one where this system runs 32-bit programs, else the 64-bit one.
windows_screenshots() {
  local win_build exe out work sim_pid xvfb_pid port desktop display=:93 loader=wine
  win_build="$QM90_ROOT/build-win32"
  if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    win_build="$QM90_ROOT/build-win64"
    loader=/usr/lib/wine/wine64
  fi
  exe="$win_build/bin/W_QM90.exe"
  [ -f "$exe" ] || { echo "screenshots: no $exe, Windows screenshots skipped"; return 0; }
  out="$QM90_ROOT/docs/screenshots/windows"
  mkdir -p "$out"
  work=$(mktemp -d /tmp/qm90-shots.XXXXXX)
  mkdir -p "$work/app" -m 700 "$work/runtime"
  cp "$exe" "$win_build"/bin/QBL31?.DLL "$work/app/"
  XDG_RUNTIME_DIR="$work/runtime" "$build/bin/qm90-sim" --udp 127.0.0.1:0 \
    --state "$work/sim.state" </dev/null >"$work/sim.out" 2>&1 &
  sim_pid=$!
  for _ in $(seq 100); do grep -q ready "$work/sim.out" && break; sleep 0.1; done
  port=$(sed -n 's/.*udp=127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/sim.out")
  printf '[Připojení]\r\nRozhraní=QB-314\r\nAdresa=1\r\nRychlost=9600\r\n[QB-314]\r\nIP adresa=127.0.0.1\r\nUDP port=%s\r\nUDP timeout=200\r\n' \
    "$port" | iconv -f UTF-8 -t CP1250 >"$work/app/W_qm90.ini"
  Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=$display WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  [ "$loader" = wine ] || export WINELOADER=$loader
  "$loader" wineboot -i >/dev/null 2>&1
  wineserver -w
  # Wine draws the caption buttons with Marlett; a fresh prefix may lack it.
  [ -f /usr/share/wine/fonts/marlett.ttf ] &&
    cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  (cd "$work/app" && "$loader" explorer /desktop=qm90,800x600 "$work/app/W_QM90.exe" >/dev/null 2>&1) &
  for _ in $(seq 100); do
    desktop=$(xdotool search --name "qm90" 2>/dev/null | head -1) && [ -n "$desktop" ] && break
    sleep 0.2
  done
  shot() { sleep "${2:-1.5}"; import -window root -crop 800x600+0+0 +repage "$out/$1.png"; }
  key() { xdotool key --delay 150 "$@"; }
  sleep 3
  # Keys go to the window with the input focus: a click into the main
  # window's empty client area gives it.
  xdotool windowfocus --sync "$desktop" 2>/dev/null || true
  xdotool mousemove 400 300 click 1
  shot main-window-start 1
  key alt+p && shot connection
  key Tab Tab Tab space && shot connection-initialised 2.5
  key Escape && shot main-window 1
  key alt+n Return && shot settings-address
  key Escape alt+n Down Return && shot settings-dio
  key Escape alt+n Down Down Return && shot settings-aout
  key Escape alt+o Return && shot live-analog 3
  key Escape alt+o Down Return && shot live-inputs 3
  key Escape alt+o Down Down Return && shot live-outputs 3
  key Escape alt+o Down Down Down Return && shot live-status 3
  key Escape alt+k
  sleep 1
  wineserver -k >/dev/null 2>&1 || true
  kill "$xvfb_pid" "$sim_pid" 2>/dev/null || true
  wait "$xvfb_pid" "$sim_pid" 2>/dev/null || true
  rm -rf "$work"
  ls -1 "$out"/*.png
}
windows_screenshots
