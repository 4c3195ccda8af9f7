#include "OutputFile.h"

#include "ByteSource.h"
#include "Errors.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <random>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <signal.h>
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
    removePendingTemporary();
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

#ifdef _WIN32
// The errno value closest to a Windows error, so that reasons read as on other systems.
int errnoFor(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
        return ENOENT;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DIRECTORY:
        return EINVAL;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_WRITE_PROTECT:
        return EROFS;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    default:
        return EACCES;
    }
}

// While set, the system deletes the file when its last handle closes, also when the process
// is ended from outside (Windows ends a process without a signal it could catch).
bool setDeleteOnClose(HANDLE file, bool remove) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = remove ? TRUE : FALSE;
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                                      sizeof disposition) != 0;
}

// Renames the open file, replacing an existing one; the handle stays valid.
bool renameOpenFile(HANDLE file, const std::string& target) {
    const std::wstring wide = widenUtf8(target);
    const DWORD length = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (length == 0) {
        return false;
    }
    std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + length * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    const DWORD written = GetFullPathNameW(wide.c_str(), length, rename->FileName, nullptr);
    if (written == 0 || written >= length) {
        return false;
    }
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = written * sizeof(wchar_t);
    return SetFileInformationByHandle(file, FileRenameInfo, rename,
                                      static_cast<DWORD>(buffer.size())) != 0;
}
#endif

} // namespace

void removePendingTemporary() {
#ifndef _WIN32
    if (pendingTemporary[0] != '\0') {
        unlink(pendingTemporary);
    }
#endif
}

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
#ifdef _WIN32
    // CREATE_NEW never opens an existing file: a name taken by another run is skipped.
    std::random_device random;
    HANDLE handle = INVALID_HANDLE_VALUE;
    DWORD error = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < 100 && error == ERROR_FILE_EXISTS; ++attempt) {
        temporaryPath_ = path_ + "." + std::to_string(random() % 1000000) + ".tmp";
        handle = CreateFileW(widenUtf8(temporaryPath_).c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                             CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        error = handle == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    }
    if (handle == INVALID_HANDLE_VALUE) {
        temporaryPath_.clear();
        fail(errnoFor(error));
    }
    if (!setDeleteOnClose(handle, true)) {
        error = GetLastError();
        CloseHandle(handle);
        DeleteFileW(widenUtf8(temporaryPath_).c_str());
        temporaryPath_.clear();
        fail(errnoFor(error));
    }
    handle_ = handle;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY | _O_WRONLY);
    file_ = fd >= 0 ? _fdopen(fd, "wb") : nullptr;
    if (file_ == nullptr) {
        if (fd >= 0) {
            _close(fd);
        } else {
            CloseHandle(handle);
        }
        handle_ = nullptr;
        temporaryPath_.clear();
        fail(EMFILE);
    }
#else
    std::string pattern = path_ + ".XXXXXX";
    // A stop that came between making the file and watching for stops would leave the file:
    // stops wait until both are done.
    sigset_t stops;
    sigset_t previous;
    sigemptyset(&stops);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&stops, s);
    }
    pthread_sigmask(SIG_BLOCK, &stops, &previous);
    const int fd = mkstemp(pattern.data());
    const int reason = errno;
    if (fd >= 0) {
        temporaryPath_ = pattern;
        watchSignals(temporaryPath_);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (fd < 0) {
        fail(reason);
    }
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
#ifdef _WIN32
    // Closing the file deleted it (delete-on-close), unless that was cleared for the rename.
    if (handle_ != nullptr && !committed_) {
        DeleteFileW(widenUtf8(temporaryPath_).c_str());
    }
    handle_ = nullptr;
#else
    if (!temporaryPath_.empty()) {
        unlink(temporaryPath_.c_str());
        unwatchSignals();
    }
#endif
}

void OutputFile::fail(int errorNumber) {
    throw ConvertError(Error::CannotWriteOutput, path_, systemReason(errorNumber));
}

void OutputFile::commit() {
    errno = 0;
    const bool flushed = std::fflush(file_) == 0 && !std::ferror(file_);
    int reason = errno;
#ifdef _WIN32
    if (!flushed) {
        fail(reason != 0 ? reason : EIO);
    }
    // Renamed through the handle still open, so that the file is never without an owner
    // that deletes it; delete-on-close is cleared only just before the rename.
    HANDLE handle = static_cast<HANDLE>(handle_);
    if (!setDeleteOnClose(handle, false)) {
        fail(errnoFor(GetLastError()));
    }
    if (!renameOpenFile(handle, path_)) {
        const DWORD error = GetLastError();
        setDeleteOnClose(handle, true);
        fail(errnoFor(error));
    }
    committed_ = true;
    // Everything was flushed; the movie is in place whatever closing says.
    std::fclose(file_);
    file_ = nullptr;
    handle_ = nullptr;
#else
    const bool closed = std::fclose(file_) == 0;
    if (!closed && reason == 0) {
        reason = errno;
    }
    file_ = nullptr;
    if (!flushed || !closed) {
        fail(reason != 0 ? reason : EIO);
    }
    if (std::rename(temporaryPath_.c_str(), path_.c_str()) != 0) {
        fail(errno);
    }
    unwatchSignals();
    committed_ = true;
#endif
}

} // namespace gif2swf
