#!/bin/bash
cd /work/wt-about
source tools/wine-env.sh
trap 'python3 tests/common/tls_update_server.py stop --state build/tls-update-server; wine_stop' EXIT
wine_start
python3 tests/common/tls_update_server.py start --state build/tls-update-server >/dev/null
eval "$@"
