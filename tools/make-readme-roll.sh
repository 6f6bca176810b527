#!/usr/bin/env bash
# Draws the piano roll the README shows, with `rovanta-cli roll`: a bundled
# song (tests/data, four channels and drums) above, and below what Horizontal
# and Vertical Reverse together make of it.
#   tools/make-readme-roll.sh [BUILD_DIR]   (default: build)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-build}
cd "$root"
cmake --build "$build" --target rovanta-cli
"$build/cli/rovanta-cli" roll -H -V tests/data/pianobooster--02-ChordOfCMajor.mid \
    -o docs/roll.png --size 1000x500
echo "docs/roll.png updated."
