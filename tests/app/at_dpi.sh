#!/bin/bash
# at_dpi.sh <dpi> <test program> [arguments]: runs the program under Wine with the test
# prefix at that DPI (HKCU\Control Panel\Desktop LogPixels, which Wine reads only when
# its session starts), then puts the prefix back to 96 DPI for the tests after it.
source "$(dirname "$0")/../../tools/wine-env.sh"
set_dpi() {
  if [ "$1" = 96 ]; then
    wine reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f
  else
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f
  fi </dev/null >/dev/null 2>&1
  wineserver -k; wineserver -w
  wine_start
}
trap 'set_dpi 96' EXIT
set_dpi "$1"
shift
wine_run "$@"
