#!/usr/bin/env bash
# Fuzzes the movie reader (src/movie) with libFuzzer for a fixed time or number of runs, under
# AddressSanitizer and UndefinedBehaviorSanitizer: reading, drawing frames and playing. A
# developer tool, not part of CI.
#
#   bench/fuzz_movie.sh [SECONDS] [RUNS]      (default 300 s, no limit on runs)
#
# Builds into build-fuzz-movie/ in the work tree; findings land in its artifacts/ folder.
# The seeds are movies the converter in build/app makes (built first when missing).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="$here/build-fuzz-movie"
seconds="${1:-300}"
runs="${2:--1}"

source "$here/bench/fuzz_common.sh"
require_libfuzzer

mkdir -p "$out/corpus" "$out/seeds" "$out/artifacts"
clang++ -std=c++17 -g -O1 -fno-omit-frame-pointer -fPIC \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -DQT_NO_KEYWORDS -I"$here/src" -I"$here/gif2swf" \
    "$here/src/movie/Movie.cpp" "${converter_sources[@]}" "$here/bench/movie/fuzz_movie.cpp" \
    $(pkg-config --cflags --libs Qt6Gui libdeflate zlib) -lgif -pthread -o "$out/fuzz_movie"

# Seeds: the converter's movies of small GIFs of several kinds, and one compressed.
if [ -z "$(ls -A "$out/seeds")" ]; then
    [ -x "$here/build/app/gif2swf" ] || "$here/scripts/build.sh" --target gif2swf >/dev/null
    s="$out/seeds"
    convert -size 7x5 xc:red "$s/still.gif"
    convert -delay 3 -dispose Background -size 9x9 xc:none -fill blue -draw 'rectangle 2,2 5,5' \
        -size 9x9 xc:none -fill red -draw 'rectangle 4,1 8,3' -loop 3 "$s/transparent.gif"
    convert -delay 0 -dispose Previous -size 12x8 xc:green \( -size 4x4 xc:white -repage +3+2 \) \
        \( -size 3x3 xc:black -repage +8+4 \) "$s/previous.gif"
    convert -size 20x4 gradient:red-blue -colors 200 \( -size 20x4 gradient:green-white -colors 200 \
        -repage +0+0 \) -dispose None "$s/colours.gif"
    for g in "$s"/*.gif; do
        "$here/build/app/gif2swf" -o "${g%.gif}.swf" "$g"
        rm "$g"
    done
    python3 -c 'import sys, zlib; d = open(sys.argv[1], "rb").read(); open(sys.argv[2], "wb").write(b"C" + d[1:8] + zlib.compress(d[8:]))' \
        "$s/transparent.swf" "$s/compressed.swf"
fi

cat > "$out/movie.dict" <<'DICT'
"FWS\x08"
"CWS\x08"
"\x3f\x05"
"\x3f\x09"
"\x40\x00"
"\x00\x00"
"\x44\x11\x00\x00\x00\x00"
"\x43\x02"
"\x00\x00"
"\x96"
"playsLeft\x00"
DICT

echo "fuzzing for $seconds s ..."
cd "$out/artifacts"
"$out/fuzz_movie" -max_total_time="$seconds" -runs="$runs" -max_len=65536 -timeout=20 \
    -rss_limit_mb=2048 -print_final_stats=1 -dict="$out/movie.dict" "$out/corpus" "$out/seeds"
