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
wine_run "$BUILD_DIR/bin/soak_bench.exe" "$(winepath -w "$clip")" "$minutes"
