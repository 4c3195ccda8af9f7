#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// How hard a bitmap is deflated, decided here alone: from what the GIF paid for the pictures
// it shows, its size, and how the bitmaps before it came out. The movie is meant to be at
// most the GIF's size at the fast level, because it holds what the GIF held (patches with
// what did not change transparent, small pictures sharing one colour table); a higher level
// is the exception, tried only where a bitmap is over what it may take, and bounded: large
// bitmaps go no higher than level 6, and a movie whose bitmaps did not fit even there (two-
// colour noise, which GIF's LZW codes better than deflate can) stops trying lower levels
// first. The deflater, the workers and the writer only follow what it says.
namespace gif2swf {

class DeflateBudget {
public:
    // The build's fastest deflate: ISA-L's igzip (its level 1) where the build has it, else
    // libdeflate's level 1. Other levels are libdeflate's.
    static constexpr int kFast = 0;
    // The level a large bitmap over what it may take at the fast level tries next.
    static constexpr int kMiddle = 3;
    // Bitmaps of at most kSmallBytes start at level 4: libdeflate's fixed cost per call is
    // much of their time, and igzip gains nothing there. Bitmaps of at most kCheapBytes go
    // up to level 9, where that takes a few milliseconds.
    static constexpr uint64_t kSmallBytes = 16 * 1024;
    static constexpr uint64_t kCheapBytes = 66 * 1024; // a strip and its colour table

    // How an earlier bitmap came out (the movie stood so after it).
    struct Outcome {
        // What the movie had to spare below what was paid, beyond a margin kept for later
        // pictures; INT64_MAX: not known yet.
        int64_t spare = INT64_MAX;
        int level = -1;     // the level it ended at; -1: not known
        bool within = true; // it ended within what it might take
        bool roomy = false; // with an eighth of that to spare, or more
        // Its size deflated, at the fast level where it was deflated there (0: not), and
        // uncompressed (0: not known): whether the bitmap now would fit at the fast level.
        uint64_t bytes = 0;
        uint64_t fastBytes = 0;
        uint64_t rawBytes = 0;
    };
    // The jobs that may spend what one outcome spares: each job is handed the outcome of the
    // job this many before it, and the jobs in between are deflated meanwhile.
    static constexpr uint64_t kInFlight = 16;

    // A bitmap of `rawBytes` uncompressed, for which the GIFs paid `paid` bytes beyond its
    // tags (0: no bound); `sizeFirst`: it holds much of the GIF's bytes in few pixels (the
    // first picture, which in an optimised GIF is most of the file; a strip of patches).
    DeflateBudget(uint64_t paid, uint64_t rawBytes, bool sizeFirst, const Outcome& before);

    // The levels to try, in order: deflate at the first, and at the next while the data is
    // over allowance(); keep the smallest.
    const std::vector<int>& levels() const { return levels_; }
    // The levels above `level` that remain, for a bitmap that the movie as a whole cannot
    // afford at `level` (the writer's check, which knows the movie exactly).
    std::vector<int> levelsAbove(int level) const;
    // The levels still to try after the first of `levels` made `size` bytes of a bitmap that
    // may take `allowance`: the others, or, where the fast level left it more than a quarter
    // over, kBeyondReach alone. No level within the time brings such a bitmap within what the
    // GIF paid (two-colour noise, whose LZW beats deflate: level 6 takes a sixth off, for
    // three times the fast level's time); level 5 still takes a seventh off at two thirds of
    // level 6's time, and the movie is warned of.
    static std::vector<int> levelsAfterFirst(const std::vector<int>& levels, uint64_t size,
                                             uint64_t allowance);
    static constexpr int kBeyondReach = 5;
    // Whether a bitmap about to be deflated at `levels` is large enough that its first eighth,
    // deflated at the fast level, should tell first whether it is beyond reach (which spares
    // the fast deflate of the whole: on two-colour noise a tenth of the movie's work).
    static bool worthSampling(const std::vector<int>& levels, uint64_t rawBytes,
                              uint64_t allowance);
    // Whether `sampleIn` bytes of a bitmap of `rawBytes` that deflated to `sampleOut` at the
    // fast level put the whole more than a quarter over `allowance`, with an eighth to spare
    // for the sample's error.
    static bool beyondReach(uint64_t sampleIn, uint64_t sampleOut, uint64_t rawBytes,
                            uint64_t allowance);
    // What such a sample says of the whole at the fast level, less a seventeenth for its
    // error. Where levelsAfterFirst() of that leaves levels to try, they are tried without
    // the fast deflate of the whole, which would only be thrown away (on the strips of a
    // cellular automaton, whose first eighth tells the whole within a seventieth, a sixth of
    // the movie's work).
    static uint64_t fastFromSample(uint64_t sampleIn, uint64_t sampleOut, uint64_t rawBytes);
    static constexpr uint64_t kSampledBytes = 256 * 1024;
    // What the deflated data may take: what was paid, and what the movie has to spare.
    uint64_t allowance() const { return allowance_; }
    // Whether ending at `level` means the bitmap needed more than the first level a bitmap
    // of its size gets (what the bench counts).
    bool harder(int level) const { return level != ladder_.front(); }

private:
    std::vector<int> ladder_; // every level for a bitmap of this size, fastest first
    std::vector<int> levels_;
    uint64_t allowance_ = UINT64_MAX;
};

} // namespace gif2swf
