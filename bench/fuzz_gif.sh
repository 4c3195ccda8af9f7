#!/usr/bin/env bash
# Fuzzes the whole conversion with libFuzzer for a fixed time, under AddressSanitizer and
# UndefinedBehaviorSanitizer, or with --threads under ThreadSanitizer with every input made
# on the threads, or with --files through real files: the input read from a file that is
# changed between the two passes, the movie written through OutputFile (see fuzz_gif.cpp).
# The build has the test-only hooks, so half the inputs (all with --threads) go through
# hand-offs of one or two items and meet every wait of the threaded path; it links ISA-L
# where the system has it, as the product does. A developer tool, not part of CI.
#
#   bench/fuzz_gif.sh [--threads | --files] [SECONDS]      (default 300)
#
# Builds into build-fuzz/ (build-fuzz-tsan/, build-fuzz-files/) in the work tree; findings
# land in its artifacts/ folder. Inputs go up to 256 KiB, and the seeds hold large pictures
# (a 2048x1536 still, a 1024x1024 interlaced gradient, an 800x600 animation), so the tiles
# and the large-bitmap paths are reached.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
sanitizers=(-fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)
out="$here/build-fuzz"
# Seconds an input may take before it counts as a stall; ThreadSanitizer runs several times
# slower, and a screen-sized input through the smallest hand-offs takes seconds there.
timeout=20
if [ "${1:-}" = "--threads" ]; then
    shift
    sanitizers=(-fsanitize=fuzzer,thread -DGIF2SWF_FUZZ_THREADS)
    out="$here/build-fuzz-tsan"
    timeout=120
elif [ "${1:-}" = "--files" ]; then
    shift
    sanitizers+=(-DGIF2SWF_FUZZ_FILES)
    out="$here/build-fuzz-files"
fi
seconds="${1:-300}"

source "$here/bench/fuzz_common.sh"
require_libfuzzer

mkdir -p "$out/corpus" "$out/seeds" "$out/artifacts"
isal=()
if [ -f /usr/include/isa-l/igzip_lib.h ]; then
    isal=(-DGIF2SWF_HAVE_ISAL -lisal)
fi
clang++ -std=c++17 -g -O1 -fno-omit-frame-pointer "${sanitizers[@]}" -DGIF2SWF_TEST_HOOKS \
    -I"$here/gif2swf" "${converter_sources[@]}" "$here/bench/gif2swf/fuzz_gif.cpp" \
    $(pkg-config --cflags --libs libdeflate) -lgif "${isal[@]}" -pthread -o "$out/fuzz_gif"

# Seeds: GIFs of every kind the converter handles, made with ImageMagick, and large pictures.
seed() { [ -e "$out/seeds/$1" ] || convert "${@:2}" "$out/seeds/$1"; }
if command -v convert >/dev/null 2>&1 && [ -z "$(ls -A "$out/seeds")" ]; then
    s="$out/seeds"
    convert -size 7x5 xc:red "$s/still.gif"
    convert -size 16x12 gradient:blue-yellow -colors 32 -interlace GIF "$s/interlaced.gif"
    convert -delay 3 -dispose Background -size 9x9 xc:none -fill blue -draw 'rectangle 2,2 5,5' \
        -size 9x9 xc:none -fill red -draw 'rectangle 4,1 8,3' -loop 0 "$s/transparent.gif"
    convert -delay 0 -dispose Previous -size 12x8 xc:green \( -size 4x4 xc:white -repage +3+2 \) \
        \( -size 3x3 xc:black -repage +8+4 \) "$s/previous.gif"
    convert -size 20x4 gradient:red-blue -colors 200 \( -size 20x4 gradient:green-white -colors 200 \
        -repage +0+0 \) -dispose None "$s/local-tables.gif"
fi
if command -v convert >/dev/null 2>&1; then
    seed large-still.gif -size 2048x1536 xc:navy -fill yellow -draw 'circle 1024,768 1024,1200' \
        -fill red -draw 'rectangle 100,100 600,400' -colors 4
    seed large-interlaced.gif -size 1024x1024 gradient:black-white -colors 8 -interlace GIF
    seed large-animation.gif -delay 5 -dispose None -size 800x600 xc:white \
        \( -size 40x40 xc:blue -repage +100+100 \) \( -size 40x40 xc:green -repage +300+200 \) \
        \( -size 800x600 xc:gray -fill black -draw 'line 0,0 799,599' \) -loop 0
fi

cat > "$out/gif.dict" <<'DICT'
"GIF89a"
"GIF87a"
"\x21\xF9\x04"
"\x21\xFF\x0BNETSCAPE2.0"
"\x21\xFE"
"\x2C\x00\x00\x00\x00"
"\x3B"
"\x00\x3B"
DICT

# libFuzzer's coverage counters are globals that every thread bumps without a lock; they end
# the binary's data ('__TMC_END__'), and their races are the fuzzer's, not the converter's.
printf 'race:__TMC_END__\nrace:__sancov_cntrs\n' > "$out/tsan.supp"
export TSAN_OPTIONS="suppressions=$out/tsan.supp ${TSAN_OPTIONS:-}"
# The files mode's input and movie live here.
mkdir -p "$out/files"
export GIF2SWF_FUZZ_FOLDER="$out/files"
echo "fuzzing for $seconds s ..."
cd "$out/artifacts"
"$out/fuzz_gif" -max_total_time="$seconds" -max_len=262144 -timeout="$timeout" -rss_limit_mb=2048 \
    -print_final_stats=1 -dict="$out/gif.dict" "$out/corpus" "$out/seeds"
