#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes GIF files with giflib's encoder for the tests: every feature a converter must get
// right (transparency, disposal, interlacing, local colour tables, offsets) on demand.
namespace testgif {

struct Rgb {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
};

struct Frame {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> indices;  // width * height, top row first
    std::vector<Rgb> localColours; // empty: the global table
    bool interlaced = false;
    bool control = true; // write a graphic control block
    int disposal = 0;    // 0 unspecified, 1 none, 2 background, 3 previous
    int delay = 10;      // centiseconds
    int transparent = -1;
};

struct Gif {
    int width = 0;
    int height = 0;
    std::vector<Rgb> globalColours; // empty: none
    int background = 0;
    std::vector<Frame> frames;
    int loopCount = -1; // the looping extension's count; -1: none
};

// Throws std::runtime_error when giflib fails.
void writeGif(const std::string& path, const Gif& gif);

// A palette of n distinct colours (n <= 256 * 256), seeded so different seeds differ.
std::vector<Rgb> palette(int n, int seed = 0);

// A frame filled with a pattern of indices below `colours`, reproducible from its seed.
Frame patternFrame(int left, int top, int width, int height, int colours, int seed);

// A fire as the old demos drew it, every frame whole, in `colours` colours (at most 256),
// noisy where it burns.
Gif flame(int width, int height, int frames, int colours = 16);

// Conway's game of life from a random board with `alivePer256` of its cells alive, in two
// colours, every frame whole: a GIF whose LZW deflate barely matches (a third of the cells
// alive: not at all, even at deflate's slowest level).
Gif life(int width, int height, int frames, int alivePer256);

} // namespace testgif
