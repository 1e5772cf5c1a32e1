#!/bin/bash
# Soak (inside in-env.sh; not part of the tests): the saver plays a 2 s clip looping for
# N minutes (30 unless given: 900 loops) in the test prefix, prints its private bytes,
# handles and GDI objects every minute and how they moved since the first, and whether the
# first key still closed it. With "peer" after the minutes, soak_peer then makes the same
# platform calls in a bare loop for as long, so the saver's growth can be set beside it.
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-30}
peer=${2:-}
tools/build.sh >/dev/null
source tools/wine-env.sh
trap wine_stop EXIT
wine_start
clip="$BUILD_DIR/bin/soak2s.avi"
[ -f "$clip" ] || ffmpeg -loglevel error -y -f lavfi -i testsrc2=size=640x360:rate=25:duration=2 -c:v mjpeg -q:v 4 "$clip"
# Linux's view of the saver's process, every minute: all its private memory and its open
# descriptors.
linux_usage() {
  local pid
  pid=$(pgrep -f 'lumaspire.scr /s' | head -n 1) || return 0
  echo "soak: Linux view at $1 min: private $(awk '/^Private/ {kb += $2} END {print kb}' /proc/$pid/smaps_rollup) KB, descriptors $(ls /proc/$pid/fd | wc -l)"
}
( sleep 5; for m in $(seq 1 "$minutes"); do sleep 60; linux_usage "$m"; done ) &
sampler=$!
status=0
wine_run "$BUILD_DIR/bin/soak_bench.exe" "$(winepath -w "$clip")" "$minutes" || status=$?
wait "$sampler" || true  # only the sampler: the X server started for Wine runs on
if [ "$peer" = peer ]; then
  wine_run "$BUILD_DIR/bin/soak_peer.exe" "$(winepath -w "$clip")" "$minutes" || status=$?
fi
exit "$status"
