#!/usr/bin/env bash
# check-versions.sh BIN_DIR VERSION PROGRAM...: each PROGRAM in BIN_DIR
# answers --version with exit 0 and one line "PROGRAM VERSION".
set -uo pipefail
dir=$1 version=$2
shift 2
bad=0
for program in "$@"; do
  out=$("$dir/$program" --version </dev/null 2>&1)
  status=$?
  if [ "$status" -ne 0 ] || [ "$out" != "$program $version" ]; then
    echo "$program --version: exit $status, \"$out\" instead of \"$program $version\"" >&2
    bad=1
  fi
done
[ "$bad" -eq 0 ] && echo "$# programs answer --version with $version"
exit "$bad"
