#pragma once

#include "ColourRegistry.h"
#include "Fingerprint.h"
#include "SwfTags.h"

#include <cstdint>
#include <iterator>
#include <memory>
#include <vector>

struct libdeflate_compressor;

// Turns a composited picture (ids of a ColourRegistry's colours) into lossless bitmap data:
// colour-mapped with a colour table
// when the picture has at most 256 colours (the usual case for a GIF, and about as small as
// the GIF itself), else 32-bit pixels. Pictures with transparent pixels get alpha
// (DefineBitsLossless2, colours premultiplied, transparent written as 0,0,0,0).
namespace gif2swf {

// The deflate level: 1 is the fastest, and a little larger than level 6 on index rasters
// while still smaller than the GIF's own LZW data (README.md has the figures).
constexpr int kDefaultCompressionLevel = 1;

// A bitmap laid out for deflating: the colour table followed by the rows, each padded to 4
// bytes, or the 32-bit pixels. It is a value of its own so that another thread can deflate
// it while the next one is laid out.
struct PreparedBitmap {
    std::vector<uint8_t> buffer;
    size_t start = 0; // where the data begins in `buffer`
    swf::BitmapFormat format = swf::kColourMapped8;
    bool hasAlpha = false;
    int colourCount = 0;
    int width = 0;
    int height = 0;
    // Deflated for size rather than speed (see BitmapCompressor).
    bool sizeFirst = false;

    const uint8_t* data() const { return buffer.data() + start; }
    size_t size() const { return buffer.size() - start; }
};

class BitmapEncoder {
public:
    // Pixels are ids of `colours` (which must outlive the encoder).
    explicit BitmapEncoder(const ColourRegistry& colours) : colours_(colours) {}
    // Lays out the uncompressed bitmap of a picture's pixels and returns its fingerprint.
    Fingerprint prepare(const uint32_t* pixels, int width, int height);
    // Whether the prepared bitmap is colour-mapped (had at most 256 colours).
    bool colourMapped() const { return prepared_.format == swf::kColourMapped8; }
    // Hands the prepared bitmap over; `spare` becomes the buffer of the next one.
    PreparedBitmap take(std::vector<uint8_t> spare);

private:
    bool prepareColourMapped(const uint32_t* pixels, int width, int height);
    bool mapIds(const uint32_t* pixels, int width, int height, size_t rowBytes, uint32_t* palette,
                int& count);
    void prepareDirect(const uint32_t* pixels, int width, int height);

    PreparedBitmap prepared_;
    const ColourRegistry& colours_;
    // Per colour id: the bitmap's stamp (high 24 bits) and its palette index (low 8).
    std::vector<uint32_t> slotOfId_;
    uint32_t stamp_ = 0;
};

// Deflates prepared bitmaps into bitmap tags.
class BitmapCompressor {
public:
    explicit BitmapCompressor(int compressionLevel = kDefaultCompressionLevel);
    ~BitmapCompressor();
    BitmapCompressor(const BitmapCompressor&) = delete;
    BitmapCompressor& operator=(const BitmapCompressor&) = delete;

    // Fills `bitmap` with everything but the character id; returns the libdeflate level of
    // its data (0: igzip's fast level).
    int compress(const PreparedBitmap& prepared, swf::LosslessBitmap& bitmap);
    // Where `bitmap`'s data (deflated at `level`) is more than `budget` bytes, deflates
    // `prepared` again at libdeflate's higher levels, one after another (2, 6, 10, 12, none above
    // `maxLevel`) until it fits; keeps the smallest and returns the level tried last.
    int deflateWithin(const PreparedBitmap& prepared, swf::LosslessBitmap& bitmap, uint64_t budget,
                      int level, int maxLevel = 12);

    // Small bitmaps (the patches of optimised GIFs, where the GIF's own data is small too)
    // are deflated harder, at level 4 (level 6 made deflating the sprite animations'
    // bottleneck; README.md has the figures).
    static constexpr size_t kSmallBytes = 16 * 1024;
    static constexpr int kSmallLevel = 4;

private:
    // Larger bitmaps at level 1 go through ISA-L's igzip (level 1) where the build has it,
    // unless they are `sizeFirst`: on the bench's animations it deflates several times as
    // fast as libdeflate's level 1, for somewhat larger output (README.md has the figures).
    bool deflateFast(const PreparedBitmap& prepared, std::vector<uint8_t>& out);
    std::unique_ptr<uint8_t[]> fastWorkspace_;
    int compressionLevel_;
    libdeflate_compressor* compressor_ = nullptr;
    libdeflate_compressor* smallCompressor_ = nullptr;
    static constexpr int kHarderLevels[] = {2, 6, 10, 12};
    libdeflate_compressor* harder(size_t step); // kHarderLevels[step]'s compressor
    libdeflate_compressor* harderCompressors_[std::size(kHarderLevels)] = {}; // made when needed
    std::vector<uint8_t> again_;
};

} // namespace gif2swf
