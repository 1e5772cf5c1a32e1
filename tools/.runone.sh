#!/bin/bash
cd /work/wt-about
source tools/wine-env.sh
trap wine_stop EXIT
wine_start
eval "$@"
