#!/usr/bin/env bash
# Makes docs/screenshots/checkout-report.png: qm90 checkout of an emulated
# module whose outputs are wired to its inputs (one input stuck at 0), its
# HTML report rendered by chromium without a display.
#   tools/report-picture.sh [build folder]     default: build/
set -euo pipefail
QM90_ROOT=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$QM90_ROOT/build}
# shellcheck source=deps.sh
source "$QM90_ROOT/tools/deps.sh"
qm90_install_deps chromium

cmake -S "$QM90_ROOT" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target qm90 qm90-sim -j 2
work=$(mktemp -d)
sim=""
trap '[ -n "$sim" ] && kill "$sim" 2>/dev/null; rm -rf "$work"' EXIT
"$build/bin/qm90-sim" --udp 127.0.0.1:0 --control 127.0.0.1:0 --loopback >"$work/ready" </dev/null &
sim=$!
for _ in $(seq 100); do grep -q ready "$work/ready" && break; sleep 0.1; done
udp=$(sed -n 's/.*udp=127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/ready")
control=$(sed -n 's/.*control=127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/ready")
exec 3<>"/dev/tcp/127.0.0.1/$control"
echo "stuck 1 din 3 0" >&3
read -r _ <&3
exec 3>&-
touch "$work/empty.ini"
(cd "$work" && "$build/bin/qm90" --settings "$work/empty.ini" --interface lan --ip 127.0.0.1 \
  --udp-port "$udp" --address 1 checkout --loopback --yes --operator "J. Novak" \
  --witness "P. Dvorak" --tag K1-IO3 --location "cabinet K1" --report K1-IO3) || true
chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --window-size=1000,1250 \
  --screenshot="$QM90_ROOT/docs/screenshots/checkout-report.png" "file://$work/K1-IO3.html" \
  2>/dev/null
ls -1 "$QM90_ROOT/docs/screenshots/checkout-report.png"
