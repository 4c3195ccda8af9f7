#include "OutputFile.h"

#include "ByteSource.h"
#include "Errors.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <random>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace gif2swf {
namespace {

#ifndef _WIN32
// The temporary file of the running conversion, for the signal handler: the application
// may stop the converter, and a stopped run must not leave its temporary file behind.
char pendingTemporary[4096];

extern "C" void removeTemporaryAndExit(int signalNumber) {
    if (pendingTemporary[0] != '\0') {
        unlink(pendingTemporary);
    }
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

void watchSignals(const std::string& temporary) {
    if (temporary.size() >= sizeof(pendingTemporary)) {
        return;
    }
    std::memcpy(pendingTemporary, temporary.c_str(), temporary.size() + 1);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) {
        std::signal(s, removeTemporaryAndExit);
    }
}

void unwatchSignals() {
    for (int s : {SIGINT, SIGTERM, SIGHUP}) {
        std::signal(s, SIG_DFL);
    }
    pendingTemporary[0] = '\0';
}
#endif

} // namespace

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
#ifdef _WIN32
    std::random_device random;
    for (int attempt = 0; attempt < 100 && file_ == nullptr; ++attempt) {
        temporaryPath_ = path_ + "." + std::to_string(random() % 1000000) + ".tmp";
        errno = 0;
        file_ = openFileUtf8(temporaryPath_, "wbx");
        if (file_ == nullptr && errno != EEXIST) {
            break;
        }
    }
    if (file_ == nullptr) {
        fail(errno != 0 ? errno : EACCES);
    }
#else
    std::string pattern = path_ + ".XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) {
        fail(errno);
    }
    temporaryPath_ = pattern;
    watchSignals(temporaryPath_);
    // mkstemp makes the file private; a movie gets the usual permissions.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    file_ = fdopen(fd, "wb");
    if (file_ == nullptr) {
        const int reason = errno;
        close(fd);
        discard();
        fail(reason);
    }
#endif
    buffer_.resize(1 << 16);
    std::setvbuf(file_, buffer_.data(), _IOFBF, buffer_.size());
}

OutputFile::~OutputFile() {
    if (!committed_) {
        discard();
    }
}

void OutputFile::discard() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!temporaryPath_.empty()) {
#ifdef _WIN32
        std::remove(temporaryPath_.c_str());
#else
        unlink(temporaryPath_.c_str());
        unwatchSignals();
#endif
    }
}

void OutputFile::fail(int errorNumber) {
    throw ConvertError(Error::CannotWriteOutput, path_, systemReason(errorNumber));
}

void OutputFile::commit() {
    errno = 0;
    const bool flushed = std::fflush(file_) == 0 && !std::ferror(file_);
    int reason = errno;
    const bool closed = std::fclose(file_) == 0;
    if (!closed && reason == 0) {
        reason = errno;
    }
    file_ = nullptr;
    if (!flushed || !closed) {
        fail(reason != 0 ? reason : EIO);
    }
#ifdef _WIN32
    if (!MoveFileExW(widenUtf8(temporaryPath_).c_str(), widenUtf8(path_).c_str(),
                     MOVEFILE_REPLACE_EXISTING)) {
        fail(EACCES);
    }
#else
    if (std::rename(temporaryPath_.c_str(), path_.c_str()) != 0) {
        fail(errno);
    }
    unwatchSignals();
#endif
    committed_ = true;
}

} // namespace gif2swf
