#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Plays a movie the way a player's display list would, for the pixel tests: inflates the
// lossless bitmaps with zlib, un-premultiplies their colours, follows the placements at
// depth 1 and records what each frame shows over the white stage. It reads only what the
// converter writes (uncompressed movies, bitmap-filled rectangles).
namespace testswf {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> rgb; // 0xRRGGBB over white
};

struct Playback {
    int stageWidth = 0; // pixels
    int stageHeight = 0;
    uint16_t frameRate = 0; // 8.8 fixed point
    uint16_t headerFrameCount = 0;
    std::vector<int> tagCodes;
    int bitmapTags = 0;
    int colourMappedBitmaps = 0;
    // The shape shown by every frame, and the stage-sized pictures by shape.
    std::vector<uint16_t> frameShapes;
    std::map<uint16_t, Picture> shapePictures;

    const Picture& frame(size_t index) const { return shapePictures.at(frameShapes.at(index)); }
};

// Throws std::runtime_error on anything malformed.
Playback play(const std::vector<uint8_t>& movie);

std::vector<uint8_t> readFile(const std::string& path);

} // namespace testswf
