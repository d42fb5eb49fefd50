#!/usr/bin/env bash
# Runs a command in which Wine can start 32-bit programs on a system whose
# kernel refuses 32-bit executables: inside a user and mount namespace of its
# own, with a private binfmt_misc instance that hands 32-bit x86 programs to
# qemu-user (Debian's qemu-user-static). Nothing outside the namespace sees the
# registration. Slow: a 32-bit Wine process needs about a minute to start.
#   tools/wine-i686.sh COMMAND [ARG...]
#   tools/wine-i686.sh --check        exit 0 when this works here
set -euo pipefail
QEMU=/usr/bin/qemu-i386-static
BINFMT=/proc/sys/fs/binfmt_misc

if [ "${QM90_WINE_I686_INSIDE:-}" != yes ]; then
  [ -x "$QEMU" ] || { echo "wine-i686: $QEMU missing (package qemu-user-static)" >&2; exit 3; }
  exec unshare --user --map-root-user --mount env QM90_WINE_I686_INSIDE=yes "$0" "$@"
fi
unset QM90_WINE_I686_INSIDE

mount -t binfmt_misc binfmt_misc "$BINFMT" 2>/dev/null ||
  { echo "wine-i686: no binfmt_misc of this namespace's own (kernel older than 6.7?)" >&2; exit 3; }
# ELF, 32-bit, little-endian, executable or shared object, machine i386.
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
echo ":qm90-i386:M::$magic:$mask:$QEMU:F" >"$BINFMT/register" ||
  { echo "wine-i686: the namespace's binfmt_misc refused the registration" >&2; exit 3; }

if [ "${1:-}" = --check ]; then
  /usr/lib/wine/wine --version >/dev/null 2>&1 || { echo "wine-i686: Wine's 32-bit loader does not start under qemu" >&2; exit 3; }
  exit 0
fi
exec "$@"
