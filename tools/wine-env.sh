# Sourced: the Wine settings every test and run uses, and the start and stop of the
# display and Wine's services. Runs inside the environment of in-env.sh.
BUILD_DIR=${BUILD_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build}
export BUILD_DIR
# LUMASPIRE_PREFIX=win7 picks the prefix without Wine's catch-all DirectShow splitter,
# LUMASPIRE_PREFIX=win64 the 64-bit one (both made by wine_start below); the normal
# prefix otherwise.
# A lane other than 0 (ctest hands one to each test: tests/CMakeLists.txt) has its own
# copies of the prefixes and its own display in build/lane<N>/, so that two test programs
# can run side by side without sharing a screen or a registry. ctest's word comes first:
# the shell that started ctest has its own lane in the environment it hands on.
if [ -n "${CTEST_RESOURCE_GROUP_0_LANES:-}" ]; then
  LUMASPIRE_LANE=${CTEST_RESOURCE_GROUP_0_LANES#id:}
  LUMASPIRE_LANE=${LUMASPIRE_LANE%%,*}
fi
export LUMASPIRE_LANE=${LUMASPIRE_LANE:-0}
LUMASPIRE_LANE_DIR=$BUILD_DIR
[ "$LUMASPIRE_LANE" = 0 ] || LUMASPIRE_LANE_DIR="$BUILD_DIR/lane$LUMASPIRE_LANE"
if [ "$LUMASPIRE_LANE" != 0 ] && [ -f "$LUMASPIRE_LANE_DIR/display" ]; then
  DISPLAY=$(cat "$LUMASPIRE_LANE_DIR/display")
  export DISPLAY
fi
LUMASPIRE_MAIN_PREFIX="$LUMASPIRE_LANE_DIR/wineprefix"
LUMASPIRE_WIN7_PREFIX="$LUMASPIRE_LANE_DIR/wineprefix-win7"
LUMASPIRE_WIN64_PREFIX="$LUMASPIRE_LANE_DIR/wineprefix-win64"
export WINEARCH=win32
case "${LUMASPIRE_PREFIX:-}" in
  win7) export WINEPREFIX="$LUMASPIRE_WIN7_PREFIX" ;;
  win64) export WINEPREFIX="$LUMASPIRE_WIN64_PREFIX" WINEARCH=win64 ;;
  *) export WINEPREFIX="$LUMASPIRE_MAIN_PREFIX" ;;
esac
export WINEDEBUG=${WINEDEBUG:--all}
# Code page 936, as on the users' machines.
export LC_ALL=zh_CN.UTF-8 LANG=zh_CN.UTF-8
export XDG_RUNTIME_DIR=/tmp/lumaspire-xdg-$(id -u)
LUMASPIRE_XVFB_PID_FILE="$LUMASPIRE_LANE_DIR/xvfb.pid"

# Under qemu-i386 (in-env.sh sets LUMASPIRE_EMULATED) Wine's threads end through
# tools/emulator/thread_exit.c; see there why. Only the 32-bit Wine loader gets it, and
# Wine hands it on to the processes it starts.
LUMASPIRE_WINE_PRELOAD=
if [ -n "${LUMASPIRE_EMULATED:-}" ]; then
  _src="$(dirname "${BASH_SOURCE[0]}")/emulator/thread_exit.c"
  LUMASPIRE_WINE_PRELOAD="$BUILD_DIR/emulator/thread_exit.so"
  if [ ! -f "$LUMASPIRE_WINE_PRELOAD" ] || [ "$_src" -nt "$LUMASPIRE_WINE_PRELOAD" ]; then
    mkdir -p "$BUILD_DIR/emulator"
    i686-linux-gnu-gcc -O2 -shared -fPIC -o "$LUMASPIRE_WINE_PRELOAD" "$_src"
  fi
fi

# Runs a Windows program in the prefix.
wine_run() {
  if [ -n "$LUMASPIRE_WINE_PRELOAD" ]; then
    LD_PRELOAD="$LUMASPIRE_WINE_PRELOAD" /usr/lib/wine/wine "$@"
  else
    wine "$@"
  fi
}

