#!/bin/bash
# Builds everything and runs every test program under Wine (inside in-env.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/build.sh
source tools/wine-env.sh
trap wine_stop EXIT
wine_start
# One test at a time: the end-to-end tests share the screen and the registry.
# Where 32-bit Wine runs through qemu's user-mode emulator (tools/machine-setup.sh), a
# Wine process now and then dies of a SIGSEGV that Wine cannot handle there ("Got
# unexpected trap -1"); a failed test program gets two more runs there, and only there.
repeat=()
if [ -n "${LUMASPIRE_EMULATED:-}" ]; then
  repeat=(--repeat until-pass:3)
fi
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure --timeout 600 "${repeat[@]}" "$@"
