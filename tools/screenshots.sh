#!/bin/bash
# Takes the README's pictures of the update prompt, the download progress window and the
# About box from the tests that open them (inside in-env.sh), as PNG files in docs/.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/build.sh >/dev/null
source tools/wine-env.sh
shots="$BUILD_DIR/shots"
rm -rf "$shots" && mkdir -p "$shots"
# The tests' own report stays in view: a failed test is why a picture is missing.
LUMASPIRE_SHOT_DIR="Z:$shots" tools/test.sh -R 'update_e2e|about_tests'
shopt -s nullglob
bmps=("$shots"/*.bmp)
if [ ${#bmps[@]} -eq 0 ]; then
  echo "screenshots: the tests kept no picture in $shots" >&2
  exit 1
fi
for bmp in "${bmps[@]}"; do
  ffmpeg -loglevel error -y -i "$bmp" "docs/$(basename "${bmp%.bmp}").png"
  echo "screenshots: docs/$(basename "${bmp%.bmp}").png"
done
