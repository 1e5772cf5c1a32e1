#!/bin/bash
# Builds lumaspire.scr and runs it full screen under Wine (inside in-env.sh).
# With a display ($DISPLAY) it runs there until mouse or key closes it; without one it
# plays on a virtual screen for a few seconds and writes a screenshot. --config opens the
# configuration dialog (/c) instead of the full-screen saver. What Wine and GStreamer say
# on the way (no sound card here, and such) goes to build/run-saver.log, which the script
# names; --verbose shows it on the console instead.
# Each step of a first run says how long it took.
#   tools/run-saver.sh [--config] [--screenshot FILE] [--seconds N] [--clip PATH] [--verbose]
set -euo pipefail
caller_dir=$PWD
cd "$(dirname "$0")/.."
repo=$PWD
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

# Paths are the caller's, relative to where the command was given. Inside the build
# environment only the repository is shared with this machine: a file named outside it
# would be written into (or read from) the environment's own file system, out of sight.
inside_repo() {
  local path=$1
  [ "${path#/}" != "$path" ] || path="$caller_dir/$path"
  path=$(realpath -m "$path")
  if [ -n "${LUMASPIRE_IN_ENV:-}" ] && [ "${path#$repo/}" = "$path" ]; then
    echo "run-saver: $1 is outside the repository ($repo), which is all that the build environment" \
         "shares with this machine; name a file inside it, for example build/$(basename "$1")" >&2
    exit 2
  fi
  echo "$path"
}
shot=$(inside_repo "$shot")
[ -z "$clip" ] || clip=$(inside_repo "$clip")

started=$SECONDS
tools/build.sh --saver >/dev/null
[ $((SECONDS - started)) -lt 5 ] || echo "run-saver: the saver and its sample clip built in $((SECONDS - started)) s"
source tools/wine-env.sh
if [ -n "${DISPLAY:-}" ] && ! xdpyinfo >/dev/null 2>&1; then
  echo "run-saver: display $DISPLAY is not reachable, using a virtual one" >&2
  unset DISPLAY
fi
real_display=${DISPLAY:-}
trap wine_stop EXIT
started=$SECONDS
wine_start main
[ $((SECONDS - started)) -lt 5 ] || echo "run-saver: Wine (its prefix and services) ready in $((SECONDS - started)) s"
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
