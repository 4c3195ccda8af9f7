#include "ByteSource.h"

#include "Errors.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace gif2swf {

size_t MemorySource::read(uint8_t* data, size_t size) {
    const size_t count = std::min(size, size_ - position_);
    std::memcpy(data, data_ + position_, count);
    position_ += count;
    return count;
}

#ifdef _WIN32
std::wstring widenUtf8(const std::string& text) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(length > 0 ? length : 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), length);
    return wide;
}
#endif

std::FILE* openFileUtf8(const std::string& path, const char* mode) {
#ifdef _WIN32
    return _wfopen(widenUtf8(path).c_str(), widenUtf8(mode).c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

FileSource::FileSource(const std::string& path) {
    errno = 0;
    file_ = openFileUtf8(path, "rb");
    if (file_ == nullptr) {
        throw ConvertError(Error::CannotOpenInput, path, systemReason(errno != 0 ? errno : ENOENT));
    }
    // giflib reads a sub-block (at most 255 bytes) at a time: a larger buffer than stdio's
    // saves most of the system calls on a large file.
    std::setvbuf(file_, buffer_.get(), _IOFBF, kBufferBytes);
}

FileSource::~FileSource() {
    std::fclose(file_);
}

size_t FileSource::read(uint8_t* data, size_t size) {
    errno = 0;
    const size_t count = std::fread(data, 1, size, file_);
    if (count < size && std::ferror(file_)) {
        failure_ = errno != 0 ? errno : EIO;
    }
    consumed_ += count;
    return count;
}

bool readOnlyOnce(const std::string& path) {
    if (path == "-") {
        return true;
    }
#ifdef _WIN32
    return false;
#else
    // A name that cannot be looked up is opened as a file, which says why it cannot be.
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode);
#endif
}

std::vector<uint8_t> readWhole(const std::string& path, uint64_t limit) {
    std::FILE* file = stdin;
    if (path == "-") {
#ifdef _WIN32
        _setmode(_fileno(stdin), _O_BINARY);
#endif
    } else {
        errno = 0;
        file = openFileUtf8(path, "rb");
        if (file == nullptr) {
            throw ConvertError(Error::CannotOpenInput, path,
                               systemReason(errno != 0 ? errno : ENOENT));
        }
    }
    std::vector<uint8_t> bytes;
    int failure = 0;
    for (;;) {
        const size_t chunk = 64 * 1024;
        const size_t at = bytes.size();
        bytes.resize(at + chunk);
        errno = 0;
        const size_t count = std::fread(bytes.data() + at, 1, chunk, file);
        bytes.resize(at + count);
        if (count < chunk && std::ferror(file)) {
            failure = errno != 0 ? errno : EIO;
        }
        if (count < chunk || bytes.size() > limit) {
            break;
        }
    }
    if (file != stdin) {
        std::fclose(file);
    }
    if (failure != 0) {
        throw ConvertError(Error::ReadFailed, path, systemReason(failure));
    }
    if (bytes.size() > limit) {
        const bool gibibytes = limit % (uint64_t(1) << 30) == 0;
        throw ConvertError(Error::StreamTooLarge, path,
                           gibibytes ? std::to_string(limit >> 30) + " GiB"
                                     : std::to_string(limit) + " bytes");
    }
    return bytes;
}

} // namespace gif2swf
