#include "BitWriter.h"

#include <algorithm>
#include <stdexcept>

namespace gif2swf {

void BitWriter::writeUnsigned(uint32_t value, int bits) {
    if (bits < 0 || bits > 32 || (bits < 32 && (uint64_t{value} >> bits) != 0)) {
        throw std::invalid_argument("bit field value does not fit its width");
    }
    for (int bit = bits - 1; bit >= 0; --bit) {
        if (freeBits_ == 0) {
            bytes_.push_back(0);
            freeBits_ = 8;
        }
        --freeBits_;
        if ((value >> bit) & 1u) {
            bytes_.back() |= static_cast<uint8_t>(1u << freeBits_);
        }
    }
}

void BitWriter::writeSigned(int32_t value, int bits) {
    if (bits < 32 && (bits == 0 ? value != 0 : signedBits(value) > bits)) {
        throw std::invalid_argument("signed bit field value does not fit its width");
    }
    const uint32_t pattern = static_cast<uint32_t>(value);
    writeUnsigned(bits == 32 ? pattern : pattern & ((1u << bits) - 1u), bits);
}

void BitWriter::align() {
    freeBits_ = 0;
}

int BitWriter::unsignedBits(uint32_t value) {
    int bits = 0;
    while (value != 0) {
        ++bits;
        value >>= 1;
    }
    return bits;
}

int BitWriter::signedBits(int32_t value) {
    // A negative value needs as many bits as its complement, plus the sign.
    const uint32_t magnitude = value < 0 ? ~static_cast<uint32_t>(value) : value;
    return unsignedBits(magnitude) + 1;
}

int BitWriter::signedBits(std::initializer_list<int32_t> values) {
    int bits = 1;
    for (int32_t value : values) {
        bits = std::max(bits, signedBits(value));
    }
    return bits;
}

} // namespace gif2swf
