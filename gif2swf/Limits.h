#pragma once

// The rates the converter accepts and the frames a movie holds, in one place for the converter
// (-r) and for the application, which checks its delay box and its list against them before it
// starts the converter. Plain C++ without any library, so that both can include it.
#include <algorithm>
#include <cmath>
#include <cstdint>

namespace gif2swf::limits {

// The largest frame count a movie holds (its header field is 16-bit).
constexpr uint32_t kMaxFrames = 65535;

// Images per second: an image lasts from 1/255 s to 256 s. A movie's frame rate is stored as
// 8.8 fixed point, so 255 frames per second is the fastest it shows; 1/256 is the slowest
// rate that field holds, and a slower image would only be more frames of 1 per second.
constexpr double kLowestRate = 1.0 / 256;
constexpr double kHighestRate = 255;

constexpr bool rateAccepted(double imagesPerSecond) {
    return imagesPerSecond >= kLowestRate && imagesPerSecond <= kHighestRate;
}

// How a fixed rate is stored: each image shows `framesPerImage` frames at `frameRate` (8.8
// fixed point, 256 = 1 frame per second).
struct FixedRate {
    uint16_t frameRate = 0;
    uint32_t framesPerImage = 0; // 0: the rate cannot be stored closely enough
};

// Players show a movie slower than 1 frame per second only after a whole period, so a slow
// rate shows each image for several frames of at least 1 per second. The stored rate is within
// 0.2 % of the exact one (usually exact): the first repeat count whose rate is stored almost
// exactly, otherwise the most exact one up to 60 frames per second.
inline FixedRate fixedRate(double imagesPerSecond) {
    if (!rateAccepted(imagesPerSecond))
        return {};
    const double maxStored = 65535;
    const double minFrames = std::ceil(1 / imagesPerSecond - 1e-9);
    const uint32_t first = static_cast<uint32_t>(std::max(1.0, minFrames));
    FixedRate best;
    double bestError = 1;
    for (uint32_t frames = first; frames <= kMaxFrames; ++frames) {
        const double rate = imagesPerSecond * frames;
        if (frames > first && rate > 60)
            break;
        const double stored = std::round(rate * 256);
        if (stored < 1 || stored > maxStored)
            break;
        const double error = std::fabs(stored / 256 - rate) / rate;
        if (error < bestError) {
            bestError = error;
            best = {static_cast<uint16_t>(stored), frames};
        }
        if (error <= 0.0005)
            break;
    }
    return bestError > 0.002 ? FixedRate{} : best;
}

// The most images a movie holds at a fixed rate; 0 when the rate cannot be stored.
inline uint32_t mostImagesAtRate(double imagesPerSecond) {
    const uint32_t each = fixedRate(imagesPerSecond).framesPerImage;
    return each == 0 ? 0 : kMaxFrames / each;
}

} // namespace gif2swf::limits
