#!/usr/bin/env bash
# Many small GIFs, a movie each: one converter process per file against one `gif2swf --each`
# for all of them, taking turns, in one run. Prints the wall and processor time of each way.
#
#   bench/each.sh [CONVERTER] [COUNT] [ROUNDS] [KIND]   (build/app/gif2swf, 1000, 3, plasma)
#
# The GIFs are 320x240 stills, ten different pictures: KIND plasma (ImageMagick's plasma in
# 256 colours, about 53 kB) or gradient (16 colours, about 10 kB).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
converter="${1:-$here/build/app/gif2swf}"
count="${2:-1000}"
rounds="${3:-3}"
kind="${4:-plasma}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

mkdir "$work/in" "$work/out"
for i in $(seq 0 9); do
    if [ "$kind" = gradient ]; then
        convert -size 320x240 "gradient:rgb($((i * 25)),0,0)-rgb(0,0,255)" -colors 16 "$work/still$i.gif"
    else
        convert -seed "$i" -size 320x240 plasma: -colors 256 "$work/still$i.gif"
    fi
done
for i in $(seq 0 $((count - 1))); do
    cp "$work/still$((i % 10)).gif" "$work/in/$i.gif"
done
find "$work/in" -name '*.gif' -print0 | sort -z >"$work/inputs.list"
echo "$count GIFs of $(stat -c %s "$work/still0.gif") bytes or so, 320x240, $rounds rounds"

# Prints "wall S cpu S" for the command.
measure() {
    local start end
    start=$(date +%s.%N)
    local times
    times=$( { /usr/bin/time -f '%U %S' "$@" >/dev/null; } 2>&1 | tail -1)
    end=$(date +%s.%N)
    awk -v s="$start" -v e="$end" -v t="$times" \
        'BEGIN { split(t, c, " "); printf "wall %.2f s  cpu %.2f s\n", e - s, c[1] + c[2] }'
}

for round in $(seq 1 "$rounds"); do
    rm -f "$work/out"/*
    echo "round $round: a process per file: $(measure xargs -0 -n 1 -a "$work/inputs.list" "$converter" --each -d "$work/out")"
    rm -f "$work/out"/*
    echo "round $round: one --each:         $(measure "$converter" --each -d "$work/out" -l "$work/inputs.list")"
done
echo "movies: $(ls "$work/out" | wc -l)"
