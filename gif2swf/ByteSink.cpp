#include "ByteSink.h"

#include "Errors.h"

#include <cerrno>
#include <cstring>

namespace gif2swf {

void ByteSink::u16(uint16_t value) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    write(bytes, 2);
}

void ByteSink::u32(uint32_t value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    write(bytes, 4);
}

void MemorySink::write(const uint8_t* data, size_t size) {
    bytes_.insert(bytes_.end(), data, data + size);
}

void MemorySink::patch(uint64_t offset, const uint8_t* data, size_t size) {
    if (offset > bytes_.size() || size > bytes_.size() - offset) {
        throw std::out_of_range("patch beyond the bytes written");
    }
    std::memcpy(bytes_.data() + offset, data, size);
}

FileSink::FileSink(std::FILE* file, std::string displayPath)
    : file_(file), displayPath_(std::move(displayPath)) {}

void FileSink::write(const uint8_t* data, size_t size) {
    if (size == 0) {
        return;
    }
    errno = 0;
    if (std::fwrite(data, 1, size, file_) != size) {
        fail(errno != 0 ? errno : EIO);
    }
    position_ += size;
}

void FileSink::patch(uint64_t offset, const uint8_t* data, size_t size) {
    errno = 0;
    // fseek takes a long: the movie is at most 4 GiB and the patched header is at its start.
    if (std::fflush(file_) != 0 || std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0 ||
        std::fwrite(data, 1, size, file_) != size || std::fflush(file_) != 0 ||
        std::fseek(file_, 0, SEEK_END) != 0) {
        fail(errno != 0 ? errno : EIO);
    }
}

void FileSink::fail(int errorNumber) const {
    throw ConvertError(Error::CannotWriteOutput, displayPath_, systemReason(errorNumber));
}

} // namespace gif2swf
