#!/bin/bash
# Builds and runs the benchmarks under Wine (inside in-env.sh): playback, download, or
# both when none is named. The playback benchmark is followed by the same H.264 clip
# played with the saver, ffplay and mpv side by side (tools/bench-players.py).
# "avsync [minutes]" (not part of both: it takes twice the minutes, 10 unless given)
# measures picture against sound with the saver and mpv (tools/bench-avsync.py).
# "phone" plays only the upright, turned and HDR clips through engine 2 and ffplay.
set -euo pipefail
cd "$(dirname "$0")/.."
which=${1:-all}
tools/build.sh >/dev/null
source tools/wine-env.sh
server_dir="$BUILD_DIR/bench-http-server"
trap 'tests/common/http_test_server.sh stop "$server_dir"; wine_stop' EXIT
wine_start
# A prefix whose Wine reports two monitors (both at the primary's place: see
# bench/fake_xinerama.c), for the cost of a second monitor's blit.
twomon_start() {
  local lib="$BUILD_DIR/fake-xinerama" prefix="$BUILD_DIR/wineprefix-twomon"
  mkdir -p "$lib"
  i686-linux-gnu-gcc -O2 -shared -fPIC -Wl,-soname,libXinerama.so.1 -o "$lib/libXinerama.so.1" bench/fake_xinerama.c
  rm -rf "$prefix"
  cp -a "$LUMASPIRE_MAIN_PREFIX" "$prefix"
  export LUMASPIRE_TWOMON_PREFIX="$prefix" LUMASPIRE_TWOMON_LIB="$lib"
  export LUMASPIRE_XINERAMA_HEADS="0,0,1024,768;1024,0,800,600"
  WINEPREFIX="$prefix" wine reg add 'HKCU\Software\Wine\X11 Driver' /v UseXRandR /d N /f </dev/null >/dev/null 2>&1
  WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX="$prefix" LD_LIBRARY_PATH="$lib" wineserver -p </dev/null >/dev/null 2>&1
  WINEPREFIX="$prefix" LD_LIBRARY_PATH="$lib" wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

if [ "$which" = all ] || [ "$which" = playback ]; then
  wine_run "$BUILD_DIR/bin/playback_bench.exe"
  export LUMASPIRE_WINE_PRELOAD
  twomon_start
  trap 'WINEPREFIX="$LUMASPIRE_TWOMON_PREFIX" wineserver -k >/dev/null 2>&1; tests/common/http_test_server.sh stop "$server_dir"; wine_stop' EXIT
  python3 tools/bench-players.py
fi
if [ "$which" = phone ]; then
  python3 tools/bench-players.py phone
fi
if [ "$which" = avsync ]; then
  export LUMASPIRE_WINE_PRELOAD
  python3 tools/bench-avsync.py "${2:-10}"
fi
if [ "$which" = all ] || [ "$which" = download ]; then
  tests/common/http_test_server.sh start "$server_dir"
  LUMASPIRE_HTTP_SERVER_DIR="Z:$server_dir" wine_run "$BUILD_DIR/bin/download_bench.exe"
fi
