#!/usr/bin/env bash
# configure-without-gui.sh SOURCE_DIR BUILD_DIR: configures SOURCE_DIR as
# ./test --no-gui does, in a folder of its own (emptied first); fails with
# CMake's messages when that does not configure.
set -euo pipefail
rm -rf "$2"
if ! cmake -S "$1" -B "$2" -G Ninja -DQM90_GUI=OFF >"$2.log" 2>&1; then
  cat "$2.log" >&2
  exit 1
fi
echo "configured without Qt in $2"
