#pragma once

// The rates the converter accepts, in one place for the converter (-r) and for the
// application, which checks its delay box against them before it starts the converter. Plain
// C++ without any library, so that both can include it.
namespace gif2swf::limits {

// Images per second: an image lasts from 1/255 s to 256 s. A movie's frame rate is stored as
// 8.8 fixed point, so 255 frames per second is the fastest it shows; 1/256 is the slowest
// rate that field holds, and a slower image would only be more frames of 1 per second.
constexpr double kLowestRate = 1.0 / 256;
constexpr double kHighestRate = 255;

constexpr bool rateAccepted(double imagesPerSecond) {
    return imagesPerSecond >= kLowestRate && imagesPerSecond <= kHighestRate;
}

} // namespace gif2swf::limits
