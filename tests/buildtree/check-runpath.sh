#!/usr/bin/env bash
# check-runpath.sh BIN_DIR: fails naming each ELF file in BIN_DIR whose RUNPATH
# or RPATH has an empty element (":x", "x:", "a::b", ":::").
set -euo pipefail
dir=$1
checked=0
bad=0
for file in "$dir"/*; do
  [ -f "$file" ] || continue
  head -c 4 "$file" | grep -q $'\x7fELF' || continue
  checked=$((checked + 1))
  paths=$(readelf -d "$file" | sed -n 's/.*(\(RUNPATH\|RPATH\)).*\[\(.*\)\]/\2/p')
  while IFS= read -r path; do
    [ -z "$path" ] && continue
    case ":$path:" in
      *::*)
        echo "$file: empty element in its library path [$path]" >&2
        bad=$((bad + 1))
        ;;
    esac
  done <<<"$paths"
done
[ "$checked" -gt 0 ] || { echo "no program in $dir" >&2; exit 1; }
[ "$bad" -eq 0 ] || exit 1
echo "$checked files in $dir: no empty library path element"
