#include "PatchRow.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace gif2swf {
namespace {

#if defined(__SSE2__)
// Four pixels' 32-bit lanes as four bits, lane 0 lowest.
inline uint64_t laneBits(__m128i lanes) {
    return static_cast<uint64_t>(_mm_movemask_ps(_mm_castsi128_ps(lanes)));
}

// Bits 0..3 of a number as four lanes of all ones or zeros.
inline __m128i bitLanes(uint64_t bits) {
    const __m128i select = _mm_set_epi32(8, 4, 2, 1);
    const __m128i spread = _mm_set1_epi32(static_cast<int>(bits & 0xF));
    return _mm_cmpeq_epi32(_mm_and_si128(spread, select), select);
}
#endif

// Which of `n` (at most 64) pixels from `x` differ from `before` (`changed`), and which
// continue a shown pixel to their left: the same colour as it, or below a shown pixel.
inline void rowMasks(const uint32_t* now, const uint32_t* before, const uint32_t* above, int x,
                     int n, uint64_t& changed, uint64_t& continues) {
    changed = 0;
    continues = 0;
    const auto onePixel = [&](int i) {
        const uint32_t colour = now[x + i];
        changed |= uint64_t{colour != before[x + i]} << i;
        const bool sameAsLeft = x + i > 0 && colour == now[x + i - 1];
        continues |= uint64_t{sameAsLeft || above[x + i] != 0} << i;
    };
    int i = 0;
    if (x == 0) {
        onePixel(0); // it has no left neighbour to load
        i = 1;
    }
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 4 <= n; i += 4) {
        const __m128i colour = _mm_loadu_si128(reinterpret_cast<const __m128i*>(now + x + i));
        const __m128i left = _mm_loadu_si128(reinterpret_cast<const __m128i*>(now + x + i - 1));
        const __m128i was = _mm_loadu_si128(reinterpret_cast<const __m128i*>(before + x + i));
        const __m128i up = _mm_loadu_si128(reinterpret_cast<const __m128i*>(above + x + i));
        changed |= (laneBits(_mm_cmpeq_epi32(colour, was)) ^ 0xF) << i;
        continues |=
            (laneBits(_mm_cmpeq_epi32(colour, left)) | (laneBits(_mm_cmpeq_epi32(up, zero)) ^ 0xF))
            << i;
    }
#endif
    for (; i < n; ++i) {
        onePixel(i);
    }
}

// With gaps filled, whether a pixel is shown depends on the one to its left:
// shown(x) = changed(x) or (shown(x - 1) and continues(x)). That chain is worked out 64
// pixels at a time as the carries of an addition, so the pixel loops have no dependency
// from one pixel to the next and no branches on the pixels.
template <bool FillGaps, bool Estimate>
uint64_t patchRow(const uint32_t* now, const uint32_t* before, const uint32_t* above, bool firstRow,
                  int width, uint32_t* row) {
    uint64_t carry = 0; // whether the pixel before the 64 is shown
    for (int x = 0; x < width; x += 64) {
        const int n = std::min(64, width - x);
        uint64_t shown = 0;
        if (FillGaps) {
            uint64_t changed = 0;
            uint64_t continues = 0;
            rowMasks(now, before, above, x, n, changed, continues);
            // The carries of a + changed + carry with a = changed | continues: a bit carries
            // out where it changed, or where it continues and a carry comes in.
            const uint64_t a = changed | continues;
            const uint64_t sum = a + changed;
            const uint64_t total = sum + carry;
            const uint64_t carryOut = uint64_t{sum < a} | uint64_t{total < sum};
            shown = (total ^ a ^ changed) >> 1 | carryOut << 63;
            carry = shown >> (n - 1) & 1;
        }
        int i = 0;
#if defined(__SSE2__)
        if (FillGaps) {
            for (; i + 4 <= n; i += 4) {
                const __m128i colour =
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(now + x + i));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(row + x + i),
                                 _mm_and_si128(colour, bitLanes(shown >> i)));
            }
        }
#endif
        for (; i < n; ++i) {
            const uint32_t colour = now[x + i];
            const bool show = FillGaps ? (shown >> i & 1) != 0 : colour != before[x + i];
            row[x + i] = show ? colour : 0u;
        }
    }
    return Estimate ? patchRowCost(row, above, firstRow, width) : 0;
}

} // namespace

uint64_t patchRowCost(const uint32_t* row, const uint32_t* above, bool firstRow, int width) {
    // The pixels that repeat neither the one to the left nor the one above.
    uint64_t cost = row[0] != 0 && (firstRow || above[0] != row[0]);
    for (int x = 1; x < width; ++x) {
        cost += static_cast<uint32_t>(row[x] != row[x - 1]) &
                (static_cast<uint32_t>(above[x] != row[x]) | static_cast<uint32_t>(firstRow));
    }
    return cost;
}

uint64_t layPatchRow(const uint32_t* now, const uint32_t* before, const uint32_t* above,
                     bool firstRow, int width, bool fillGaps, bool estimate, uint32_t* row) {
    if (fillGaps) {
        return estimate ? patchRow<true, true>(now, before, above, firstRow, width, row)
                        : patchRow<true, false>(now, before, above, firstRow, width, row);
    }
    return estimate ? patchRow<false, true>(now, before, above, firstRow, width, row)
                    : patchRow<false, false>(now, before, above, firstRow, width, row);
}

uint64_t differingPixels(const uint32_t* now, const uint32_t* before, int from, int to, int& first,
                         int& last) {
    // The first and last blocks with a difference, as the block's start and its lanes that
    // differ; their ends are found once, at the end.
    int firstAt = -1;
    uint64_t firstLanes = 0;
    int lastAt = -1;
    uint64_t lastLanes = 0;
    uint64_t same = 0;
    int x = from;
#if defined(__SSE2__)
    const auto load = [](const uint32_t* at) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    };
    __m128i sameLanes = _mm_setzero_si128(); // counts down by one per equal pixel
    for (; x + 8 <= to; x += 8) {
        const __m128i low = _mm_cmpeq_epi32(load(now + x), load(before + x));
        const __m128i high = _mm_cmpeq_epi32(load(now + x + 4), load(before + x + 4));
        sameLanes = _mm_add_epi32(sameLanes, _mm_add_epi32(low, high));
        const uint64_t differ = (laneBits(low) | laneBits(high) << 4) ^ 0xFF;
        if (differ != 0) {
            if (firstAt < 0) {
                firstAt = x;
                firstLanes = differ;
            }
            lastAt = x;
            lastLanes = differ;
        }
    }
    alignas(16) int32_t counts[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(counts), sameLanes);
    same = static_cast<uint64_t>(-(int64_t{counts[0]} + counts[1] + counts[2] + counts[3]));
#endif
    for (; x < to; ++x) {
        if (now[x] == before[x]) {
            ++same;
        } else {
            if (firstAt < 0) {
                firstAt = x;
                firstLanes = 1;
            }
            lastAt = x;
            lastLanes = 1;
        }
    }
    if (firstAt < 0) {
        return 0;
    }
    // The lowest lane of the first block and the highest of the last (lanes are 8 bits).
    int low = 0;
    while ((firstLanes >> low & 1) == 0) {
        ++low;
    }
    int high = 7;
    while ((lastLanes >> high & 1) == 0) {
        --high;
    }
    first = firstAt + low;
    last = lastAt + high;
    return static_cast<uint64_t>(to - from) - same;
}

} // namespace gif2swf
