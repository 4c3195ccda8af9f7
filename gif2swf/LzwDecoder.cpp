#include "LzwDecoder.h"

#include "LittleEndian.h"

#include <algorithm>
#include <cstring>

namespace gif2swf {
namespace {

// Copies `length` bytes that end at or before `to`, 16 at a time: up to 15 bytes past the
// end are written with whatever follows the source, which later output overwrites.
inline void copyString(uint8_t* to, const uint8_t* from, size_t length) {
    size_t done = 0;
    do {
        uint8_t chunk[16];
        std::memcpy(chunk, from + done, 16);
        std::memcpy(to + done, chunk, 16);
        done += 16;
    } while (done < length);
}

} // namespace

void LzwDecoder::start(int minCodeSize, const uint8_t* data, size_t size, size_t pixelCount) {
    data_ = data;
    size_ = size;
    pixelCount_ = pixelCount;
    // The longest string is under 4096 bytes; copies may run 15 bytes past it.
    raster_.resize(kLiteralRoom + pixelCount + kMaxCode + 1 + 16);
    produced_ = 0;
    minCodeSize_ = minCodeSize;
    clearCode_ = 1 << minCodeSize;
    endCode_ = clearCode_ + 1;
    // The literals are their own strings, in front of the output; every other code is not
    // defined yet.
    for (size_t code = 0; code < kLiteralRoom; ++code) {
        raster_[code] = static_cast<uint8_t>(code);
        strings_[code] = code < static_cast<size_t>(clearCode_) ? stringEntry(code, 1) : 0;
    }
    std::fill(strings_.begin() + kLiteralRoom,
              strings_.begin() + static_cast<std::ptrdiff_t>(std::max(stringsUsed_, kLiteralRoom)),
              uint64_t{0});
    stringsUsed_ = 0;
    byte_ = 0;
    bitBuffer_ = 0;
    bitCount_ = 0;
    bitPosition_ = 0;
    stackSize_ = 0;
    // Below 2 the first codes after a clear widen in ways the fast path does not follow.
    useExact_ = minCodeSize < 2;
    resetTable();
}

void LzwDecoder::resetTable() {
    runningCode_ = endCode_ + 1;
    runningBits_ = minCodeSize_ + 1;
    maxCode1_ = 1 << runningBits_;
    nextFree_ = endCode_ + 1;
    previous_ = 0;
    lastCode_ = kNoCode;
    if (useExact_) {
        prefix_.fill(kNoCode);
    }
}

LzwDecoder::Status LzwDecoder::decodeTo(size_t count) {
    count = std::min(count, pixelCount_);
    if (produced_ >= count) {
        return Status::Done;
    }
    return useExact_ ? exact(count) : fast(count);
}

LzwDecoder::Status LzwDecoder::fast(size_t count) {
    // The state is kept in locals while decoding: every byte stored to the output may alias
    // anything, so with members the compiler would reload them all after each store. There
    // are few enough of them to stay in registers (with one more, the compiler kept the bit
    // reader on the stack): values that change only at a clear or a wider code are kept
    // ready.
    uint8_t* const strings = raster_.data();
    uint8_t* const out = strings + kLiteralRoom;
    const uint8_t* const data = data_;
    uint64_t* const table = strings_.data();
    // Each code is read at its bit position, from the eight bytes there (the padding after the
    // data covers the last ones): no bit buffer is carried from code to code.
    const uint64_t endBit = uint64_t{size_} * 8;
    size_t at = produced_;
    uint64_t bit = bitPosition_;
    int runningBits = runningBits_;
    uint32_t mask = (1u << runningBits) - 1;
    // giflib widens codes when the running code passes maxCode1, up to 12 bits: kept as the
    // codes left until then, one value where the running code and its limit were two.
    const auto widenAt = [](int bits) { return bits < 12 ? 1 << bits : INT32_MAX; };
    int codesBeforeWider = widenAt(runningBits) - runningCode_;
    int nextFree = nextFree_;
    uint64_t previous = previous_;
    Status status = Status::Done;
    bool beyondTable = false;
    while (at < count) {
        const uint32_t code =
            static_cast<uint32_t>(loadLittle64(data + (bit >> 3)) >> (bit & 7)) & mask;
        bit += static_cast<uint64_t>(runningBits);
        if (bit > endBit) {
            status = Status::OutOfData;
            break;
        }
        if (--codesBeforeWider < 0) {
            // The running code is one past 1 << runningBits (under 12 bits, or it never is).
            const int runningCode = (1 << runningBits) + 1;
            ++runningBits;
            mask = mask * 2 + 1;
            codesBeforeWider = widenAt(runningBits) - runningCode;
        }

        // Literals and defined strings alike, so that which one comes costs no misprediction.
        const uint64_t entry = table[code];
        uint32_t length = static_cast<uint32_t>(entry >> kLengthShift);
        if (length != 0) {
            copyString(out + at, strings + static_cast<uint32_t>(entry), length);
        } else if (static_cast<int>(code) == clearCode_) {
            runningBits = minCodeSize_ + 1;
            mask = (1u << runningBits) - 1;
            codesBeforeWider = widenAt(runningBits) - (endCode_ + 1);
            std::fill(table + endCode_ + 1, table + nextFree, uint64_t{0});
            nextFree = endCode_ + 1;
            previous = 0;
            continue;
        } else if (static_cast<int>(code) == endCode_) {
            status = Status::EarlyEnd;
            break;
        } else if (static_cast<int>(code) == nextFree && previous != 0) {
            // The code being defined: the previous string and its own first byte.
            const uint32_t previousStart = static_cast<uint32_t>(previous);
            const uint32_t previousLength = static_cast<uint32_t>(previous >> kLengthShift);
            length = previousLength + 1;
            copyString(out + at, strings + previousStart, previousLength);
            out[at + previousLength] = strings[previousStart];
        } else {
            beyondTable = true;
            break;
        }
        // The next code: the previous string and this one's first byte, which follows it in
        // the output. Nothing after a clear; past the last code, into the spare entry.
        table[nextFree] = previous == 0 ? 0 : previous + stringEntry(0, 1);
        nextFree += previous != 0 && nextFree <= kMaxCode ? 1 : 0;
        previous = stringEntry(kLiteralRoom + at, length);
        at += length;
    }
    // Entries past nextFree are 0, or the spare one.
    stringsUsed_ =
        std::min(std::max(stringsUsed_, static_cast<size_t>(nextFree) + 1), strings_.size());
    if (beyondTable) {
        // A code beyond the table: giflib still makes something of it, so take its steps
        // from the start.
        useExact_ = true;
        produced_ = 0;
        byte_ = 0;
        bitBuffer_ = 0;
        bitCount_ = 0;
        resetTable();
        return exact(count);
    }
    produced_ = at;
    bitPosition_ = bit;
    // Past 12 bits giflib stops counting at kMaxCode + 2, and so do the members.
    runningCode_ = std::min(widenAt(runningBits) - codesBeforeWider, kMaxCode + 2);
    runningBits_ = runningBits;
    maxCode1_ = 1 << runningBits;
    nextFree_ = nextFree;
    previous_ = previous;
    return status;
}

bool LzwDecoder::readExactCode(int& code) {
    while (bitCount_ < runningBits_) {
        if (byte_ >= size_) {
            return false;
        }
        bitBuffer_ |= uint64_t{data_[byte_++]} << bitCount_;
        bitCount_ += 8;
    }
    code = static_cast<int>(bitBuffer_ & ((1u << runningBits_) - 1));
    bitBuffer_ >>= runningBits_;
    bitCount_ -= runningBits_;
    if (runningCode_ < kMaxCode + 2 && ++runningCode_ > maxCode1_ && runningBits_ < 12) {
        maxCode1_ <<= 1;
        ++runningBits_;
    }
    return true;
}

// The first byte of a code's string, or kNoCode when the chain leaves the table.
int LzwDecoder::prefixChar(int code) const {
    for (int i = 0; code > clearCode_ && i++ <= kMaxCode;) {
        if (code > kMaxCode) {
            return kNoCode;
        }
        code = prefix_[static_cast<size_t>(code)];
    }
    return code;
}

LzwDecoder::Status LzwDecoder::exact(size_t count) {
    uint8_t* out = raster_.data() + kLiteralRoom;
    size_t at = produced_;
    while (stackSize_ != 0 && at < count) {
        out[at++] = stack_[static_cast<size_t>(--stackSize_)];
    }
    while (at < count) {
        int code = 0;
        if (!readExactCode(code)) {
            produced_ = at;
            return Status::OutOfData;
        }
        if (code == endCode_) {
            produced_ = at;
            return Status::EarlyEnd;
        }
        if (code == clearCode_) {
            resetTable();
            continue;
        }
        const size_t defining = static_cast<size_t>(runningCode_ - 2);
        if (code < clearCode_) {
            out[at++] = static_cast<uint8_t>(code);
        } else {
            int chain = code;
            if (prefix_[static_cast<size_t>(code)] == kNoCode) {
                // Only the code being defined is valid here; giflib decodes any other as if
                // it were, with the byte its broken chain ends in.
                chain = lastCode_;
                const int first = prefixChar(code == runningCode_ - 2 ? lastCode_ : code);
                suffix_[defining] = stack_[static_cast<size_t>(stackSize_++)] =
                    static_cast<uint8_t>(first);
            }
            while (stackSize_ < kMaxCode && chain > clearCode_ && chain <= kMaxCode) {
                stack_[static_cast<size_t>(stackSize_++)] = suffix_[static_cast<size_t>(chain)];
                chain = prefix_[static_cast<size_t>(chain)];
            }
            if (stackSize_ >= kMaxCode || chain > kMaxCode) {
                produced_ = at;
                return Status::Defect;
            }
            stack_[static_cast<size_t>(stackSize_++)] = static_cast<uint8_t>(chain);
            while (stackSize_ != 0 && at < count) {
                out[at++] = stack_[static_cast<size_t>(--stackSize_)];
            }
        }
        if (lastCode_ != kNoCode && defining <= kMaxCode && prefix_[defining] == kNoCode) {
            prefix_[defining] = static_cast<uint16_t>(lastCode_);
            suffix_[defining] =
                static_cast<uint8_t>(prefixChar(code == runningCode_ - 2 ? lastCode_ : code));
        }
        lastCode_ = code;
    }
    produced_ = at;
    return Status::Done;
}

} // namespace gif2swf
