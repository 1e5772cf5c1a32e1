#!/bin/bash
# Builds and runs the benchmarks under Wine (inside in-env.sh): playback, download, or
# both when none is named. The playback benchmark is followed by the same H.264 clip
# played with the saver, ffplay and mpv side by side (tools/bench-players.py).
# "avsync [minutes]" (not part of both: it takes twice the minutes, 10 unless given)
# measures picture against sound with the saver and mpv (tools/bench-avsync.py).
# "phone" plays only the upright, turned and HDR clips through engine 2 and ffplay;
# "convert [frames]" times the frame converter alone, natively, against ffmpeg.
set -euo pipefail
cd "$(dirname "$0")/.."
which=${1:-all}
if [ "$which" = convert ]; then
  # The frame converter alone, natively, against ffmpeg's scaler and tone-map on the
  # same frames (single-threaded), ms a frame: what the turn and the tone-map add.
  out=${BUILD_DIR:-$PWD/build}/convert-bench
  mkdir -p "$out"
  # output, the folder whose converter it is built from, further flags
  build_bench() {
    clang++ -std=c++17 -O2 "${@:3}" -I"$2" -Ibench/shim -Ifuzz/shim -I. -include fuzz/shim/crt.h \
      -Wno-cast-function-type-mismatch bench/ConvertBench.cpp \
      "$2"/playback/present/{YuvConvert,YuvKernels,YuvKernelsSse2,FrameCopy}.cpp fuzz/shim/shim.cpp -o "$1"
  }
  build_bench "$out/convert_bench" .
  # LUMASPIRE_BENCH_CONVERT_BEFORE=<an earlier checkout's folder, inside the repository>:
  # its converter on the upright frame too, in the same run.
  before=${LUMASPIRE_BENCH_CONVERT_BEFORE:-}
  if [ -n "$before" ]; then
    build_bench "$out/convert_bench_before" "$before" -DCONVERT_BENCH_UPRIGHT_ONLY
  fi
  for f in nv12 p010le; do
    ffmpeg -loglevel error -y -f lavfi -i testsrc2=s=1280x720 -frames:v 1 -pix_fmt $f -f rawvideo "$out/frame.$f"
  done
  frames=${2:-200}
  "$out/convert_bench" "$out/frame.nv12" "$out/frame.p010le" "$frames" | tee "$out/ours.txt"
  if [ -n "$before" ]; then
    "$out/convert_bench_before" "$out/frame.nv12" "$out/frame.p010le" "$frames" | sed 's/^/before /' | tee "$out/before.txt"
  fi
  peer() {  # name, input format, filters
    local best=
    for _ in 1 2 3; do
      local t
      t=$(ffmpeg -hide_banner -nostats -benchmark -threads 1 -filter_threads 1 -stream_loop $((frames - 1)) \
            -f rawvideo -pix_fmt "$2" -s 1280x720 -i "$out/frame.$2" -vf "$3" -f null - 2>&1 |
          sed -n 's/.*utime=\([0-9.]*\)s.*/\1/p')
      best=$(printf '%s\n%s\n' "$best" "$t" | sed '/^$/d' | sort -n | head -n 1)
    done
    echo "$1 ffmpeg $(awk -v t="$best" -v n="$frames" 'BEGIN { printf "%.3f", t * 1000 / n }')"
  }
  tone="zscale=pin=bt2020:min=bt2020nc:rin=tv:t=linear:p=bt2020:npl=203,format=gbrpf32le,zscale=p=bt709"
  tone="$tone,tonemap=hable:desat=0:peak=4.926,zscale=t=bt709:w=1024:h=576,format=bgra"
  { peer upright nv12 "scale=1024:576:flags=bilinear,format=bgra"
    peer turned nv12 "transpose=clock,scale=576:1024:flags=bilinear,format=bgra"
    peer pq p010le "zscale=tin=smpte2084:${tone#zscale=}"
    peer hlg p010le "zscale=tin=arib-std-b67:${tone#zscale=}"
  } | tee "$out/peer.txt"
  echo "ms a frame, 1280x720 into 1024x576 32-bit; ours (SSE2) / ffmpeg, and against ours upright:"
  awk 'FNR == NR { if ($2 == "sse2") ours[$1] = $3; next }
       { printf "  %-8s ours %.3f  ffmpeg %.3f  ours/ffmpeg %.2f  %.2f of upright\n", $1, ours[$1], $3, ours[$1] / $3,
                ours[$1] / ours["upright"] }' "$out/ours.txt" "$out/peer.txt"
  if [ -n "$before" ]; then
    awk -v rev="$before" 'FNR == NR { if ($1 == "upright" && $2 == "sse2") now = $3; next }
         { printf "  upright at %s: %.3f; this one/that one %.3f\n", rev, $4, now / $4 }' "$out/ours.txt" "$out/before.txt"
  fi
  exit 0
fi
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
