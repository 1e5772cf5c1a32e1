#!/bin/bash
# Runs a command inside the build and test environment (see machine-setup.sh), in the
# current directory of the repository.
set -euo pipefail
ROOT=${LUMASPIRE_ROOT:-/opt/lumaspire-root}
"$(dirname "$0")/machine-setup.sh"
# Is 32-bit code run by qemu here? Any enabled i386 emulator entry says so.
emulated=
for entry in /proc/sys/fs/binfmt_misc/lumaspire-i386 /proc/sys/fs/binfmt_misc/qemu-i386; do
  if [ -e "$entry" ] && head -n 1 "$entry" | grep -q enabled; then emulated=1; fi
done
exec chroot "$ROOT" /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  TERM="${TERM:-dumb}" CI="${CI:-}" LUMASPIRE_SCREENSHOT="${LUMASPIRE_SCREENSHOT:-}" BUILD_DIR="${BUILD_DIR:-}" DISPLAY="${DISPLAY:-}" \
  LUMASPIRE_EMULATED="$emulated" \
  /bin/bash -c 'cd "$1" && shift && exec "$@"' bash "$PWD" "$@"
