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
