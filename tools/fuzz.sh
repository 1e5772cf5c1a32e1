#!/bin/bash
# Builds the parser fuzz targets natively with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) from the program's own sources and runs them (inside in-env.sh).
#   tools/fuzz.sh smoke      each target for a few seconds (part of tools/test.sh)
#   tools/fuzz.sh long [N]   each target for N executions (default 10,000,000)
#   tools/fuzz.sh build      only builds
# Target names after the mode (and N) run only those: tools/fuzz.sh long 1000000 pack path
set -euo pipefail
cd "$(dirname "$0")/.."
usage() { echo "usage: $0 smoke | long [N] | build, then target names (keyvalue pack switches path clipheaders)" >&2; exit 2; }
mode=${1:-smoke}
shift $(( $# > 0 ? 1 : 0 ))
runs=10000000
# Only long takes a count, and only a number is one: "smoke pack" runs pack alone.
if [ "$mode" = long ] && [[ "${1:-}" =~ ^[0-9]+$ ]]; then
  runs=$1
  shift
fi
case "$mode" in smoke | long | build) ;; *) usage ;; esac
out=${BUILD_DIR:-$PWD/build}/fuzz
mkdir -p "$out"
# Findings name their source lines.
export ASAN_SYMBOLIZER_PATH=/usr/bin/addr2line

# target: program sources it is built from
declare -A sources=(
  [keyvalue]="update/XKeyValueFile.cpp support/XFile.cpp support/PathKey.cpp support/ErrorText.cpp support/FormatText.cpp"
  [pack]="support/XFile.cpp support/PathKey.cpp support/ErrorText.cpp support/FormatText.cpp"
  [switches]="host/SwitchGrammar.cpp host/SaverWindow.cpp"
  [path]="support/PathUtil.cpp"
  [clipheaders]="playback/clipinfo/ClipHeaders.cpp"
)
# Longest input each target is given: command lines reach 32,000 characters.
declare -A maxlen=([keyvalue]=8192 [pack]=4096 [switches]=33000 [path]=1024 [clipheaders]=16384)
targets=(keyvalue pack switches path clipheaders)
if [ $# -gt 0 ]; then
  targets=("$@")
fi
for t in "${targets[@]}"; do
  [ -n "${sources[$t]:-}" ] || usage
done

# GetProcAddress results are cast by design, as in the program.
flags=(-std=c++17 -g -O1 -Wall -Wextra -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
       -Wno-cast-function-type-mismatch
       -Ifuzz/shim -I. -include fuzz/shim/crt.h)
for t in "${targets[@]}"; do
  bin=$out/${t}_fuzz
  inputs=(fuzz/${t}_fuzz.cpp fuzz/shim/shim.cpp ${sources[$t]})
  # Rebuild only when a source or this script is newer than the target.
  if [ ! -x "$bin" ] || [ -n "$(find "${inputs[@]}" fuzz/shim "$0" -newer "$bin" 2>/dev/null | head -n 1)" ]; then
    clang++ "${flags[@]}" "${inputs[@]}" -o "$bin"
  fi
done
[ "$mode" = build ] && exit 0

limit=(-max_total_time=8)
if [ "$mode" = long ]; then
  limit=(-runs="$runs")
fi

status=0
for t in "${targets[@]}"; do
  # New inputs go to a scratch folder; the committed seeds are only read.
  scratch=$out/corpus-$t
  mkdir -p "$scratch" "$out/artifacts"
  log=$out/$t-$mode.log
  if "$out/${t}_fuzz" "${limit[@]}" -max_len="${maxlen[$t]}" -print_final_stats=1 \
       -artifact_prefix="$out/artifacts/$t-" "$scratch" "fuzz/corpus/$t" >"$log" 2>&1; then
    echo "fuzz $t: $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$') executions," \
      "$(grep -o 'Done [0-9]* runs in [0-9]* second' "$log" | grep -o 'in [0-9]* second' || true)s, no finding"
  else
    echo "fuzz $t: FINDING (see $log and $out/artifacts/)"
    tail -n 40 "$log"
    status=1
  fi
done
exit $status
