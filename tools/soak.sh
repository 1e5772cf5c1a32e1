#!/bin/bash
# Soak (inside in-env.sh; not part of the tests): the saver plays a 2 s clip looping for
# N minutes (30 unless given: 900 loops) in the test prefix, then prints how its private
# bytes, handles and GDI objects moved since the first minute, and whether the first key
# still closed it.
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-30}
tools/build.sh >/dev/null
source tools/wine-env.sh
trap wine_stop EXIT
wine_start
clip="$BUILD_DIR/bin/soak2s.avi"
[ -f "$clip" ] || ffmpeg -loglevel error -y -f lavfi -i testsrc2=size=640x360:rate=25:duration=2 -c:v mjpeg -q:v 4 "$clip"
# The same figures as Linux sees the saver's process, every minute: private memory, open
# descriptors and, from the process's own view, heap in use.
linux_usage() {
  local pid
  pid=$(pgrep -f 'lumaspire.scr /s' | head -n 1) || return 0
  echo "soak: Linux view at $1 min: private $(awk '/^Private/ {kb += $2} END {print kb}' /proc/$pid/smaps_rollup) KB, descriptors $(ls /proc/$pid/fd | wc -l)"
}
( sleep 5; for m in $(seq 1 "$minutes"); do sleep 60; linux_usage "$m"; done ) &
wine_run "$BUILD_DIR/bin/soak_bench.exe" "$(winepath -w "$clip")" "$minutes"
wait
