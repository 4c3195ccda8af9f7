#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "LargeAllocator.h"

// Decodes one GIF image's LZW data into its colour indices, rows in the order the file
// stores them. It gives what giflib's decoder gives, byte for byte and fault for fault, also
// on damaged data, but faster (README.md has the figures): a code's string is copied from
// where it first appeared in the output instead of being walked back through the code table.
namespace gif2swf {

class LzwDecoder {
public:
    enum class Status {
        Done,      // the pixels asked for are final
        EarlyEnd,  // an end code before the last pixel
        OutOfData, // the data ended before the last pixel
        Defect,    // a code whose string leads nowhere
    };

    // `minCodeSize` is the byte before the data (0 to 8); `data` holds the image's
    // sub-blocks joined, followed by at least kPadding zero bytes, and must outlive the
    // decoding.
    void start(int minCodeSize, const uint8_t* data, size_t size, size_t pixelCount);
    // Decodes until the first `count` pixels (at most the image's) are final.
    Status decodeTo(size_t count);
    const uint8_t* pixels() const { return raster_.data() + kLiteralRoom; }

    static constexpr size_t kPadding = 16;

private:
    static constexpr int kMaxCode = 4095;
    static constexpr uint16_t kNoCode = 4098;

    void resetTable();
    Status fast(size_t count);
    // giflib's own steps, for the codes the fast path does not take (a table entry that
    // is not yet defined, a code size below 2): started over from the first byte.
    Status exact(size_t count);
    bool readExactCode(int& code);
    int prefixChar(int code) const;

    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t pixelCount_ = 0;
    // The 256 one-byte strings, then the output, with room for the longest string past its
    // end so copies need no clipping. A literal code's string so is a place like any other's.
    static constexpr size_t kLiteralRoom = 256;
    std::vector<uint8_t, LargeAllocator<uint8_t>> raster_;
    size_t produced_ = 0;
    bool useExact_ = false;

    // Code reading and table growth as giflib counts them.
    int minCodeSize_ = 0;
    int clearCode_ = 0;
    int endCode_ = 0;
    int runningCode_ = 0;
    int runningBits_ = 0;
    int maxCode1_ = 0;
    size_t byte_ = 0; // the exact path's reading
    uint64_t bitBuffer_ = 0;
    int bitCount_ = 0;
    uint64_t bitPosition_ = 0; // the fast path's: the bits taken

    // Fast path: each code's string as one word, its place in raster_ and its length above
    // (kLengthShift): a length of 0 is a code not defined (yet, or since the last clear), or
    // the clear and end codes, so one test tells the common case. The entry past the last
    // code takes the writes while the table is full.
    static constexpr int kLengthShift = 32;
    static uint64_t stringEntry(uint64_t place, uint64_t length) {
        return place | length << kLengthShift;
    }
    int nextFree_ = 0;
    uint64_t previous_ = 0; // the string before, as an entry; 0: none (after a clear)
    std::array<uint64_t, kMaxCode + 2> strings_{};
    size_t stringsUsed_ = 0; // entries written since the table was last all zero

    // Exact path: giflib's prefix and suffix table and its pixel stack.
    int lastCode_ = kNoCode;
    int stackSize_ = 0;
    std::array<uint16_t, kMaxCode + 1> prefix_{};
    std::array<uint8_t, kMaxCode + 1> suffix_{};
    std::array<uint8_t, kMaxCode> stack_{};
};

} // namespace gif2swf
