#pragma once

#include "ColourRegistry.h"
#include "Fingerprint.h"
#include "SwfTags.h"

#include <cstdint>
#include <functional>
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

    const uint8_t* data() const { return buffer.data() + start; }
    size_t size() const { return buffer.size() - start; }
};

class BitmapEncoder {
public:
    // Pixels are ids of `colours` (which must outlive the encoder).
    explicit BitmapEncoder(const ColourRegistry& colours) : colours_(colours) {}
    // Lays out the uncompressed bitmap of a picture's pixels and returns its fingerprint.
    Fingerprint prepare(const uint32_t* pixels, int width, int height);
    // The same for a picture made row by row: `row(y)` gives row y's pixels, asked for from
    // the top down (and once more from the top when the colours overflow a palette); each
    // stays valid until the next is asked for. A patch so never exists whole.
    using RowSource = std::function<const uint32_t*(int y)>;
    Fingerprint prepare(const RowSource& row, int width, int height);
    // A colour-mapped bitmap written as palette indices (a strip of prepared pictures):
    // startIndexed() makes room, the caller fills each indexRow(), and finishIndexed() gives
    // the palette, the colours of `ids` (at most 256).
    void startIndexed(int width, int height);
    void finishIndexed(const std::vector<uint32_t>& ids);
    // Row `y` of the prepared colour-mapped bitmap's palette indices.
    uint8_t* indexRow(int y);
    const uint8_t* indexRow(int y) const;
    // Whether the prepared bitmap is colour-mapped (had at most 256 colours).
    bool colourMapped() const { return prepared_.format == swf::kColourMapped8; }
    // The colour ids of the prepared colour-mapped bitmap, in its palette's order.
    const std::vector<uint32_t>& paletteIds() const { return paletteIds_; }
    // Hands the prepared bitmap over; `spare` becomes the buffer of the next one.
    PreparedBitmap take(std::vector<uint8_t> spare);

private:
    void layOut(const RowSource& row, int width, int height);
    bool prepareColourMapped(const RowSource& row, int width, int height);
    // Writes the colour table of `palette` (colours) before the rows.
    void writeColourTable(const uint32_t* palette, int count);
    bool mapIds(const RowSource& row, int width, int height, size_t rowBytes, uint32_t* palette);
    void prepareDirect(const RowSource& row, int width, int height);

    PreparedBitmap prepared_;
    const ColourRegistry& colours_;
    // Per colour id: the bitmap's stamp (high 24 bits) and its palette index (low 8).
    std::vector<uint32_t> slotOfId_;
    std::vector<uint32_t> paletteIds_;
    uint32_t stamp_ = 0;
};

// Deflates prepared bitmaps into bitmap tags, at the levels a DeflateBudget gives.
class BitmapCompressor {
public:
    BitmapCompressor() = default;
    ~BitmapCompressor();
    BitmapCompressor(const BitmapCompressor&) = delete;
    BitmapCompressor& operator=(const BitmapCompressor&) = delete;

    // Fills `bitmap` with everything but the character id, its data deflated at each of
    // `levels` in turn (DeflateBudget's) until it is at most `allowance` bytes; keeps the
    // smallest. Returns the level tried last.
    int deflate(const PreparedBitmap& prepared, swf::LosslessBitmap& bitmap,
                const std::vector<int>& levels, uint64_t allowance = UINT64_MAX);
    // Deflates `bitmap`'s data again at each of `levels` while it is over `allowance`;
    // returns the level tried last, or `level` (that of its data) when none was.
    int deflateAgain(const PreparedBitmap& prepared, swf::LosslessBitmap& bitmap, int level,
                     const std::vector<int>& levels, uint64_t allowance);
    // What the last deflate() made of the whole at the fast level; 0 where it did not deflate
    // it there.
    uint64_t fastBytes() const { return fastBytes_; }

private:
    // `size` bytes deflated at `level` into `out`; the fast level is igzip's where the build
    // has it (libdeflate's level 1 otherwise, and for data igzip cannot bound).
    void deflateAt(const uint8_t* data, size_t size, int level, std::vector<uint8_t>& out);
    bool deflateFast(const uint8_t* data, size_t size, std::vector<uint8_t>& out);
    libdeflate_compressor* compressor(int level); // made when first needed
    std::unique_ptr<uint8_t[]> fastWorkspace_;
    libdeflate_compressor* compressors_[13] = {}; // by libdeflate level
    std::vector<uint8_t> again_;
    uint64_t fastBytes_ = 0;
};

} // namespace gif2swf
