#!/bin/bash
# Builds everything and runs every test program under Wine (inside in-env.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/build.sh
source tools/wine-env.sh
trap wine_stop EXIT
wine_start
# One test at a time: the end-to-end tests share the screen and the registry.
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure --timeout 600 "$@"
