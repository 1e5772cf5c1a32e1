#!/bin/bash
# Link launcher of lumaspire.scr: runs the link command CMake made for the toolchain's
# posix-thread driver with the win32-thread driver of the same compiler instead, so the
# program gets the runtime that runs on Windows 95/98/Me.
set -euo pipefail
driver=$1
shift
case "$driver" in
  *-posix) exec "${driver%-posix}-win32" "$@" ;;
  *) echo "link-win32.sh: expected a -posix compiler driver, got $driver" >&2; exit 1 ;;
esac
