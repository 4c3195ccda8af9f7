#pragma once

#include <cstddef>
#include <cstdint>

// Keyed fingerprints of bytes: SipHash-1-3 under a secret drawn once per run, a pseudo-random
// function, so that a crafted file cannot make two different byte strings share one.
namespace gif2swf {

// Identifies a prepared bitmap: equal fingerprints mean equal bitmaps, so a picture that
// shows again reuses the bitmap already in the movie.
struct Fingerprint {
    uint64_t first = 0;
    uint64_t second = 0;
    bool operator==(const Fingerprint& other) const {
        return first == other.first && second == other.second;
    }
};

// The 128-bit fingerprint of bytes, after a 64-bit prefix (the bitmap's size and format).
Fingerprint keyedFingerprint(const uint8_t* data, size_t size, uint64_t prefix);

struct FingerprintHash {
    size_t operator()(const Fingerprint& f) const { return static_cast<size_t>(f.first); }
};

// The 64-bit fingerprint of a stream of bytes, taken in pieces of any size, and of every
// prefix of it along the way: a file read twice is the same file when every byte the second
// reading sees fingerprints as the first reading's did.
class StreamFingerprint {
public:
    StreamFingerprint();
    void add(const uint8_t* data, size_t size);
    // The fingerprint of the bytes added so far; adding may go on.
    uint64_t value() const;

private:
    uint64_t v0_, v1_, v2_, v3_;
    uint64_t tail_ = 0; // the bytes of an unfinished word, first in the low bits
    uint64_t length_ = 0;
};

} // namespace gif2swf
