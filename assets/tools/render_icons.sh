#!/usr/bin/env bash
# Renders assets/icons/korvane.svg to korvane.png (256x256) for the desktop entry, using Qt's own
# SVG renderer so the picture matches what the application draws.
#   render_icons.sh              rewrite assets/icons/korvane.png
#   render_icons.sh --preview D  also render every icon at 1x and 4x into folder D, with
#                                contact sheets (sheet-*.png) for checking the artwork by eye
set -euo pipefail

icons="$(cd "$(dirname "${BASH_SOURCE[0]}")/../icons" && pwd)"
tools="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
preview=""
if [ "${1:-}" = "--preview" ]; then
    preview="${2:?--preview needs a folder}"
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
g++ -std=c++17 -fPIC -O1 -Wall -Wextra "$tools/svg2png.cpp" \
    $(pkg-config --cflags --libs Qt6Svg Qt6Gui) -o "$work/svg2png"
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$work}"

"$work/svg2png" 256 "$icons/korvane.svg" "$icons/korvane.png"
echo "wrote $icons/korvane.png"

if [ -n "$preview" ]; then
    mkdir -p "$preview"
    cd "$icons"
    for svg in 10*.svg; do
        "$work/svg2png" 48 "$svg" "$preview/${svg%.svg}-1x.png"
        "$work/svg2png" 192 "$svg" "$preview/${svg%.svg}-4x.png"
    done
    for svg in 20*.svg; do
        "$work/svg2png" 16 "$svg" "$preview/${svg%.svg}-1x.png"
        "$work/svg2png" 64 "$svg" "$preview/${svg%.svg}-4x.png"
    done
    for size in 16 24 32 48 64 128 256; do
        "$work/svg2png" "$size" korvane.svg "$preview/korvane-$size.png"
    done
    cd "$preview"
    # The 1x sheets are blown up without smoothing so every pixel can be judged.
    montage -background '#f0f0f0' -geometry +4+4 -tile 4x 10*-1x.png png:- |
        convert - -filter point -resize 400% sheet-toolbar-1x.png
    montage -background '#f0f0f0' -geometry +4+4 -tile 6x 20*-1x.png png:- |
        convert - -filter point -resize 600% sheet-menu-1x.png
    montage -background '#303030' -geometry +4+4 -tile 6x 20*-1x.png png:- |
        convert - -filter point -resize 600% sheet-menu-1x-dark.png
    montage -background '#f0f0f0' -geometry +4+4 -tile 4x 10*-4x.png sheet-toolbar-4x.png
    montage -background '#f0f0f0' -geometry +4+4 -tile 6x 20*-4x.png sheet-menu-4x.png
    montage -background '#f0f0f0' -geometry +4+4 -gravity center -tile x1 \
        korvane-16.png korvane-24.png korvane-32.png korvane-48.png korvane-64.png \
        korvane-128.png korvane-256.png sheet-app.png
    echo "previews in $preview"
fi
