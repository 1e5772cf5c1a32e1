#!/bin/bash
# Runs a command inside the build and test environment (see machine-setup.sh), in the
# current directory of the repository.
set -euo pipefail
ROOT=${LUMASPIRE_ROOT:-/opt/lumaspire-root}
# The run command needs less of the machine than the tests: a first run installs only that.
profile=all
[ "$(basename "${1:-}")" = run-saver.sh ] && profile=run
"$(dirname "$0")/machine-setup.sh" "$profile"
# Is 32-bit code run by qemu here? Any enabled i386 emulator entry says so.
emulated=
for entry in /proc/sys/fs/binfmt_misc/lumaspire-i386 /proc/sys/fs/binfmt_misc/qemu-i386; do
  if [ -e "$entry" ] && head -n 1 "$entry" | grep -q enabled; then emulated=1; fi
done
# What the user set for the scripts goes in with the command: every LUMASPIRE_* variable
# (the screen size, the screenshot file and folder...) and Wine's debug channels.
passed=()
while IFS= read -r name; do
  passed+=("$name=${!name}")
done < <(compgen -e | grep -E '^(LUMASPIRE_[A-Z0-9_]+|WINEDEBUG)$' || true)
exec chroot "$ROOT" /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  TERM="${TERM:-dumb}" CI="${CI:-}" BUILD_DIR="${BUILD_DIR:-}" DISPLAY="${DISPLAY:-}" "${passed[@]}" \
  LUMASPIRE_EMULATED="$emulated" LUMASPIRE_IN_ENV=1 \
  /bin/bash -c 'cd "$1" && shift && exec "$@"' bash "$PWD" "$@"
