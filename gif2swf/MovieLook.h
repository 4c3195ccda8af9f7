#pragma once

#include <cstdint>

// How a movie looks beyond its pictures: its size and its stage colour, the same for every
// movie of a run.
namespace gif2swf {

constexpr int kMinScalePercent = 10;
constexpr int kMaxScalePercent = 800;
// The most plays a count can ask for (a GIF's looping extension asks for at most 65536).
constexpr uint32_t kMaxPlays = 65536;

struct MovieLook {
    // The stage and every picture are shown at this size, through the placing matrices; the
    // bitmaps keep their own size, so the movie grows only by the matrices' bytes.
    int scalePercent = 100;
    // The stage's colour, 0xRRGGBB, which transparent pixels show: the pictures are composited
    // over it.
    uint32_t background = 0xFFFFFF;
};

} // namespace gif2swf
