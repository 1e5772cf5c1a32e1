#!/bin/bash
# Builds and runs the playback benchmark under Wine (inside in-env.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/build.sh >/dev/null
source tools/wine-env.sh
trap wine_stop EXIT
wine_start
wine_run "$BUILD_DIR/bin/playback_bench.exe"
