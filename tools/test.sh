#!/bin/bash
# Builds everything and runs every test program under Wine (inside in-env.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/build.sh
# The parsers' fuzz targets, natively, a few seconds each; a run of chosen tests skips them.
if [ $# -eq 0 ]; then
  tools/fuzz.sh smoke
fi
source tools/wine-env.sh
trap wine_stop EXIT
wine_start
# One test at a time: the end-to-end tests share the screen and the registry.
# Where 32-bit Wine runs through qemu's user-mode emulator (tools/machine-setup.sh), a
# failed test program gets one more run, and only there: Wine under the emulator has
# faults of its own (see tools/emulator/thread_exit.c for the one that was found).
repeat=()
if [ -n "${LUMASPIRE_EMULATED:-}" ]; then
  repeat=(--repeat until-pass:2)
fi
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure --timeout 600 "${repeat[@]}" "$@"
