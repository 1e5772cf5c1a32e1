#!/bin/bash
# http_test_server.sh start|stop <state dir>: the ctest fixture around http_test_server.py.
# start returns once the server listens (its port is then in <state dir>/port);
# stop ends the server started there.
set -u
cmd=$1 dir=$2
here=$(dirname "$0")
case "$cmd" in
start)
  "$0" stop "$dir"
  mkdir -p "$dir"
  # Detached from ctest's output pipe, which ctest would otherwise wait on.
  setsid python3 "$here/http_test_server.py" --state-dir "$dir" </dev/null >"$dir/log" 2>&1 &
  for _ in $(seq 200); do
    [ -s "$dir/port" ] && exit 0
    sleep 0.1
  done
  echo "the test HTTP server did not start:" >&2
  cat "$dir/log" >&2
  exit 1
  ;;
stop)
  if [ -s "$dir/pid" ]; then
    pid=$(cat "$dir/pid")
    kill "$pid" 2>/dev/null
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  fi
  rm -f "$dir/port" "$dir/pid"
  exit 0
  ;;
esac
echo "usage: $0 start|stop <state dir>" >&2
exit 2
