#include "Fingerprint.h"

#include "LittleEndian.h"

#include <algorithm>
#include <array>
#include <cstring>
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

// `outputBits`: 128 (two words) or 64; `lane`: 0 for the state that takes the lanes' results,
// 1 to 4 for the lanes.
SipState keyedState(int outputBits, int lane = 0) {
    const auto& k = key();
    return {k[0] ^ 0x736f6d6570736575ull,
            k[1] ^ 0x646f72616e646f6dull ^ (outputBits == 128 ? 0xee : 0),
            k[0] ^ 0x6c7967656e657261ull ^ uint64_t(lane) << 56, k[1] ^ 0x7465646279746573ull};
}

constexpr size_t kBlock = StreamFingerprint::kBlock;

// Four SipHash states, word i of the bytes going to state i % 4.
struct Lanes {
    SipState lane[4];

    explicit Lanes(int outputBits) {
        for (int i = 0; i < 4; ++i) {
            lane[i] = keyedState(outputBits, i + 1);
        }
    }
    template <typename State> explicit Lanes(const State& words) {
        for (int i = 0; i < 4; ++i) {
            lane[i] = {words[i][0], words[i][1], words[i][2], words[i][3]};
        }
    }
    void absorbBlock(const uint8_t* data) {
        for (int i = 0; i < 4; ++i) {
            lane[i].absorb(loadLittle64(data + 8 * i));
        }
    }
    // Absorbs the last `size` (< kBlock) bytes, the last word filled with zeros (the length
    // goes to `result`), then each lane's result into `result`.
    void finish(const uint8_t* rest, size_t size, int outputBits, SipState& result) {
        uint8_t words[kBlock] = {};
        std::memcpy(words, rest, size);
        for (size_t i = 0; i * 8 < size; ++i) {
            lane[i].absorb(loadLittle64(words + 8 * i));
        }
        for (SipState& state : lane) {
            state.v2 ^= outputBits == 128 ? 0xee : 0xff;
            result.absorb(state.finalRounds());
            if (outputBits == 128) {
                state.v1 ^= 0xdd;
                result.absorb(state.finalRounds());
            }
        }
    }
};

} // namespace

Fingerprint keyedFingerprint(const uint8_t* data, size_t size, uint64_t prefix) {
    Lanes lanes(128);
    size_t i = 0;
    for (; i + kBlock <= size; i += kBlock) {
        lanes.absorbBlock(data + i);
    }
    SipState s = keyedState(128);
    s.absorb(prefix);
    lanes.finish(data + i, size - i, 128, s);
    s.absorb(size);
    s.v2 ^= 0xee;
    const uint64_t first = s.finalRounds();
    s.v1 ^= 0xdd;
    return {first, s.finalRounds()};
}

StreamFingerprint::StreamFingerprint() {
    const Lanes lanes(64);
    for (int i = 0; i < 4; ++i) {
        const SipState& s = lanes.lane[i];
        lanes_[i][0] = s.v0;
        lanes_[i][1] = s.v1;
        lanes_[i][2] = s.v2;
        lanes_[i][3] = s.v3;
    }
}

void StreamFingerprint::add(const uint8_t* data, size_t size) {
    Lanes lanes(lanes_);
    size_t used = length_ % kBlock;
    length_ += size;
    // First the unfinished block, then whole blocks straight from the data.
    if (used != 0) {
        const size_t count = std::min(size, kBlock - used);
        std::memcpy(tail_ + used, data, count);
        data += count;
        size -= count;
        used += count;
        if (used < kBlock) {
            return;
        }
        lanes.absorbBlock(tail_);
    }
    for (; size >= kBlock; data += kBlock, size -= kBlock) {
        lanes.absorbBlock(data);
    }
    std::memcpy(tail_, data, size);
    for (int i = 0; i < 4; ++i) {
        const SipState& s = lanes.lane[i];
        lanes_[i][0] = s.v0;
        lanes_[i][1] = s.v1;
        lanes_[i][2] = s.v2;
        lanes_[i][3] = s.v3;
    }
}

uint64_t StreamFingerprint::value() const {
    Lanes lanes(lanes_);
    SipState s = keyedState(64);
    lanes.finish(tail_, length_ % kBlock, 64, s);
    s.absorb(length_);
    s.v2 ^= 0xff;
    return s.finalRounds();
}

} // namespace gif2swf
