#!/bin/bash
# sound_sink.sh start|stop <state dir>: the ctest fixture that gives Wine a sound device
# a test can listen to. start runs a PulseAudio daemon of its own with one null sink and
# records that sink's monitor into <state dir>/recording.raw (16-bit mono, 48 kHz, the
# file growing in real time); Wine's processes reach it through PULSE_SERVER
# (unix:<state dir>/native). stop ends both; nothing is left running.
set -u
cmd=$1 dir=$2
case "$cmd" in
start)
  "$0" stop "$dir"
  mkdir -p "$dir"
  export PULSE_RUNTIME_PATH="$dir" PULSE_STATE_PATH="$dir" HOME="$dir"
  # Detached from ctest's output pipe, which ctest would otherwise wait on.
  setsid pulseaudio --daemonize=no --exit-idle-time=-1 -n --use-pid-file=no --disallow-exit \
    --load="module-null-sink sink_name=lumaspire_test" \
    --load="module-native-protocol-unix auth-anonymous=1 socket=$dir/native" \
    </dev/null >"$dir/pulseaudio.log" 2>&1 &
  echo $! > "$dir/pulseaudio.pid"
  export PULSE_SERVER="unix:$dir/native"
  for _ in $(seq 100); do
    LC_ALL=C pactl info >/dev/null 2>&1 && break
    sleep 0.1
  done
  if ! LC_ALL=C pactl info >/dev/null 2>&1; then
    echo "the PulseAudio test daemon did not start:" >&2
    cat "$dir/pulseaudio.log" >&2
    exit 1
  fi
  LC_ALL=C pactl set-default-sink lumaspire_test
  setsid parec -d lumaspire_test.monitor --format=s16le --rate=48000 --channels=1 --raw --latency-msec=20 \
    </dev/null >"$dir/recording.raw" 2>"$dir/parec.log" &
  echo $! > "$dir/parec.pid"
  exit 0
  ;;
stop)
  for name in parec pulseaudio; do
    if [ -s "$dir/$name.pid" ]; then
      pid=$(cat "$dir/$name.pid")
      kill "$pid" 2>/dev/null
      for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
      kill -9 "$pid" 2>/dev/null
    fi
    rm -f "$dir/$name.pid"
  done
  exit 0
  ;;
esac
echo "usage: $0 start|stop <state dir>" >&2
exit 2
