#!/bin/bash
# Close stress (inside in-env.sh; not part of the tests): the saver plays an MP4 with sound
# (the colour clip's H.264 with a 1 kHz tone, through the second engine in the prefix as
# narrow as Windows, onto a PulseAudio null sink) and is closed by a key at N random
# moments (1000 unless given) within the first M ms (3000 unless given) of its window;
# prints how many closes took longer than 2 s and the slowest. With
# LUMASPIRE_CLOSE_STRESS_BACKTRACE=1 it prints, for a saver still running 1 s after its key,
# where each of its threads is.
set -euo pipefail
cd "$(dirname "$0")/.."
closes=${1:-1000}
within=${2:-3000}
tools/build.sh >/dev/null
source tools/wine-env.sh
sound="$BUILD_DIR/close-stress-sound"
trap 'tests/common/sound_sink.sh stop "$sound"; wine_stop' EXIT
wine_start
tests/common/sound_sink.sh start "$sound"
export PULSE_SERVER="unix:$sound/native"
export WINEPREFIX="$LUMASPIRE_WIN7_PREFIX"
wine_run "$BUILD_DIR/bin/close_stress.exe" "$(winepath -w "$BUILD_DIR/bin/clips/tone.mp4")" "$closes" "$within"
