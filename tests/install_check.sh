#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks that everything a
# desktop needs lands where the program and the desktop look for it.
set -euo pipefail

build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

status=0
need() {
    if [[ ! -s "$prefix/$1" ]]; then
        echo "missing after install: $1" >&2
        status=1
    fi
}
need bin/rovanta
need bin/rovanta-cli
# The window looks for its help in ../share/rovanta/help beside bin/.
need share/rovanta/help/top.htm
need share/rovanta/help/melody.png
need share/applications/rovanta.desktop
for size in 16 32 48 128; do
    need "share/icons/hicolor/${size}x${size}/apps/rovanta.png"
done
[[ -x "$prefix/bin/rovanta" ]] || { echo "bin/rovanta is not executable" >&2; status=1; }

desktop="$prefix/share/applications/rovanta.desktop"
if [[ -f "$desktop" ]]; then
    grep -qx 'Exec=rovanta %f' "$desktop" || { echo "desktop entry: Exec is not 'rovanta %f'" >&2; status=1; }
    grep -qx 'Icon=rovanta' "$desktop" || { echo "desktop entry: Icon is not rovanta" >&2; status=1; }
    grep -Eq '^MimeType=(.*;)?audio/midi;' "$desktop" || { echo "desktop entry: no audio/midi" >&2; status=1; }
fi
# Every page the help links to is installed with it.
help="$prefix/share/rovanta/help"
while read -r ref; do
    [[ -e "$help/$ref" ]] || { echo "help links to a missing file: $ref" >&2; status=1; }
done < <(grep -Eo '(src|href)="[^":#]+"' "$help/top.htm" | sed -E 's/^(src|href)="//; s/"$//' | sort -u)

# The installed command-line tool runs from its new place.
"$prefix/bin/rovanta-cli" --help >/dev/null
exit $status
