#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Plays a movie the way a player's display list would, for the pixel tests: inflates the
// lossless bitmaps with zlib, follows placements, replacements and removals at every depth,
// and records what each frame shows: the layers composited in depth order (premultiplied
// colours) over the stage's background colour. It reads what the converter writes:
// uncompressed movies, bitmap-filled rectangles placed with a translation and a scale, which
// it follows as players draw a non-smoothed fill: each stage pixel shows the bitmap pixel
// under its centre (nearest neighbour). At 1:1 a placement between pixels is an error, and so
// is a placement on an occupied depth without the move flag (which players ignore).
namespace testswf {

struct Playback {
    int stageWidth = 0; // pixels
    int stageHeight = 0;
    uint16_t frameRate = 0; // 8.8 fixed point
    uint16_t headerFrameCount = 0;
    uint32_t background = 0xFFFFFF; // SetBackgroundColor's, 0xRRGGBB
    std::vector<int> tagCodes;
    int bitmapTags = 0;
    int colourMappedBitmaps = 0;
    int deepestLayer = 0;
    int widestBitmap = 0; // pixels
    // Every frame as the stage shows it, 0xRRGGBB.
    std::vector<std::vector<uint32_t>> frames;
};

// Throws std::runtime_error on anything malformed.
Playback play(const std::vector<uint8_t>& movie);

std::vector<uint8_t> readFile(const std::string& path);

} // namespace testswf
