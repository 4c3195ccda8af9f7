#pragma once

#include <cstdint>
#include <cstring>

namespace gif2swf {

// Eight bytes as a little-endian number: on such a machine one load (a byte loop was half
// of the fingerprint's time), elsewhere byte by byte.
inline uint64_t loadLittle64(const uint8_t* p) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    uint64_t value;
    std::memcpy(&value, p, sizeof value);
#else
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i) {
        value = value << 8 | p[i];
    }
#endif
    return value;
}

} // namespace gif2swf
