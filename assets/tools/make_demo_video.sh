#!/usr/bin/env bash
# Remakes assets/Video/Korvane-demo.mp4: drives the built application on a virtual X server
# (load the samples, look at the options, convert), takes a screenshot after every step and joins
# the screenshots into a short video with ffmpeg.
#   usage: assets/tools/make_demo_video.sh [BUILD_DIR]
# Needs: xvfb, xdotool, imagemagick, ffmpeg (apt-get install xvfb xdotool imagemagick ffmpeg).
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="${1:-$here/build}"
app="$build/app/korvane"
out="$here/assets/Video/Korvane-demo.mp4"
[ -x "$app" ] || { echo "build the application first: $app is missing" >&2; exit 1; }
for tool in Xvfb xdotool import ffmpeg; do
    command -v "$tool" >/dev/null || { echo "$tool is missing" >&2; exit 1; }
done

work="$(mktemp -d)"
display=":$((90 + RANDOM % 100))"
cleanup() {
    kill "${app_pid:-}" "${xvfb_pid:-}" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

Xvfb "$display" -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY="$display"
sleep 1

# A fresh user: private settings and a desktop folder for the movie.
export HOME="$work/home" XDG_CONFIG_HOME="$work/config"
mkdir -p "$HOME/Desktop" "$XDG_CONFIG_HOME"
"$app" >/dev/null 2>&1 &
app_pid=$!
xdotool search --sync --onlyvisible --name '^Korvane$' >/dev/null
sleep 1

# The window is centred on the screen and has no frame without a window manager.
width=575 height=536 # the video is one pixel wider: the encoder wants even sizes
left=$(((1024 - width) / 2)) top=$(((768 - height) / 2))
frame=0
shot() { # shot SECONDS: the screen as it is now, held for that long at 4 frames a second
    local n=$(( $1 * 4 ))
    import -window root "$work/shot.png"
    for _ in $(seq "$n"); do
        cp "$work/shot.png" "$(printf '%s/f%04d.png' "$work" "$frame")"
        frame=$((frame + 1))
    done
}
click() { xdotool mousemove $((left + $1)) $((top + $2)) click 1; sleep 0.6; }

shot 2
click 124 12          # Help menu
shot 1
xdotool key Down Return; sleep 0.8 # the first entry: load the sample files
shot 2                # the question about opening the Samples folder
xdotool key Escape; sleep 0.6      # No
shot 2
click 200 128         # Conversion Options tab
shot 2
click 363 60          # Start Converting
sleep 2
shot 3                # Done.
xdotool key Return; sleep 0.5
shot 2

mkdir -p "$(dirname "$out")"
ffmpeg -loglevel error -y -framerate 4 -i "$work/f%04d.png" \
    -vf "crop=$((width + 1)):$height:$left:$top,format=yuv420p" -c:v libx264 -crf 30 -preset slow \
    -movflags +faststart "$out"
[ -n "${KEEP_FRAMES:-}" ] && cp "$work"/f*.png "$KEEP_FRAMES"/
echo "wrote $out ($(stat -c %s "$out") bytes)"
