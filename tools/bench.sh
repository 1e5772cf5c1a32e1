#!/bin/bash
# Builds and runs the benchmarks under Wine (inside in-env.sh): playback, download, or
# both when none is named. The playback benchmark is followed by the same H.264 clip
# played with the saver, ffplay and mpv side by side (tools/bench-players.py).
set -euo pipefail
cd "$(dirname "$0")/.."
which=${1:-all}
tools/build.sh >/dev/null
source tools/wine-env.sh
server_dir="$BUILD_DIR/bench-http-server"
trap 'tests/common/http_test_server.sh stop "$server_dir"; wine_stop' EXIT
wine_start
if [ "$which" = all ] || [ "$which" = playback ]; then
  wine_run "$BUILD_DIR/bin/playback_bench.exe"
  export LUMASPIRE_WINE_PRELOAD
  python3 tools/bench-players.py
fi
if [ "$which" = all ] || [ "$which" = download ]; then
  tests/common/http_test_server.sh start "$server_dir"
  LUMASPIRE_HTTP_SERVER_DIR="Z:$server_dir" wine_run "$BUILD_DIR/bin/download_bench.exe"
fi
