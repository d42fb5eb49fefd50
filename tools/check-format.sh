#!/usr/bin/env bash
# Fails, naming each file, when a C++ file of the tree is not formatted as
# .clang-format says. ./test runs it (ctest: qm90_format); to format the tree:
#   git ls-files '*.cpp' '*.h' | xargs clang-format-14 -i
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
format=$(command -v clang-format-14 || command -v clang-format || true)
[ -n "$format" ] || { echo "check-format: clang-format 14 is not installed (package clang-format-14)" >&2; exit 1; }
# Sources of the tree as git knows them; without git (an unpacked archive) every source file.
if git -C "$root" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  files=$(git ls-files '*.cpp' '*.h')
else
  files=$(find . -path ./build -prune -o -path './build-*' -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
fi
bad=""
for f in $files; do
  [ -f "$f" ] || continue
  "$format" --dry-run --Werror "$f" >/dev/null 2>&1 || bad="$bad $f"
done
if [ -n "$bad" ]; then
  echo "check-format: not formatted as .clang-format says (clang-format -i FILE):" >&2
  for f in $bad; do echo "  $f" >&2; done
  exit 1
fi
echo "check-format: $(echo "$files" | wc -w) files formatted"
