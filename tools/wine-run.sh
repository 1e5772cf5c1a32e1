#!/bin/bash
# Runs a Windows program under the test prefix: ctest's emulator for the test programs.
source "$(dirname "$0")/wine-env.sh"
wine_run "$@"
