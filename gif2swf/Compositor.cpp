#include "Compositor.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace gif2swf {

Compositor::Compositor(int width, int height)
    : width_(width), height_(height),
      pixels_(static_cast<size_t>(width) * static_cast<size_t>(height), kStage), changed_{0, 0,
                                                                                          width,
                                                                                          height} {}

void Compositor::addChanged(const Box& area) {
    changed_ = changed_.united(area);
}

Box Compositor::takeChanged() {
    const Box changed = changed_;
    changed_ = Box{};
    return changed;
}

void Compositor::exchanged(const Box& stale, const uint32_t* current) {
    stale_ = stale;
    current_ = current;
}

void Compositor::bringUpToDate(const Box& skip) {
    const Box& stale = stale_;
    for (int y = stale.top; y < stale.bottom && stale.left < stale.right; ++y) {
        const size_t row = static_cast<size_t>(y) * width_;
        // The span left of `skip` and the one right of it (the whole span on other rows).
        const bool skipped = y >= skip.top && y < skip.bottom && skip.left < skip.right;
        const int leftEnd = skipped ? std::min(stale.right, skip.left) : stale.right;
        const int rightStart = skipped ? std::max(stale.left, skip.right) : stale.right;
        if (leftEnd > stale.left) {
            std::memcpy(pixels_.data() + row + stale.left, current_ + row + stale.left,
                        static_cast<size_t>(leftEnd - stale.left) * sizeof(uint32_t));
        }
        if (stale.right > rightStart) {
            std::memcpy(pixels_.data() + row + rightStart, current_ + row + rightStart,
                        static_cast<size_t>(stale.right - rightStart) * sizeof(uint32_t));
        }
    }
    stale_ = Box{};
    current_ = nullptr;
}

void Compositor::beginImage(const GifImage& image) {
    // What the image before drew is forgotten (made when an image first has a transparent
    // colour).
    for (int y = area_.top; y < area_.bottom && !drawn_.empty(); ++y) {
        uint8_t* row = drawn_.data() + static_cast<size_t>(y) * width_;
        std::fill(row + area_.left, row + area_.right, uint8_t{0});
    }
    image_ = image;
    leftTransparent_ = false;
    drewUnchanged_ = false;
    const auto transparent = std::find(image.colours.begin(), image.colours.end(), 0u);
    hasTransparent_ = transparent != image.colours.end();
    if (hasTransparent_ && drawn_.empty()) {
        drawn_.assign(static_cast<size_t>(width_) * static_cast<size_t>(height_), 0);
    }
    transparentIndex_ = static_cast<uint8_t>(transparent - image.colours.begin());
    area_.left = std::min(image.left, width_);
    area_.top = std::min(image.top, height_);
    area_.right = std::min(image.left + image.width, width_);
    area_.bottom = std::min(image.top + image.height, height_);
    addChanged(area_);
    // An image without a transparent colour draws every pixel of its area, and reads none;
    // one disposed of to what was there before saves them first.
    const bool overwrites = !hasTransparent_ && image.disposal != Disposal::Previous;
    bringUpToDate(overwrites ? area_ : Box{});
    // An image wholly outside the screen has an empty area: nothing to save.
    if (image.disposal == Disposal::Previous && area_.right > area_.left &&
        area_.bottom > area_.top) {
        const size_t areaWidth = static_cast<size_t>(area_.right - area_.left);
        saved_.resize(areaWidth * static_cast<size_t>(area_.bottom - area_.top));
        for (int y = area_.top; y < area_.bottom; ++y) {
            std::memcpy(saved_.data() + (y - area_.top) * areaWidth,
                        pixels_.data() + static_cast<size_t>(y) * width_ + area_.left,
                        areaWidth * sizeof(uint32_t));
        }
    }
}

