#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

// A rectangle of pixels: left and top inclusive, right and bottom exclusive. Empty when it
// has no pixels (then only area() and united() look at it).
namespace gif2swf {

struct Box {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    uint64_t area() const {
        return right > left && bottom > top ? uint64_t(right - left) * uint64_t(bottom - top) : 0;
    }
    // The smallest box holding both.
    Box united(const Box& other) const {
        if (other.area() == 0) {
            return *this;
        }
        if (area() == 0) {
            return other;
        }
        return {std::min(left, other.left), std::min(top, other.top), std::max(right, other.right),
                std::max(bottom, other.bottom)};
    }
    // The part inside a picture `width` x `height`.
    Box clipped(int width, int height) const {
        return {std::max(left, 0), std::max(top, 0), std::min(right, width),
                std::min(bottom, height)};
    }
};

// The pixels the last GIF image drew (not transparent in it): a byte per pixel of `area`,
// 1 where drawn, rows `stride` bytes apart. A patch shows them even where their colour did
// not change, as the GIF image did: encoders keep such pixels opaque where that codes
// better (ImageMagick's optimised GIFs hold a third of them), and a patch that made them
// transparent would break up the runs deflate finds.
struct DrawnPixels {
    const uint8_t* mask = nullptr;
    size_t stride = 0;
    Box area;
    // Some of its pixels are transparent: its encoder chose which to draw.
    bool leftTransparent = false;
    // No mask: it drew every pixel of `area` (an image without a transparent colour).
    bool whole = false;
    // Whether it says what was drawn; else the picture is patched from what changed alone.
    bool known() const { return mask != nullptr || whole; }
};

} // namespace gif2swf
