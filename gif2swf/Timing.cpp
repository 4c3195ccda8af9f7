#include "Timing.h"

#include "Errors.h"
#include "Limits.h"

#include <charconv>
#include <cmath>

namespace gif2swf {

std::optional<double> parseRate(const std::string& text) {
    bool digits = false;
    bool point = false;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            digits = true;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return std::nullopt;
        }
    }
    if (!digits) {
        return std::nullopt;
    }
    double value = 0;
    const auto result =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() ||
        !std::isfinite(value) || value <= 0) {
        return std::nullopt;
    }
    return value;
}

FixedRatePlan planFixedRate(double imagesPerSecond, const std::string& subject) {
    if (!limits::rateAccepted(imagesPerSecond)) {
        throw ConvertError(imagesPerSecond < limits::kLowestRate ? Error::RateTooLow
                                                                 : Error::RateTooHigh,
                           subject);
    }
    const FixedRatePlan fixed = limits::fixedRate(imagesPerSecond);
    if (fixed.framesPerImage == 0) {
        throw ConvertError(imagesPerSecond < 1 ? Error::RateTooLow : Error::RateTooHigh, subject);
    }
    return fixed;
}

uint32_t shownDelay(int delayCentiseconds) {
    return delayCentiseconds <= 1 ? 10u : static_cast<uint32_t>(delayCentiseconds);
}

uint16_t frameRateForDelays(uint32_t delayDivisor) {
    // The largest divisor of the common divisor that is at most 100 centiseconds.
    uint32_t step = std::max(delayDivisor, 1u);
    for (uint32_t d = std::min(step, 100u); d >= 1; --d) {
        if (step % d == 0) {
            step = d;
            break;
        }
    }
    // 100/step frames per second in 8.8 fixed point; exact when step divides 25600.
    return static_cast<uint16_t>(std::lround(25600.0 / step));
}

uint32_t framesForDelay(uint32_t delayCentiseconds, uint16_t frameRate) {
    const double frames = std::round(delayCentiseconds / 100.0 * frameRate / 256.0);
    return frames < 1 ? 1u : static_cast<uint32_t>(std::min(frames, 4294967295.0));
}

} // namespace gif2swf
