#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

// The movie format packs some records (rectangles, matrices, shape records) as bit fields.
// Fields are written most significant bit first, filling each byte from its top bit down;
// a record that ends mid-byte is padded with zero bits to the next byte by align().
namespace gif2swf {

class BitWriter {
public:
    // Unsigned field of `bits` bits (0..32); the value must fit.
    void writeUnsigned(uint32_t value, int bits);
    // Two's-complement field of `bits` bits (0..32); the value must fit.
    void writeSigned(int32_t value, int bits);
    void writeFlag(bool flag) { writeUnsigned(flag ? 1 : 0, 1); }
    // Pads the last byte with zero bits.
    void align();

    // The bytes written, including a partly filled last byte.
    const std::vector<uint8_t>& bytes() const { return bytes_; }

    // Smallest field width holding the value: 0 for 0, 3 for 4.
    static int unsignedBits(uint32_t value);
    // Smallest two's-complement width holding every given value; at least 1.
    static int signedBits(int32_t value);
    static int signedBits(std::initializer_list<int32_t> values);

private:
    std::vector<uint8_t> bytes_;
    int freeBits_ = 0; // unused low bits of the last byte
};

} // namespace gif2swf
