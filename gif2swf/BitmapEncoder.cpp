#include "BitmapEncoder.h"

#include "DeflateBudget.h"

#include <libdeflate.h>
#if defined(GIF2SWF_HAVE_ISAL)
#include <isa-l/igzip_lib.h>
#endif

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <stdexcept>

namespace gif2swf {
namespace {

constexpr size_t kColourTableRoom = 256 * 4;

// A colour-mapped bitmap's rows are padded to 4 bytes.
size_t paddedRowBytes(int width) {
    return (static_cast<size_t>(width) + 3) & ~size_t{3};
}
#if defined(GIF2SWF_HAVE_ISAL)
constexpr uint32_t kFastWorkspaceBytes = ISAL_DEF_LVL1_DEFAULT;
#endif

} // namespace

bool BitmapCompressor::deflateFast(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
#if defined(GIF2SWF_HAVE_ISAL)
    if (size > UINT32_MAX / 2) {
        return false;
    }
    // Made when first needed: movies whose large bitmaps are all first picture never touch it.
    // The stream (82 KB) is zeroed at every call: the init leaves some fields as they were,
    // and what the bitmap before left there changed the bytes by which worker deflated which
    // bitmap (one bitmap in about 170 runs of ffmpeg's 300-frame GIF under load; none in 720
    // with the stream zeroed each time).
    if (!fastWorkspace_) {
        fastWorkspace_.reset(new uint8_t[sizeof(isal_zstream) + kFastWorkspaceBytes]());
    }
    isal_zstream& stream = *new (fastWorkspace_.get()) isal_zstream{};
    isal_deflate_stateless_init(&stream);
    stream.hist_bits = 0; // the full 32 KiB window
    stream.level = 1;
    stream.level_buf = fastWorkspace_.get() + sizeof(isal_zstream);
    stream.level_buf_size = kFastWorkspaceBytes;
    stream.gzip_flag = IGZIP_ZLIB;
    stream.end_of_stream = 1;
    stream.flush = NO_FLUSH;
    stream.next_in = const_cast<uint8_t*>(data);
    stream.avail_in = static_cast<uint32_t>(size);
    stream.next_out = out.data();
    stream.avail_out = static_cast<uint32_t>(out.size());
    // Output that would not fit the bound (data that does not compress) is left to libdeflate.
    if (isal_deflate_stateless(&stream) != COMP_OK) {
        return false;
    }
    out.resize(stream.total_out);
    return true;
#else
    (void)data;
    (void)size;
    (void)out;
    return false;
#endif
}

BitmapCompressor::~BitmapCompressor() {
    for (libdeflate_compressor* compressor : compressors_) {
        libdeflate_free_compressor(compressor);
    }
}

libdeflate_compressor* BitmapCompressor::compressor(int level) {
    libdeflate_compressor*& compressor = compressors_[std::clamp(level, 1, 12)];
    if (compressor == nullptr) {
        compressor = libdeflate_alloc_compressor(std::clamp(level, 1, 12));
        if (compressor == nullptr) {
            throw std::bad_alloc();
        }
    }
    return compressor;
}

void BitmapCompressor::deflateAt(const uint8_t* data, size_t size, int level,
                                 std::vector<uint8_t>& out) {
    libdeflate_compressor* deflater = compressor(level);
    const size_t bound = libdeflate_zlib_compress_bound(deflater, size);
    out.resize(bound);
    if (level == DeflateBudget::kFast && deflateFast(data, size, out)) {
        return;
    }
    const size_t written = libdeflate_zlib_compress(deflater, data, size, out.data(), bound);
    if (written == 0) {
        throw std::runtime_error("deflate output exceeded its bound");
    }
    out.resize(written);
}

int BitmapCompressor::deflate(const PreparedBitmap& prepared, swf::LosslessBitmap& bitmap,
                              const std::vector<int>& levels, uint64_t allowance) {
    bitmap.code = prepared.hasAlpha ? swf::kDefineBitsLossless2 : swf::kDefineBitsLossless;
    bitmap.format = prepared.format;
    bitmap.width = static_cast<uint16_t>(prepared.width);
    bitmap.height = static_cast<uint16_t>(prepared.height);
    bitmap.colourCount = prepared.colourCount;
    fastBytes_ = 0;
    std::vector<int> tried = levels;
    if (DeflateBudget::worthSampling(levels, prepared.size(), allowance)) {
        // Its first eighth at the fast level tells whether the whole is beyond reach, or
        // which levels the whole at the fast level would most likely lead to.
        const size_t sample = prepared.size() / 8;
        deflateAt(prepared.data(), sample, DeflateBudget::kFast, again_);
        if (DeflateBudget::beyondReach(sample, again_.size(), prepared.size(), allowance)) {
            deflateAt(prepared.data(), prepared.size(), DeflateBudget::kBeyondReach,
                      bitmap.zlibData);
            return DeflateBudget::kBeyondReach;
        }
        const std::vector<int> after = DeflateBudget::levelsAfterFirst(
            levels, DeflateBudget::fastFromSample(sample, again_.size(), prepared.size()),
            allowance);
        if (!after.empty()) {
            tried = after;
        }
    }
    const int first = tried.empty() ? DeflateBudget::kFast : tried.front();
    deflateAt(prepared.data(), prepared.size(), first, bitmap.zlibData);
    fastBytes_ = first == DeflateBudget::kFast ? bitmap.zlibData.size() : 0;
    const std::vector<int> next =
        DeflateBudget::levelsAfterFirst(tried, bitmap.zlibData.size(), allowance);
    return next.empty() ? first : deflateAgain(prepared, bitmap, first, next, allowance);
}

int BitmapCompressor::deflateAgain(const PreparedBitmap& prepared, swf::LosslessBitmap& bitmap,
                                   int level, const std::vector<int>& levels, uint64_t allowance) {
    for (const int next : levels) {
        if (bitmap.zlibData.size() <= allowance) {
            break;
        }
        level = next;
        deflateAt(prepared.data(), prepared.size(), next, again_);
        if (again_.size() < bitmap.zlibData.size()) {
            bitmap.zlibData.swap(again_);
        }
    }
    return level;
}

bool BitmapEncoder::prepareColourMapped(const RowSource& row, int width, int height) {
    // The rows go after room for the largest colour table; the table is written just before
    // them once its size is known, so nothing is copied.
    std::vector<uint8_t>& buffer = prepared_.buffer;
    const size_t rowBytes = paddedRowBytes(width);
    buffer.resize(kColourTableRoom + rowBytes * static_cast<size_t>(height));
    uint32_t palette[256];
    if (!mapIds(row, width, height, rowBytes, palette)) {
        return false;
    }
    writeColourTable(palette, static_cast<int>(paletteIds_.size()));
    return true;
}

void BitmapEncoder::writeColourTable(const uint32_t* palette, int count) {
    bool hasAlpha = false;
    for (int i = 0; i < count; ++i) {
        hasAlpha = hasAlpha || (palette[i] >> 24) != 0xFF;
    }
    prepared_.hasAlpha = hasAlpha;
    const size_t entryBytes = hasAlpha ? 4 : 3;
    prepared_.start = kColourTableRoom - entryBytes * static_cast<size_t>(count);
    uint8_t* table = prepared_.buffer.data() + prepared_.start;
    for (int i = 0; i < count; ++i) {
        // Alpha is 0 or 255, so premultiplied colours are the colours themselves, or 0,0,0,0
        // for the transparent one (which the players would otherwise show).
        const uint32_t c = palette[i];
        *table++ = static_cast<uint8_t>(c >> 16);
        *table++ = static_cast<uint8_t>(c >> 8);
        *table++ = static_cast<uint8_t>(c);
        if (hasAlpha) {
            *table++ = static_cast<uint8_t>(c >> 24);
        }
    }
    prepared_.colourCount = count;
}

void BitmapEncoder::startIndexed(int width, int height) {
    if (width <= 0 || height <= 0) {
        throw std::invalid_argument("a bitmap has at least one pixel");
    }
    prepared_.width = width;
    prepared_.height = height;
    prepared_.format = swf::kColourMapped8;
    const size_t rowBytes = paddedRowBytes(width);
    prepared_.buffer.resize(kColourTableRoom + rowBytes * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        std::memset(indexRow(y) + width, 0, rowBytes - static_cast<size_t>(width));
    }
}

void BitmapEncoder::finishIndexed(const std::vector<uint32_t>& ids) {
    if (ids.empty() || ids.size() > 256) {
        throw std::invalid_argument("a colour-mapped bitmap has 1 to 256 colours");
    }
    paletteIds_ = ids;
    uint32_t palette[256];
    for (size_t i = 0; i < ids.size(); ++i) {
        palette[i] = colours_.colour(ids[i]);
    }
    writeColourTable(palette, static_cast<int>(ids.size()));
}

uint8_t* BitmapEncoder::indexRow(int y) {
    const size_t rowBytes = paddedRowBytes(prepared_.width);
    return prepared_.buffer.data() + kColourTableRoom + rowBytes * static_cast<size_t>(y);
}

const uint8_t* BitmapEncoder::indexRow(int y) const {
    return const_cast<BitmapEncoder*>(this)->indexRow(y);
}

// Gives every colour id its palette index in the order the ids first occur. An id's index is
// kept in an array by id, valid for this bitmap while its stamp is the bitmap's, so nothing
// is hashed or cleared.
bool BitmapEncoder::mapIds(const RowSource& row, int width, int height, size_t rowBytes,
                           uint32_t* palette) {
    paletteIds_.clear();
    const uint32_t ids = colours_.size();
    if (slotOfId_.size() < ids) {
        slotOfId_.resize(ids, 0);
    }
    if (++stamp_ == (1u << 24)) {
        std::fill(slotOfId_.begin(), slotOfId_.end(), 0u);
        stamp_ = 1;
    }
    const uint32_t stamp = stamp_;
    uint32_t* slots = slotOfId_.data();
    uint8_t* rows = prepared_.buffer.data() + kColourTableRoom;
    int known = 0; // palette entries so far
    // One pixel the slow way: a colour not met before gets the next palette index.
    const auto map = [&](uint32_t id, uint8_t& out) {
        const uint32_t slot = slots[id];
        if (slot >> 8 == stamp) {
            out = static_cast<uint8_t>(slot);
            return true;
        }
        if (known == 256) {
            return false;
        }
        palette[known] = colours_.colour(id);
        paletteIds_.push_back(id);
        slots[id] = stamp << 8 | static_cast<uint32_t>(known);
        out = static_cast<uint8_t>(known++);
        return true;
    };
    for (int y = 0; y < height; ++y) {
        const uint32_t* in = row(y);
        uint8_t* out = rows + rowBytes * y;
        int x = 0;
        // Eight lookups at a time with one test: a bitmap's colours are met within its first
        // rows, and after that no pixel takes the slow way. A slot less this bitmap's stamp is
        // its index, under 256, only where it was stamped for this bitmap (an older stamp
        // wraps around to a large number).
        const uint32_t base = stamp << 8;
        for (; x + 8 <= width; x += 8) {
            // Stored at once, taken back below where one was not an index: eight values held
            // until the test made the compiler keep some of them on the stack.
            uint32_t any = 0;
            for (int i = 0; i < 8; ++i) {
                const uint32_t index = slots[in[x + i]] - base;
                out[x + i] = static_cast<uint8_t>(index);
                any |= index;
            }
            if (any < 256) {
                continue;
            }
            for (int i = x; i < x + 8; ++i) {
                if (!map(in[i], out[i])) {
                    return false;
                }
            }
        }
        for (; x < width; ++x) {
            if (!map(in[x], out[x])) {
                return false;
            }
        }
        std::memset(out + width, 0, rowBytes - static_cast<size_t>(width));
    }
    return true;
}

void BitmapEncoder::prepareDirect(const RowSource& row, int width, int height) {
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    prepared_.buffer.resize(rowBytes * static_cast<size_t>(height));
    prepared_.start = 0;
    // With alpha: premultiplied ARGB (0,0,0,0 when transparent, as the transparent colour
    // is); without: a zero reserved byte then RGB. Written with alpha, which is cleared after
    // when every pixel was opaque.
    uint32_t alphaSeen = 0xFF;
    uint8_t* out = prepared_.buffer.data();
    for (int y = 0; y < height; ++y) {
        const uint32_t* in = row(y);
        for (int x = 0; x < width; ++x) {
            const uint32_t c = colours_.colour(in[x]);
            alphaSeen &= c >> 24;
            *out++ = static_cast<uint8_t>(c >> 24);
            *out++ = static_cast<uint8_t>(c >> 16);
            *out++ = static_cast<uint8_t>(c >> 8);
            *out++ = static_cast<uint8_t>(c);
        }
    }
    prepared_.hasAlpha = alphaSeen != 0xFF;
    if (!prepared_.hasAlpha) {
        uint8_t* const end = prepared_.buffer.data() + prepared_.buffer.size();
        for (uint8_t* reserved = prepared_.buffer.data(); reserved < end; reserved += 4) {
            *reserved = 0;
        }
    }
    prepared_.colourCount = 0;
}

Fingerprint BitmapEncoder::prepare(const uint32_t* pixels, int width, int height) {
    return prepare([&](int y) { return pixels + static_cast<size_t>(y) * width; }, width, height);
}

Fingerprint BitmapEncoder::prepare(const RowSource& row, int width, int height) {
    layOut(row, width, height);
    const uint64_t shape = uint64_t(width) << 40 ^ uint64_t(height) << 16 ^
                           uint64_t(prepared_.colourCount) << 4 ^ (prepared_.hasAlpha ? 2 : 0) ^
                           (prepared_.format == swf::kDirect32 ? 1 : 0);
    return keyedFingerprint(prepared_.data(), prepared_.size(), shape);
}

void BitmapEncoder::layOut(const RowSource& row, int width, int height) {
    if (width <= 0 || height <= 0) {
        throw std::invalid_argument("a bitmap has at least one pixel");
    }
    prepared_.width = width;
    prepared_.height = height;
    prepared_.format = swf::kColourMapped8;
    if (!prepareColourMapped(row, width, height)) {
        prepared_.format = swf::kDirect32;
        prepareDirect(row, width, height);
    }
}

PreparedBitmap BitmapEncoder::take(std::vector<uint8_t> spare) {
    PreparedBitmap taken = std::move(prepared_);
    prepared_ = PreparedBitmap{};
    prepared_.buffer = std::move(spare);
    return taken;
}

} // namespace gif2swf