void Compositor::drawRow(int fileRow, const uint8_t* indices) {
    const int imageRow =
        image_.interlaced ? GifReader::interlacedRowY(fileRow, image_.height) : fileRow;
    const int y = image_.top + imageRow;
    if (y >= area_.bottom) {
        return;
    }
    uint32_t* out = pixels_.data() + static_cast<size_t>(y) * width_;
    uint8_t* drawn = drawn_.data() + (drawn_.empty() ? 0 : static_cast<size_t>(y) * width_);
    const uint32_t* colours = image_.colours.data();
    const uint8_t* in = indices - image_.left;
    if (!hasTransparent_) {
        // The bounds in locals: a pixel stored may alias the members, which the loop would
        // otherwise read again after each one.
        const int left = area_.left;
        const int right = area_.right;
        int x = left;
        // Eight at a time: the loop's own steps were half of each pixel's work.
        for (; x + 8 <= right; x += 8) {
            for (int i = 0; i < 8; ++i) {
                out[x + i] = colours[in[x + i]];
            }
        }
        for (; x < right; ++x) {
            out[x] = colours[in[x]];
        }
        return;
    }
    // Transparent pixels (colour 0) leave what is below them; without a branch, which
    // dithered transparency would mispredict.
    bool transparentSeen = false;
    bool unchangedSeen = false; // a pixel drawn in the colour already there
    const auto draw = [&](int from, int to) {
        for (int x = from; x < to; ++x) {
            const uint32_t colour = colours[in[x]];
            const uint32_t below = 0u - static_cast<uint32_t>(colour == 0);
            unchangedSeen |= colour == out[x];
            out[x] = colour | (out[x] & below);
            drawn[x] = static_cast<uint8_t>(colour != 0);
            transparentSeen |= colour == 0;
        }
    };
    int x = area_.left;
#if defined(__SSE2__)
    // Optimising encoders mark what did not change as transparent: sixteen transparent
    // pixels in a row are skipped, others are drawn sixteen at a time.
    const __m128i transparent = _mm_set1_epi8(static_cast<char>(transparentIndex_));
    for (; x + 16 <= area_.right; x += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x));
        const int mask = _mm_movemask_epi8(_mm_cmpeq_epi8(block, transparent));
        if (mask == 0xFFFF) {
            transparentSeen = true;
            continue;
        }
        transparentSeen |= mask != 0;
        // Each pixel is its colour, or where transparent what is below; the colours are looked
        // up one by one, the rest is done four pixels at a time.
        const __m128i isTransparent = _mm_cmpeq_epi8(block, transparent);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(drawn + x),
                         _mm_andnot_si128(isTransparent, _mm_set1_epi8(1)));
        const __m128i words[2] = {_mm_unpacklo_epi8(isTransparent, isTransparent),
                                  _mm_unpackhi_epi8(isTransparent, isTransparent)};
        __m128i unchanged = _mm_setzero_si128();
        for (int quad = 0; quad < 4; ++quad) {
            const int i = x + 4 * quad;
            const __m128i colour = _mm_set_epi32(
                static_cast<int>(colours[in[i + 3]]), static_cast<int>(colours[in[i + 2]]),
                static_cast<int>(colours[in[i + 1]]), static_cast<int>(colours[in[i]]));
            auto* at = reinterpret_cast<__m128i*>(out + i);
            const __m128i below = _mm_loadu_si128(at);
            const __m128i keep = quad % 2 == 0
                                     ? _mm_unpacklo_epi16(words[quad / 2], words[quad / 2])
                                     : _mm_unpackhi_epi16(words[quad / 2], words[quad / 2]);
            unchanged = _mm_or_si128(unchanged, _mm_cmpeq_epi32(colour, below));
            _mm_storeu_si128(
                at, _mm_or_si128(_mm_andnot_si128(keep, colour), _mm_and_si128(keep, below)));
        }
        // A transparent pixel's colour (0) never equals a pixel below.
        unchangedSeen |= _mm_movemask_epi8(unchanged) != 0;
    }
#endif
    draw(x, area_.right);
    leftTransparent_ = leftTransparent_ || transparentSeen;
    drewUnchanged_ = drewUnchanged_ || unchangedSeen;
}

void Compositor::disposeImage() {
    if (area_.right <= area_.left || area_.bottom <= area_.top) {
        return;
    }
    if (image_.disposal == Disposal::Background || image_.disposal == Disposal::Previous) {
        addChanged(area_);
        bringUpToDate(); // the disposal's pixels are newer than the picture handed over
    }
    const size_t areaWidth = static_cast<size_t>(area_.right - area_.left);
    for (int y = area_.top; y < area_.bottom; ++y) {
        uint32_t* row = pixels_.data() + static_cast<size_t>(y) * width_ + area_.left;
        if (image_.disposal == Disposal::Background) {
            std::fill(row, row + areaWidth, kStage);
        } else if (image_.disposal == Disposal::Previous) {
            std::memcpy(row, saved_.data() + (y - area_.top) * areaWidth,
                        areaWidth * sizeof(uint32_t));
        }
    }
}

} // namespace gif2swf
