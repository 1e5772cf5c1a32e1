#!/bin/bash
# Configures and builds into $BUILD_DIR (build/), inside in-env.sh: everything (the saver,
# its installer, the test programs, the benchmarks), or with --saver only the saver and the
# sample clip, which is what tools/run-saver.sh runs. A build folder already configured for
# the tests keeps that configuration when --saver builds in it.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-$PWD/build}
configure() {
  cmake -S . -B "$BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
}
if [ "${1:-}" = --saver ]; then
  if [ -f "$BUILD_DIR/CMakeCache.txt" ]; then
    configure
  else
    configure -DBUILD_TESTING=OFF -DLUMASPIRE_INSTALLER=OFF
  fi
  cmake --build "$BUILD_DIR" -j "$(nproc)" --target lumaspire sample_clip
else
  configure -DBUILD_TESTING=ON -DLUMASPIRE_INSTALLER=ON
  cmake --build "$BUILD_DIR" -j "$(nproc)"
fi
