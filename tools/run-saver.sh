#!/bin/bash
# Builds lumaspire.scr and runs it full screen under Wine (inside in-env.sh).
# With a display ($DISPLAY) it runs there until mouse or key closes it; without one it
# plays on a virtual screen for a few seconds and writes a screenshot. --config opens the
# configuration dialog (/c) instead of the full-screen saver. What Wine and GStreamer say
# on the way (no sound card here, and such) goes to build/run-saver.log, which the script
# names; --verbose shows it on the console instead.
#   tools/run-saver.sh [--config] [--screenshot FILE] [--seconds N] [--clip PATH] [--verbose]
set -euo pipefail
cd "$(dirname "$0")/.."
shot=${LUMASPIRE_SCREENSHOT:-lumaspire-screenshot.png}
seconds=8
clip=
mode=/s
verbose=
while [ $# -gt 0 ]; do
  case "$1" in
    --screenshot) shot=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --clip) clip=$2; shift 2 ;;
    --config) mode=/c; shift ;;
    --verbose) verbose=1; shift ;;
    *) echo "usage: $0 [--config] [--screenshot FILE] [--seconds N] [--clip PATH] [--verbose]" >&2; exit 2 ;;
  esac
done

tools/build.sh >/dev/null
source tools/wine-env.sh
if [ -n "${DISPLAY:-}" ] && ! xdpyinfo >/dev/null 2>&1; then
  echo "run-saver: display $DISPLAY is not reachable, using a virtual one" >&2
  unset DISPLAY
fi
real_display=${DISPLAY:-}
trap wine_stop EXIT
wine_start
log=$BUILD_DIR/run-saver.log
: > "$log"
# The saver, with Wine's and GStreamer's messages in the log unless --verbose.
run() {
  if [ -n "$verbose" ]; then
    wine_run "$BUILD_DIR/bin/lumaspire.scr" "$mode"
  else
    wine_run "$BUILD_DIR/bin/lumaspire.scr" "$mode" >>"$log" 2>&1
  fi
}
[ -n "$verbose" ] || echo "run-saver: Wine's and GStreamer's messages go to $log"

# Without a chosen clip the saver plays the sample clip the build made.
if [ -z "$clip" ] && ! wine reg query 'HKCU\Software\Tollvane\Lumaspire' /v 'Movie File Path' 2>/dev/null | grep -q ':\\'; then
  clip="$BUILD_DIR/bin/sample.avi"
fi
if [ -n "$clip" ]; then
  winpath=$(winepath -w "$clip" 2>/dev/null)
  wine reg add 'HKCU\Software\Tollvane\Lumaspire' /v 'Movie File Path' /t REG_SZ /d "$winpath" /f >/dev/null 2>&1
fi

if [ -n "$real_display" ]; then
  if [ "$mode" = /c ]; then
    echo "run-saver: configuration dialog on $DISPLAY"
  else
    echo "run-saver: playing on $DISPLAY; move the mouse or press a key to close it"
  fi
  run
  exit 0
fi

run &
sleep "$seconds"
size=$(xdpyinfo | awk '/dimensions:/ {print $2}')
ffmpeg -loglevel error -y -f x11grab -draw_mouse 0 -video_size "$size" -i "$DISPLAY" -frames:v 1 "$shot"
echo "run-saver: screenshot written to $shot"
