#pragma once

#include "SwfTags.h"

#include <cstdint>
#include <vector>

struct libdeflate_compressor;

// Turns a composited picture into lossless bitmap data: colour-mapped with a colour table
// when the picture has at most 256 colours (the usual case for a GIF, and about as small as
// the GIF itself), else 32-bit pixels. Pictures with transparent pixels get alpha
// (DefineBitsLossless2, colours premultiplied, transparent written as 0,0,0,0).
namespace gif2swf {

// Identifies a prepared bitmap: equal fingerprints mean equal bitmaps, so a picture that
// shows again reuses the bitmap already in the movie.
struct Fingerprint {
    uint64_t first = 0;
    uint64_t second = 0;
    bool operator==(const Fingerprint& other) const {
        return first == other.first && second == other.second;
    }
};

// The fingerprint of bytes, after a 64-bit prefix (the bitmap's size and format).
Fingerprint keyedFingerprint(const uint8_t* data, size_t size, uint64_t prefix);

struct FingerprintHash {
    size_t operator()(const Fingerprint& f) const { return static_cast<size_t>(f.first); }
};

// The deflate level: 1 is the fastest and 10 % larger than level 6 on index rasters, while
// still smaller than the GIF's own LZW data.
constexpr int kDefaultCompressionLevel = 1;

class BitmapEncoder {
public:
    explicit BitmapEncoder(int compressionLevel = kDefaultCompressionLevel);
    ~BitmapEncoder();
    BitmapEncoder(const BitmapEncoder&) = delete;
    BitmapEncoder& operator=(const BitmapEncoder&) = delete;

    // Lays out the uncompressed bitmap of 0xAARRGGBB pixels and returns its fingerprint.
    Fingerprint prepare(const uint32_t* pixels, int width, int height);
    // Whether the prepared bitmap is colour-mapped (had at most 256 colours).
    bool colourMapped() const { return format_ == swf::kColourMapped8; }
    // Compresses the prepared bitmap into `bitmap` (everything but the character id).
    void compress(swf::LosslessBitmap& bitmap);

    // The uncompressed bitmap data as laid out by prepare: the colour table followed by the
    // rows, each padded to 4 bytes, or the 32-bit pixels.
    const uint8_t* preparedData() const { return buffer_.data() + start_; }
    size_t preparedSize() const { return buffer_.size() - start_; }

private:
    bool prepareColourMapped(const uint32_t* pixels, int width, int height);
    void prepareDirect(const uint32_t* pixels, int width, int height);

    // Small bitmaps (the patches of optimised GIFs, where the GIF's own data is small too)
    // are deflated harder: it costs little time there and takes off about a twentieth.
    static constexpr size_t kSmallBytes = 16 * 1024;
    static constexpr int kSmallLevel = 6;
    libdeflate_compressor* compressor_ = nullptr;
    libdeflate_compressor* smallCompressor_ = nullptr;
    std::vector<uint8_t> buffer_;
    size_t start_ = 0;
    swf::BitmapFormat format_ = swf::kColourMapped8;
    bool hasAlpha_ = false;
    int colourCount_ = 0;
    int width_ = 0;
    int height_ = 0;
};

} // namespace gif2swf
