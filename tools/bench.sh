#!/bin/bash
# Builds and runs the playback benchmark under Wine (inside in-env.sh), then plays the
# same H.264 clip with the saver, ffplay and mpv side by side (tools/bench-players.py).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/build.sh >/dev/null
source tools/wine-env.sh
trap wine_stop EXIT
wine_start
wine_run "$BUILD_DIR/bin/playback_bench.exe"
export LUMASPIRE_WINE_PRELOAD
python3 tools/bench-players.py
