#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

// Where the movie's bytes go: a file, or memory so that tests and the fuzzer compare bytes
// without touching the disk. The header's length and frame count are only known at the end,
// so a sink can overwrite bytes it already holds.
namespace gif2swf {

class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void write(const uint8_t* data, size_t size) = 0;
    // Overwrites bytes written earlier, starting at an offset from the first byte.
    virtual void patch(uint64_t offset, const uint8_t* data, size_t size) = 0;
    // Bytes written so far.
    virtual uint64_t position() const = 0;

    void u8(uint8_t value) { write(&value, 1); }
    // The format stores every multi-byte integer little endian.
    void u16(uint16_t value);
    void u32(uint32_t value);
    void bytes(const std::vector<uint8_t>& data) { write(data.data(), data.size()); }
};

class MemorySink : public ByteSink {
public:
    void write(const uint8_t* data, size_t size) override;
    void patch(uint64_t offset, const uint8_t* data, size_t size) override;
    uint64_t position() const override { return bytes_.size(); }
    const std::vector<uint8_t>& data() const { return bytes_; }
    // Hands the bytes over and starts again empty.
    std::vector<uint8_t> take() { return std::exchange(bytes_, {}); }

private:
    std::vector<uint8_t> bytes_;
};

// Writes through a stdio stream it does not own. A failed write throws the output error
// with the system's reason, naming the path given for messages.
class FileSink : public ByteSink {
public:
    FileSink(std::FILE* file, std::string displayPath);
    void write(const uint8_t* data, size_t size) override;
    void patch(uint64_t offset, const uint8_t* data, size_t size) override;
    uint64_t position() const override { return position_; }

private:
    [[noreturn]] void fail(int errorNumber) const;

    std::FILE* file_;
    std::string displayPath_;
    uint64_t position_ = 0;
};

} // namespace gif2swf
