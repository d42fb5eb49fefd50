#!/usr/bin/env bash
# Figures of W_QM90.exe under Wine in Xvfb (no window manager, so each window
# of the program is an X window of its own):
#   - start to the first window, with a warm Wine (server kept running, the
#     program started once before), five runs;
#   - the digital inputs view polling over UDP: the CPU time of the program's
#     own process and the period of its requests as qm90-sim receives them.
#   bench/w_qm90_wine.sh [WINDOWS_BUILD] [NATIVE_BUILD]   defaults: build-win32 (build-win64
#   where this system cannot run 32-bit programs), build
set -euo pipefail
QM90_ROOT=$(cd "$(dirname "$0")/.." && pwd)
loader=wine
win_build=${1:-$QM90_ROOT/build-win32}
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  loader=/usr/lib/wine/wine64
  win_build=${1:-$QM90_ROOT/build-win64}
  export WINELOADER=$loader
fi
native=${2:-$QM90_ROOT/build}
exe="$win_build/bin/W_QM90.exe"
[ -f "$exe" ] || { echo "no $exe" >&2; exit 1; }
work=$(mktemp -d /tmp/qm90-wbench.XXXXXX)
sim_pid="" xvfb_pid=""
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/app" -m 700 "$work/runtime"
cp "$exe" "$win_build"/bin/QBL31?.DLL "$work/app/"
# qm90-sim logs each request; every line gets the time it arrived.
XDG_RUNTIME_DIR="$work/runtime" "$native/bin/qm90-sim" --udp 127.0.0.1:0 --verbose \
  --state "$work/sim.state" </dev/null 2>&1 >"$work/sim.out" |
  python3 -u -c 'import sys,time
for line in sys.stdin: print("%.6f %s" % (time.monotonic(), line), end="", flush=True)' \
    >"$work/sim.log" &
sim_pid=$(pgrep -n -f "qm90-sim --udp 127.0.0.1:0 --verbose --state $work" || true)
for _ in $(seq 100); do grep -q ready "$work/sim.out" 2>/dev/null && break; sleep 0.1; done
port=$(sed -n 's/.*udp=127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/sim.out")
printf '[Připojení]\r\nRozhraní=QB-314\r\nAdresa=1\r\nRychlost=9600\r\n[QB-314]\r\nIP adresa=127.0.0.1\r\nUDP port=%s\r\nUDP timeout=200\r\n' \
  "$port" | iconv -f UTF-8 -t CP1250 >"$work/app/W_qm90.ini"

export DISPLAY=:94 WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
"$loader" wineboot -i >/dev/null 2>&1
wineserver -w
wineserver -p >/dev/null 2>&1

main_window() { xdotool search --onlyvisible --name "QM-90 \(v" 2>/dev/null | head -1; }
start_program() { (cd "$work/app" && "$loader" "$work/app/W_QM90.exe" >/dev/null 2>&1 &); }
wait_window() {
  for _ in $(seq 2000); do
    [ -n "$(main_window)" ] && return 0
    sleep 0.005
  done
  return 1
}
program_pid() { pgrep -f "$work/app/W_QM90.exe" | head -1; }
close_program() {
  local pid
  pid=$(program_pid)
  xdotool key --window "$(main_window)" alt+k 2>/dev/null || true
  for _ in $(seq 200); do [ -n "$(program_pid)" ] || return 0; sleep 0.05; done
  [ -z "$pid" ] || kill "$pid" 2>/dev/null || true
}

start_program && wait_window && close_program  # warm-up
times=()
for _ in 1 2 3 4 5; do
  t0=$(date +%s.%N)
  start_program
  wait_window || { echo "no window" >&2; exit 1; }
  t1=$(date +%s.%N)
  times+=("$(echo "$t1 - $t0" | bc)")
  close_program
done
echo "start to first window (warm Wine, 5 runs, s): ${times[*]}"

# The digital inputs view: connect (Alt+P, the button), then open it.
start_program && wait_window
window=$(main_window)
xdotool windowfocus --sync "$window" 2>/dev/null || true
xdotool mousemove 512 384 click 1  # the main window's empty client area
xdotool key --delay 200 alt+p
sleep 1.5
xdotool key --delay 200 Tab Tab Tab space
sleep 2
xdotool key --delay 200 Escape
sleep 1
xdotool mousemove 512 384 click 1
xdotool key --delay 200 alt+o Down Return
sleep 2
pid=$(program_pid)
ticks=$(getconf CLK_TCK)
cpu() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
lines_before=$(wc -l <"$work/sim.log")
c0=$(cpu)
w0=$(date +%s.%N)
sleep 20
c1=$(cpu)
w1=$(date +%s.%N)
echo "digital inputs view, 20 s: CPU of W_QM90.exe's process $(echo "scale=3; 100 * ($c1 - $c0) / $ticks / ($w1 - $w0)" | bc) % of one core"
tail -n +"$((lines_before + 1))" "$work/sim.log" | grep -E "udp" | awk '
  { t[n++] = $1 }
  END {
    if (n < 3) { print "period: too few requests (" n ")"; exit }
    for (i = 1; i < n; i++) { d = (t[i] - t[i-1]) * 1000; s += d; q += d * d; if (d > mx) mx = d }
    m = s / (n - 1)
    printf "period of the requests: %d requests, mean %.2f ms, sd %.2f ms, max %.2f ms\n", n, m, sqrt(q / (n - 1) - m * m), mx
  }'
close_program
