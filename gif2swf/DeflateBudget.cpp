#include "DeflateBudget.h"

#include <cstddef>

namespace gif2swf {
namespace {

// More than a quarter over what a bitmap may take: no level within the time brings it within.
bool farOver(double bytes, uint64_t allowance) {
    return bytes * 4 > double(allowance) * 5;
}

} // namespace

DeflateBudget::DeflateBudget(uint64_t paid, uint64_t rawBytes, bool sizeFirst,
                             const Outcome& before) {
    // Bitmaps deflated for size start at libdeflate's level 1 rather than the fast one
    // (igzip's output is a sixth larger), or at 4 where that is cheap. Level 9 only where that
    // takes about a millisecond at most: small bitmaps, and the strips of patches and small
    // first pictures deflated for size. Others go no higher than 6: on a frame of two-colour
    // noise level 9 takes eight times as long for a tenth less, and a movie of them took
    // four times ffmpeg's time. Between the fast level and 6, kMiddle: on the frames of a
    // view panning over a picture, igzip's output is a seventh over the GIF, level 3's a
    // thirtieth under it, in 45 % of level 6's time.
    const bool cheap = rawBytes <= kCheapBytes;
    if (rawBytes <= kSmallBytes || (sizeFirst && cheap)) {
        ladder_ = {4, 6, 9};
    } else if (sizeFirst) {
        ladder_ = {1, 6};
    } else {
        ladder_ = {kFast, kMiddle, 6};
    }
    if (paid == 0) {
        levels_ = {ladder_.front()};
        return;
    }
    const bool spareKnown = before.spare != INT64_MAX && before.spare > 0;
    allowance_ = paid + (spareKnown ? static_cast<uint64_t>(before.spare) : 0);
    // Start where the bitmap before ended, so that a movie whose bitmaps need a higher level
    // deflates each of them once; a step lower where that one at the fast level (as made, or
    // as level 3's bytes and an eighth), for this bitmap's size, would fit within what was
    // paid and this job's share of what the movie spares. Bitmaps that end under what was
    // paid make room for others at the fast level: the frames of a rotating picture, which
    // igzip leaves a twentieth over what the GIF paid and level 3 a tenth under, all went to
    // level 3, and the movie ended at 0.93 of its GIF (now 0.95, a third of them at the fast
    // level). A share, not the whole: the jobs deflated meanwhile were told the same.
    std::size_t start = 0;
    while (before.level >= 0 && start + 1 < ladder_.size() && ladder_[start + 1] <= before.level) {
        ++start;
    }
    if (before.roomy && start > 0) {
        --start;
    }
    if (start > 0 && ladder_.front() == kFast && before.rawBytes != 0) {
        const double fast =
            before.fastBytes != 0 ? double(before.fastBytes) : double(before.bytes) * 9 / 8;
        const double share = spareKnown ? double(before.spare) / kInFlight : 0;
        if (fast * double(rawBytes) / double(before.rawBytes) <= double(paid) + share) {
            start = 0;
        }
    }
    // It did not fit even there: nothing worth the time will fit, so no higher.
    const std::size_t end = before.level >= 0 && !before.within ? start + 1 : ladder_.size();
    levels_.assign(ladder_.begin() + static_cast<std::ptrdiff_t>(start),
                   ladder_.begin() + static_cast<std::ptrdiff_t>(end));
}

std::vector<int> DeflateBudget::levelsAfterFirst(const std::vector<int>& levels, uint64_t size,
                                                 uint64_t allowance) {
    if (levels.size() < 2 || size <= allowance) {
        return {};
    }
    if (levels.front() == kFast && farOver(double(size), allowance)) {
        return {kBeyondReach};
    }
    return {levels.begin() + 1, levels.end()};
}

bool DeflateBudget::worthSampling(const std::vector<int>& levels, uint64_t rawBytes,
                                  uint64_t allowance) {
    return levels.size() > 1 && levels.front() == kFast && rawBytes >= kSampledBytes &&
           allowance != UINT64_MAX;
}

bool DeflateBudget::beyondReach(uint64_t sampleIn, uint64_t sampleOut, uint64_t rawBytes,
                                uint64_t allowance) {
    if (sampleIn == 0) {
        return false;
    }
    // The whole at the fast level, as the sample goes, less an eighth for the sample's error.
    const double whole = double(sampleOut) * double(rawBytes) / double(sampleIn);
    return farOver(whole * 8 / 9, allowance);
}

uint64_t DeflateBudget::fastFromSample(uint64_t sampleIn, uint64_t sampleOut, uint64_t rawBytes) {
    if (sampleIn == 0) {
        return 0;
    }
    return static_cast<uint64_t>(double(sampleOut) * double(rawBytes) / double(sampleIn) * 16 / 17);
}

std::vector<int> DeflateBudget::levelsAbove(int level) const {
    if (level == kBeyondReach) {
        return {}; // the GIF's format won: nothing more is tried
    }
    std::vector<int> above;
    for (int step : ladder_) {
        if (step > level) {
            above.push_back(step);
        }
    }
    return above;
}

} // namespace gif2swf
