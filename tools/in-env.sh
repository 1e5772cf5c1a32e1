#!/bin/bash
# Runs a command inside the build and test environment (see machine-setup.sh), in the
# current directory of the repository.
set -euo pipefail
ROOT=${LUMASPIRE_ROOT:-/opt/lumaspire-root}
"$(dirname "$0")/machine-setup.sh"
exec chroot "$ROOT" /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  TERM="${TERM:-dumb}" CI="${CI:-}" LUMASPIRE_SCREENSHOT="${LUMASPIRE_SCREENSHOT:-}" BUILD_DIR="${BUILD_DIR:-}" DISPLAY="${DISPLAY:-}" \
  /bin/bash -c 'cd "$1" && shift && exec "$@"' bash "$PWD" "$@"
