#include "BitmapEncoder.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>
#include <stdexcept>

namespace gif2swf {
namespace {

constexpr size_t kColourTableRoom = 256 * 4;

// A small open-addressing table from colours to palette indices. Pixels have alpha 0 or
// 255, so a colour with alpha 1 never occurs and marks an empty slot.
class ColourIndex {
public:
    ColourIndex() { std::fill(std::begin(keys_), std::end(keys_), kEmpty); }

    // The colour's palette index, adding it when new; -1 when the palette is full.
    int indexOf(uint32_t colour, uint32_t* palette, int& count) {
        uint32_t slot = (colour * 0x9E3779B1u) >> (32 - kBits);
        for (;;) {
            const uint32_t key = keys_[slot];
            if (key == colour) {
                return values_[slot];
            }
            if (key == kEmpty) {
                if (count == 256) {
                    return -1;
                }
                keys_[slot] = colour;
                values_[slot] = static_cast<uint8_t>(count);
                palette[count] = colour;
                return count++;
            }
            slot = (slot + 1) & (kSlots - 1);
        }
    }

private:
    static constexpr uint32_t kEmpty = 0x01000000u;
    static constexpr int kBits = 10;
    static constexpr uint32_t kSlots = 1u << kBits;
    uint32_t keys_[kSlots];
    uint8_t values_[kSlots];
};

uint64_t load64(const uint8_t* p) {
    uint64_t value;
    std::memcpy(&value, p, 8);
    return value;
}

// Two independent 64-bit multiply-rotate lanes over the data: a 128-bit fingerprint that
// tells apart the pictures of any real movie, at memory speed.
Fingerprint fingerprintOf(const uint8_t* data, size_t size, uint64_t seed) {
    uint64_t a = 0x9E3779B97F4A7C15ull ^ seed;
    uint64_t b = 0xC2B2AE3D27D4EB4Full ^ (seed * 0x165667B19E3779F9ull);
    size_t i = 0;
    auto mix = [](uint64_t h, uint64_t v, uint64_t k) {
        h ^= v * k;
        h = (h << 31) | (h >> 33);
        return h * 0x9E3779B97F4A7C15ull;
    };
    for (; i + 16 <= size; i += 16) {
        a = mix(a, load64(data + i), 0x87C37B91114253D5ull);
        b = mix(b, load64(data + i + 8), 0x4CF5AD432745937Full);
    }
    uint8_t tail[16] = {};
    std::memcpy(tail, data + i, size - i);
    a = mix(a, load64(tail) ^ size, 0x87C37B91114253D5ull);
    b = mix(b, load64(tail + 8) ^ size, 0x4CF5AD432745937Full);
    a ^= a >> 29;
    b ^= b >> 32;
    return {a, b};
}

} // namespace

BitmapEncoder::BitmapEncoder(int compressionLevel) {
    compressor_ = libdeflate_alloc_compressor(compressionLevel);
    if (compressor_ == nullptr) {
        throw std::bad_alloc();
    }
}

BitmapEncoder::~BitmapEncoder() {
    libdeflate_free_compressor(compressor_);
}

bool BitmapEncoder::prepareColourMapped(const uint32_t* pixels, int width, int height) {
    // The rows go after room for the largest colour table; the table is written just before
    // them once its size is known, so nothing is copied.
    const size_t rowBytes = (static_cast<size_t>(width) + 3) & ~size_t{3};
    buffer_.resize(kColourTableRoom + rowBytes * static_cast<size_t>(height));
    uint32_t palette[256];
    int count = 0;
    ColourIndex index;
    for (int y = 0; y < height; ++y) {
        const uint32_t* in = pixels + static_cast<size_t>(y) * width;
        uint8_t* out = buffer_.data() + kColourTableRoom + rowBytes * y;
        for (int x = 0; x < width; ++x) {
            const int found = index.indexOf(in[x], palette, count);
            if (found < 0) {
                return false;
            }
            out[x] = static_cast<uint8_t>(found);
        }
        std::memset(out + width, 0, rowBytes - static_cast<size_t>(width));
    }

    hasAlpha_ = false;
    for (int i = 0; i < count; ++i) {
        hasAlpha_ = hasAlpha_ || (palette[i] >> 24) != 0xFF;
    }
    const size_t entryBytes = hasAlpha_ ? 4 : 3;
    start_ = kColourTableRoom - entryBytes * static_cast<size_t>(count);
    uint8_t* table = buffer_.data() + start_;
    for (int i = 0; i < count; ++i) {
        // Alpha is 0 or 255, so premultiplied colours are the colours themselves, or 0,0,0,0
        // for the transparent one (which the players would otherwise show).
        const uint32_t c = palette[i];
        *table++ = static_cast<uint8_t>(c >> 16);
        *table++ = static_cast<uint8_t>(c >> 8);
        *table++ = static_cast<uint8_t>(c);
        if (hasAlpha_) {
            *table++ = static_cast<uint8_t>(c >> 24);
        }
    }
    colourCount_ = count;
    return true;
}

void BitmapEncoder::prepareDirect(const uint32_t* pixels, int width, int height) {
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    buffer_.resize(count * 4);
    start_ = 0;
    hasAlpha_ = false;
    for (size_t i = 0; i < count; ++i) {
        hasAlpha_ = hasAlpha_ || (pixels[i] >> 24) != 0xFF;
    }
    uint8_t* out = buffer_.data();
    for (size_t i = 0; i < count; ++i) {
        const uint32_t c = pixels[i];
        // With alpha: premultiplied ARGB (0,0,0,0 when transparent); without: a zero
        // reserved byte then RGB.
        *out++ = hasAlpha_ ? static_cast<uint8_t>(c >> 24) : 0;
        *out++ = static_cast<uint8_t>(c >> 16);
        *out++ = static_cast<uint8_t>(c >> 8);
        *out++ = static_cast<uint8_t>(c);
    }
    colourCount_ = 0;
}

Fingerprint BitmapEncoder::prepare(const uint32_t* pixels, int width, int height) {
    if (width <= 0 || height <= 0) {
        throw std::invalid_argument("a bitmap has at least one pixel");
    }
    width_ = width;
    height_ = height;
    format_ = swf::kColourMapped8;
    if (!prepareColourMapped(pixels, width, height)) {
        format_ = swf::kDirect32;
        prepareDirect(pixels, width, height);
    }
    const uint64_t shape = uint64_t(width) << 40 ^ uint64_t(height) << 16 ^
                           uint64_t(colourCount_) << 4 ^ (hasAlpha_ ? 2 : 0) ^
                           (format_ == swf::kDirect32 ? 1 : 0);
    return fingerprintOf(preparedData(), preparedSize(), shape);
}

void BitmapEncoder::compress(swf::LosslessBitmap& bitmap) {
    bitmap.code = hasAlpha_ ? swf::kDefineBitsLossless2 : swf::kDefineBitsLossless;
    bitmap.format = format_;
    bitmap.width = static_cast<uint16_t>(width_);
    bitmap.height = static_cast<uint16_t>(height_);
    bitmap.colourCount = colourCount_;
    const size_t bound = libdeflate_zlib_compress_bound(compressor_, preparedSize());
    bitmap.zlibData.resize(bound);
    const size_t size = libdeflate_zlib_compress(compressor_, preparedData(), preparedSize(),
                                                 bitmap.zlibData.data(), bound);
    if (size == 0) {
        throw std::runtime_error("deflate output exceeded its bound");
    }
    bitmap.zlibData.resize(size);
}

} // namespace gif2swf
