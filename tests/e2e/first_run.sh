#!/usr/bin/env bash
# The first thing a new user tries, in the real application on a virtual X server: a fresh
# user (no settings, a Desktop folder) chooses Help > Load Sample Files, answers No, presses
# "Start Converting" and gets a movie on the desktop that an independent SWF parser accepts,
# with every sample's frames on a stage as large as the largest sample.
#   usage: first_run.sh APP_DIR SOURCE_DIR [PROGRAM]
# PROGRAM (default APP_DIR/korvane) is what the user starts, e.g. the command on the search path.
set -euo pipefail

app_dir="$1"
source_dir="$2"
program="${3:-$app_dir/korvane}"
for tool in Xvfb xdotool identify node; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed"
        exit 77
    fi
done

work="$(mktemp -d)"
cleanup() {
    kill "${app_pid:-}" 2>/dev/null || true
    kill "${xvfb_pid:-}" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

display=":$((200 + $$ % 500))"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY="$display"
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

export HOME="$work/home" XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb
mkdir -p "$HOME/Desktop" "$XDG_CONFIG_HOME"
"$program" >"$work/app.log" 2>&1 &
app_pid=$!

window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Korvane$' | head -n 1)
sleep 1
eval "$(xdotool getwindowgeometry --shell "$window")" # X, Y
click() { xdotool mousemove $((X + $1)) $((Y + $2)) click 1; sleep 0.7; }

click 124 12                       # the Help menu
xdotool key Down Return; sleep 1   # its first entry loads the samples and asks a question
xdotool key Escape; sleep 0.7      # No: do not open the Samples folder
click 363 60                       # Start Converting

movie="$HOME/Desktop/output.swf"
for _ in $(seq 100); do [ -s "$movie" ] && break; sleep 0.2; done
if [ ! -s "$movie" ]; then
    echo "FAIL: no movie at $movie"
    cat "$work/app.log"
    exit 1
fi
sleep 0.5
xdotool key Return # closes "Done."

# What the movie must hold, counted from the shipped samples by ImageMagick.
frames=0 width=0 height=0
for gif in "$app_dir"/Samples/*; do
    frames=$((frames + $(identify "$gif" | wc -l)))
    read -r w h < <(identify -format '%W %H\n' "$gif" | head -n 1)
    ((w > width)) && width=$w
    ((h > height)) && height=$h
done
# The delay box starts at "1": one image a second is 256 in the 8.8 fixed-point field.
node "$source_dir/tests/swf-reader/check.mjs" "$movie" width="$width" height="$height" rate=256 \
    frames="$frames"
echo "PASS: $movie holds $frames frames on a ${width}x${height} stage"
