#!/usr/bin/env bash
# Takes the windows' screenshots on a virtual X server and copies the ones the
# documentation shows: the main window after start to docs/screenshot.png (the
# README's), the piano roll window after a Load with both reversals on to
# docs/roll-window.png, and Export audio's progress window to
# docs/export-audio.png.
#   tools/update-screenshot.sh [BUILD_DIR]   (default: build)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-build}
cd "$root"
cmake --build "$build" --target rovanta_screenshots
ctest --test-dir "$build" -R '^gui_screenshots$' --output-on-failure
cp "$build/screenshots/screenshot-start.png" docs/screenshot.png
cp "$build/screenshots/roll-window.png" docs/roll-window.png
cp "$build/screenshots/export-audio.png" docs/export-audio.png
echo "docs/screenshot.png, docs/roll-window.png and docs/export-audio.png updated" \
    "(the others are in $build/screenshots/)."
