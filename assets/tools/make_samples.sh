#!/usr/bin/env bash
# Draws the sample GIFs shipped in assets/Samples with ImageMagick 6 (`convert`), without
# text so no font or Ghostscript is involved. Run from anywhere:
#   assets/tools/make_samples.sh [output-folder]
# The pictures are chosen to show what the converter does with:
#   Landscape.gif          a still picture
#   Balloon.gif            a picture with transparent pixels
#   BouncingBall.gif       an animation whose small frames sit at offsets on a partly clear
#                          screen and use all three disposal methods: none, background, previous
#   Sunrise1..3.gif        three steps of the same scene, to join into one movie
set -euo pipefail

out="${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../Samples" && pwd)}"
mkdir -p "$out"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# --- Landscape.gif: a still 320x240 -------------------------------------------------------
convert -size 320x240 gradient:'#3d7fd1'-'#cfe9ff' \
    -fill '#fff3b0' -draw 'circle 250,55 250,80' \
    -fill '#ffd84d' -draw 'circle 250,55 250,73' \
    -fill '#8a9bb0' -draw 'polygon 0,170 60,95 110,150 170,80 240,160 290,115 320,140 320,240 0,240' \
    -fill '#ffffff' -draw 'polygon 60,95 48,110 62,106 72,110' \
    -fill '#ffffff' -draw 'polygon 170,80 156,98 172,92 186,99' \
    -fill '#4f9a45' -draw 'polygon 0,190 80,160 160,185 240,165 320,185 320,240 0,240' \
    -fill '#3a7ec4' -draw 'polygon 90,240 130,200 210,200 250,240' \
    -fill '#2e6b2a' -draw 'polygon 30,205 40,170 50,205' \
    -fill '#2e6b2a' -draw 'polygon 50,210 60,178 70,210' \
    -fill '#2e6b2a' -draw 'polygon 268,205 278,172 288,205' \
    -fill '#6b4a2b' -draw 'rectangle 38,205 42,212 rectangle 58,210 62,217 rectangle 276,205 280,212' \
    -colors 96 "$out/Landscape.gif"

# --- Balloon.gif: transparent background ---------------------------------------------------
convert -size 160x200 xc:none \
    -fill '#e5484d' -stroke '#8f1d22' -strokewidth 3 -draw 'ellipse 80,75 55,65 0,360' \
    -stroke none -fill '#ff8a8e' -draw 'ellipse 60,50 12,20 0,360' \
    -fill '#8f1d22' -draw 'polygon 72,138 88,138 80,146' \
    -stroke '#444444' -strokewidth 2 -fill none -draw 'bezier 80,146 70,165 92,178 80,196' \
    "$out/Balloon.gif"

# --- BouncingBall.gif: disposal methods on frames smaller than the screen -----------------
# Screen 240x160. The sky is left clear; only the ground is painted by the first frame.
screen=240x160
# first frame covers the whole screen: clear sky over a ground strip, kept under everything
# (disposal none). The screen's background colour is made the clear colour too, so readers
# that fill the start screen or disposed areas with it show the same picture as those that
# leave them clear.
convert -size 240x160 xc:none -fill '#5aa64f' -draw 'rectangle 0,120 239,159' \
    -fill '#3f8137' -draw 'rectangle 0,120 239,125' "$work/ground.png"
# ball frames: drawn and then cleared back to the (clear) background, so no trail is left
convert -size 28x28 xc:none -fill '#2f80ed' -stroke '#1a4f99' -strokewidth 2 \
    -draw 'circle 14,14 14,2' -stroke none -fill '#bcd8ff' -draw 'circle 10,9 10,6' \
    "$work/ball.png"
# the flag stays once planted (disposal none)
convert -size 30x50 xc:none -fill '#444444' -draw 'rectangle 3,0 5,49' \
    -fill '#ffc53d' -stroke '#b07d00' -strokewidth 1 -draw 'polygon 6,2 28,10 6,18' \
    "$work/flag.png"
# a bird flies over the flag and the ground; each frame restores what was under it
# (disposal previous), which keeps the flag whole
convert -size 24x14 xc:none -stroke '#222222' -strokewidth 3 -fill none \
    -draw 'polyline 1,3 7,10 12,6 17,10 23,3' "$work/bird-up.png"
convert -size 24x14 xc:none -stroke '#222222' -strokewidth 3 -fill none \
    -draw 'polyline 1,10 7,5 12,8 17,5 23,10' "$work/bird-down.png"

frames=(-dispose None -delay 20 -page "$screen+0+0" "$work/ground.png")
# ball bounces along the sky from left to right
ball_x=(10 40 70 100 130 160)
ball_y=(92 40 20 40 92 60)
for i in "${!ball_x[@]}"; do
    frames+=(-dispose Background -delay 10 -page "$screen+${ball_x[$i]}+${ball_y[$i]}"
        "$work/ball.png")
done
frames+=(-dispose None -delay 30 -page "$screen+196+70" "$work/flag.png")
bird_x=(230 200 170 140 110 80 50 20)
for i in "${!bird_x[@]}"; do
    wing="$work/bird-up.png"
    [ $((i % 2)) -eq 1 ] && wing="$work/bird-down.png"
    frames+=(-dispose Previous -delay 12 -page "$screen+$((bird_x[$i] - 20))+$((74 + (i % 2) * 4))"
        "$wing")
done
convert -background none "${frames[@]}" -loop 0 "$out/BouncingBall.gif"

# --- Sunrise1..3.gif: one scene at three moments, all 240x160 -----------------------------
sunrise() { # name sky-top sky-bottom sun-y sun-colour hill-colour
    convert -size 240x160 gradient:"$2"-"$3" \
        -fill "$5" -draw "circle 150,$4 150,$(($4 + 18))" \
        -fill "$6" -draw 'polygon 0,110 50,95 110,112 170,92 240,108 240,160 0,160' \
        -fill '#00000030' -draw 'polygon 0,130 70,118 150,132 240,120 240,160 0,160' \
        -colors 64 "$out/$1"
}
sunrise Sunrise1.gif '#101a3a' '#b0486a' 108 '#ff7a3d' '#1d2b2a'
sunrise Sunrise2.gif '#3a5fa8' '#ffb36b' 82 '#ffb03d' '#2f5a37'
sunrise Sunrise3.gif '#4a9be8' '#d6efff' 40 '#ffe15a' '#4f9a45'

ls -l "$out"
