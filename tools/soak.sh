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
# The same figures as Linux sees the saver's process: private memory and open descriptors.
linux_usage() {
  local pid
  pid=$(pgrep -f 'lumaspire.scr /s' | head -n 1) || return 0
  echo "soak: Linux view at $1: private $(awk '/^Private/ {kb += $2} END {print kb}' /proc/$pid/smaps_rollup) KB, descriptors $(ls /proc/$pid/fd | wc -l)"
}
( sleep 65; linux_usage "1 min"; sleep $(( (minutes - 1) * 60 - 10 )); linux_usage "$minutes min" ) &
wine_run "$BUILD_DIR/bin/soak_bench.exe" "$(winepath -w "$clip")" "$minutes"
wait