# A new prefix as the tests need it, of the architecture WINEARCH names. Its stamp is a
# hash of this function's text, so a change here sets every prefix up again by itself.
# In a 64-bit prefix "wine reg" is the 32-bit reg.exe, whose HKLM\Software is the 32-bit
# programs' view (Wow6432Node): the view the saver and the tests read.
wine_prefix_setup() {
  rm -rf "$WINEPREFIX"
  wineboot -i </dev/null >/dev/null 2>&1
  wineserver -w
  # One reg.exe import for all the settings below (each Wine program start costs seconds
  # where 32-bit Wine is emulated). In a 64-bit prefix reg.exe writes the 32-bit view.
  # - No window manager here: unmanaged windows close without Wine waiting 2 s for one.
  # - DirectDraw on Wine's software renderer: the virtual display has no GPU, and the
  #   OpenGL path (llvmpipe's JIT) crashes under the i386 emulator these machines use.
  # - A Chinese Windows has a system font with Chinese glyphs; Wine's (svgasys.fon) has
  #   none, so texts drawn in it show boxes. Without that file "System" falls back to a
  #   Chinese font, as it looks on the users' machines.
  # - Dialogs use Tahoma, which has no Chinese glyphs; a Chinese Windows links it to a
  #   Chinese font through the FontLink list, and so does this prefix ("wqy-microhei.ttc,
  #   WenQuanYi Micro Hei" as a one-string REG_MULTI_SZ).
  # - Edit controls still showed Chinese text as boxes: their fallback for it asks for
  #   SimSun, the Chinese system's own font, by name (checked by screenshot).
  local settings="$WINEPREFIX/drive_c/lumaspire-prefix.reg" text
  text=$(printf '%s\0' 'wqy-microhei.ttc,WenQuanYi Micro Hei' | od -An -v -tx1 |
    tr -s ' \n' ' ' | sed 's/^ //; s/ $//; s/ /,/g')
  cat > "$settings" <<REG
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\\Software\\Wine\\Direct3D]
"renderer"="gdi"

[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts]
"FONTS.FON"="none.fon"

[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]
"System"="WenQuanYi Micro Hei"
"SimSun"="WenQuanYi Micro Hei"

[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink]
"Tahoma"=hex(7):$text,00
REG
  wine reg import 'C:\lumaspire-prefix.reg' </dev/null >/dev/null 2>&1
  rm -f "$settings"
  wineserver -w
}

# Stock Windows 7 to 11 have no DirectShow source for MP4, MOV or MKV, nor (in Wine) a
# DirectShow decoder for MJPEG: Wine's one catch-all GStreamer splitter opens them all.
# The second prefix is the first without that one registration, so DirectShow refuses
# there what it refuses on Windows, and the saver's second engine must play it.
wine_prefix_win7() {
  rm -rf "$LUMASPIRE_WIN7_PREFIX"
  cp -a "$LUMASPIRE_MAIN_PREFIX" "$LUMASPIRE_WIN7_PREFIX"
  rm -f "$LUMASPIRE_WIN7_PREFIX"/.lumaspire-ready-*
  WINEPREFIX="$LUMASPIRE_WIN7_PREFIX" wine reg delete \
    'HKCR\CLSID\{083863F1-70DE-11D0-BD40-00A0C911CE86}\Instance\{F9D8D64E-A144-47DC-8EE0-F53498372C29}' /f \
    </dev/null >/dev/null 2>&1
  WINEPREFIX="$LUMASPIRE_WIN7_PREFIX" wineserver -w
}

# The Windows most people run: 64-bit (Wine's WoW64: 64-bit services and programs, the
# 32-bit saver in SysWOW64 with 32-bit DirectShow and Media Foundation), set up as the
# others and, being 7 or later, without the catch-all splitter (in the registry views of
# both architectures; the saver's 32-bit DirectShow reads Wow6432Node).
wine_prefix_win64() {
  local WINEPREFIX="$LUMASPIRE_WIN64_PREFIX" WINEARCH=win64 view
  export WINEPREFIX WINEARCH
  wine_prefix_setup
  for view in 32 64; do
    wine reg delete \
      'HKCR\CLSID\{083863F1-70DE-11D0-BD40-00A0C911CE86}\Instance\{F9D8D64E-A144-47DC-8EE0-F53498372C29}' \
      /reg:$view /f </dev/null >/dev/null 2>&1
  done
  wineserver -w
}

