#include "Fingerprint.h"

#include "LittleEndian.h"

#include <array>
#include <random>

namespace gif2swf {
namespace {

uint64_t rotl(uint64_t x, int b) {
    return (x << b) | (x >> (64 - b));
}

struct SipState {
    uint64_t v0, v1, v2, v3;
    void round() {
        v0 += v1;
        v1 = rotl(v1, 13);
        v1 ^= v0;
        v0 = rotl(v0, 32);
        v2 += v3;
        v3 = rotl(v3, 16);
        v3 ^= v2;
        v0 += v3;
        v3 = rotl(v3, 21);
        v3 ^= v0;
        v2 += v1;
        v1 = rotl(v1, 17);
        v1 ^= v2;
        v2 = rotl(v2, 32);
    }
    void absorb(uint64_t m) {
        v3 ^= m;
        round(); // one compression round
        v0 ^= m;
    }
    uint64_t finalRounds() {
        round(); // three finalization rounds
        round();
        round();
        return v0 ^ v1 ^ v2 ^ v3;
    }
};

// The run's secret, drawn once.
const std::array<uint64_t, 2>& key() {
    static const std::array<uint64_t, 2> k = [] {
        std::random_device random;
        std::array<uint64_t, 2> words{};
        for (uint64_t& word : words) {
            word = uint64_t{random()} << 32 ^ random();
        }
        return words;
    }();
    return k;
}

// `outputBits`: 128 (two words) or 64.
SipState keyedState(int outputBits) {
    const auto& k = key();
    return {k[0] ^ 0x736f6d6570736575ull,
            k[1] ^ 0x646f72616e646f6dull ^ (outputBits == 128 ? 0xee : 0),
            k[0] ^ 0x6c7967656e657261ull, k[1] ^ 0x7465646279746573ull};
}

} // namespace

Fingerprint keyedFingerprint(const uint8_t* data, size_t size, uint64_t prefix) {
    SipState s = keyedState(128);
    s.absorb(prefix);
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        s.absorb(loadLittle64(data + i));
    }
    uint64_t last = uint64_t(size + 8) << 56;
    for (size_t j = 0; i + j < size; ++j) {
        last |= uint64_t{data[i + j]} << (8 * j);
    }
    s.absorb(last);
    s.v2 ^= 0xee;
    const uint64_t first = s.finalRounds();
    s.v1 ^= 0xdd;
    return {first, s.finalRounds()};
}

StreamFingerprint::StreamFingerprint() {
    const SipState s = keyedState(64);
    v0_ = s.v0;
    v1_ = s.v1;
    v2_ = s.v2;
    v3_ = s.v3;
}

void StreamFingerprint::add(const uint8_t* data, size_t size) {
    SipState s{v0_, v1_, v2_, v3_};
    size_t i = 0;
    // First the unfinished word, byte by byte; then whole words straight from the data.
    for (; i < size && length_ % 8 != 0; ++i, ++length_) {
        tail_ |= uint64_t{data[i]} << (8 * (length_ % 8));
        if (length_ % 8 == 7) {
            s.absorb(tail_);
            tail_ = 0;
        }
    }
    for (; i + 8 <= size; i += 8, length_ += 8) {
        s.absorb(loadLittle64(data + i));
    }
    for (; i < size; ++i, ++length_) {
        tail_ |= uint64_t{data[i]} << (8 * (length_ % 8));
    }
    v0_ = s.v0;
    v1_ = s.v1;
    v2_ = s.v2;
    v3_ = s.v3;
}

uint64_t StreamFingerprint::value() const {
    SipState s{v0_, v1_, v2_, v3_};
    s.absorb(tail_ | length_ << 56);
    s.v2 ^= 0xff;
    return s.finalRounds();
}

} // namespace gif2swf
