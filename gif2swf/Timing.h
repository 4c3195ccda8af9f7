#pragma once

#include "Limits.h"

#include <cstdint>
#include <optional>
#include <string>

// How long each image shows. The movie has one frame rate, stored as 8.8 fixed point
// (256 = 1 frame per second), so an image lasts a whole number of frames: the rate and the
// frame counts are chosen together so that every image lasts what it should.
namespace gif2swf {

// The largest frame count a movie holds (its header field is 16-bit).
constexpr uint32_t kMaxFrames = limits::kMaxFrames;

// Parses a rate given on the command line: digits with an optional "." and fraction
// ("2", "25", "0.333333333333333"), whatever the locale. No sign, exponent or comma.
std::optional<double> parseRate(const std::string& text);

using FixedRatePlan = limits::FixedRate;

// For -r RATE (images per second), as limits::fixedRate stores it. Throws ConvertError (rate
// too high, rate too low) naming `subject`.
FixedRatePlan planFixedRate(double imagesPerSecond, const std::string& subject);

// A GIF delay as browsers show it: 0 and 1 centisecond mean 10.
uint32_t shownDelay(int delayCentiseconds);

// The frame rate for GIF delays (already passed through shownDelay) whose greatest common
// divisor is given: one frame per divisor, kept at 1 frame per second or more.
uint16_t frameRateForDelays(uint32_t delayDivisor);

// The number of frames closest to a delay at a frame rate (at least 1).
uint32_t framesForDelay(uint32_t delayCentiseconds, uint16_t frameRate);

} // namespace gif2swf
