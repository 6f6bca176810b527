#!/usr/bin/env bash
# Takes the window's screenshots on a virtual X server and copies the one
# after start to docs/screenshot.png, the picture the README shows.
#   tools/update-screenshot.sh [BUILD_DIR]   (default: build)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-build}
cd "$root"
cmake --build "$build" --target rovanta_screenshots
ctest --test-dir "$build" -R '^gui_screenshots$' --output-on-failure
cp "$build/screenshots/screenshot-start.png" docs/screenshot.png
echo "docs/screenshot.png updated (the playing one is in $build/screenshots/)."