# Starts the display and the prefixes' services, making the prefixes first where needed:
# all three (the tests), or with "main" the normal one alone (the run command).
wine_start() {
  local which=${1:-all}
  # The set-up below is the normal prefix's, whichever prefix this shell runs programs in.
  local WINEPREFIX="$LUMASPIRE_MAIN_PREFIX" WINEARCH=win32
  export WINEPREFIX WINEARCH
  mkdir -p "$BUILD_DIR" && mkdir -p -m 700 "$XDG_RUNTIME_DIR"
  if [ -z "${DISPLAY:-}" ]; then
    local n=90
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 "${LUMASPIRE_SCREEN:-1024x768x24}" -nolisten tcp </dev/null >"$BUILD_DIR/xvfb.log" 2>&1 &
    echo $! > "$LUMASPIRE_XVFB_PID_FILE"
    export DISPLAY=":$n"
    # Up to 5 s for its socket; an Xvfb that has ended already will not make one.
    for _ in $(seq 50); do
      [ -e "/tmp/.X11-unix/X$n" ] || ! kill -0 $! 2>/dev/null && break
      sleep 0.1
    done
    if [ ! -e "/tmp/.X11-unix/X$n" ]; then
      echo "wine-env: Xvfb did not come up on :$n; its output is in $BUILD_DIR/xvfb.log" >&2
      wine_stop
      return 1
    fi
  fi
  local stamp
  stamp="$WINEPREFIX/.lumaspire-ready-$(declare -f wine_prefix_setup | md5sum | cut -c1-12)"
  if [ ! -f "$stamp" ]; then
    wine_prefix_setup
    touch "$stamp"
  fi
  local prefixes=("$LUMASPIRE_MAIN_PREFIX")
  if [ "$which" = all ]; then
    prefixes+=("$LUMASPIRE_WIN7_PREFIX" "$LUMASPIRE_WIN64_PREFIX")
  fi
  stamp="$LUMASPIRE_WIN7_PREFIX/.lumaspire-ready-$(declare -f wine_prefix_setup wine_prefix_win7 | md5sum | cut -c1-12)"
  if [ "$which" = all ] && [ ! -f "$stamp" ]; then
    wine_prefix_win7
    touch "$stamp"
  fi
  stamp="$LUMASPIRE_WIN64_PREFIX/.lumaspire-ready-$(declare -f wine_prefix_setup wine_prefix_win64 | md5sum | cut -c1-12)"
  if [ "$which" = all ] && [ ! -f "$stamp" ]; then
    wine_prefix_win64
    touch "$stamp"
  fi
  # Start the services detached first: if a test started them they would inherit its
  # output pipe and ctest would wait for them for ever.
  # (Wine refuses a WINEARCH other than the prefix's own.)
  local prefix arch
  for prefix in "${prefixes[@]}"; do
    arch=win32
    [ "$prefix" = "$LUMASPIRE_WIN64_PREFIX" ] && arch=win64
    WINEPREFIX="$prefix" wineserver -p </dev/null >/dev/null 2>&1
    WINEPREFIX="$prefix" WINEARCH=$arch wine cmd /c exit </dev/null >/dev/null 2>&1 || true
  done
}

wine_stop() {
  WINEPREFIX="$LUMASPIRE_MAIN_PREFIX" wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX="$LUMASPIRE_WIN7_PREFIX" wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX="$LUMASPIRE_WIN64_PREFIX" wineserver -k >/dev/null 2>&1 || true
  if [ -f "$LUMASPIRE_XVFB_PID_FILE" ]; then
    kill "$(cat "$LUMASPIRE_XVFB_PID_FILE")" 2>/dev/null || true
    rm -f "$LUMASPIRE_XVFB_PID_FILE"
  fi
}

# Lane N (above) for a test run: copies of lane 0's prefixes, made again whenever lane 0's
# were, and a display of its own, which the lane's tests find in build/lane<N>/display.
# Call after wine_start in lane 0; wine_lane_stop N ends it.
wine_lane_start() {
  local lane=$1 dir="$BUILD_DIR/lane$1" name
  mkdir -p "$dir"
  for name in wineprefix wineprefix-win7 wineprefix-win64; do
    if [ "$(cd "$BUILD_DIR/$name" && ls -a .lumaspire-ready-*)" != "$(cd "$dir/$name" 2>/dev/null && ls -a .lumaspire-ready-* 2>/dev/null)" ]; then
      rm -rf "${dir:?}/$name"
      cp -a "$BUILD_DIR/$name" "$dir/$name"
    fi
  done
  rm -f "$dir/display"
  ( unset DISPLAY; export LUMASPIRE_LANE=$lane; unset CTEST_RESOURCE_GROUP_0_LANES; source "${BASH_SOURCE[0]}"
    wine_start && echo "$DISPLAY" > "$dir/display" )
}
wine_lane_stop() {
  ( export LUMASPIRE_LANE=$1; unset CTEST_RESOURCE_GROUP_0_LANES; source "${BASH_SOURCE[0]}"; wine_stop
    rm -f "$LUMASPIRE_LANE_DIR/display" )
}
