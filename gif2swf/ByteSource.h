#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// Where a GIF's bytes come from: a file, or memory for tests and the fuzzer. A source tells
// a short read at the end of the data (a truncated file) from a failing device.
namespace gif2swf {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads up to `size` bytes and returns how many it read; fewer at the end or on failure.
    virtual size_t read(uint8_t* data, size_t size) = 0;
    // The errno of a failed read, 0 when every read so far succeeded.
    virtual int failure() const = 0;
    // Bytes delivered so far.
    virtual uint64_t consumed() const = 0;
};

class MemorySource : public ByteSource {
public:
    // The bytes must outlive the source.
    MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    size_t read(uint8_t* data, size_t size) override;
    int failure() const override { return 0; }
    uint64_t consumed() const override { return position_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

class FileSource : public ByteSource {
public:
    // Opens a file by its UTF-8 path; throws ConvertError (cannot open, with the reason).
    explicit FileSource(const std::string& path);
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    size_t read(uint8_t* data, size_t size) override;
    int failure() const override { return failure_; }
    uint64_t consumed() const override { return consumed_; }

private:
    static constexpr size_t kBufferBytes = 64 * 1024;
    std::unique_ptr<char[]> buffer_{new char[kBufferBytes]};
    std::FILE* file_ = nullptr;
    int failure_ = 0;
    uint64_t consumed_ = 0;
};

// The most bytes an input that can be read only once (a pipe, a FIFO, standard input) may
// have: it is held in memory for both passes.
constexpr uint64_t kMaxStreamedBytes = uint64_t(1) << 30;

// Whether `path` is read once and held in memory: "-" (standard input) and anything that is
// not a regular file, which a second opening would not give again (a FIFO, /dev/stdin, a
// shell's process substitution).
bool readOnlyOnce(const std::string& path);

// Every byte of `path` ("-": standard input), at most `limit`; throws ConvertError (cannot
// open, cannot read, too large to read from a pipe).
std::vector<uint8_t> readWhole(const std::string& path, uint64_t limit = kMaxStreamedBytes);

// fopen for a UTF-8 path, also on Windows where fopen takes the ANSI code page.
std::FILE* openFileUtf8(const std::string& path, const char* mode);

#ifdef _WIN32
// UTF-8 to the UTF-16 that Windows' file functions take.
std::wstring widenUtf8(const std::string& text);
#endif

} // namespace gif2swf
