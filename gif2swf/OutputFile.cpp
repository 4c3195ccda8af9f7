#include "OutputFile.h"

#include "ByteSource.h"
#include "Errors.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace gif2swf {
namespace {

#ifndef _WIN32
// The named temporary file of the running conversion (its folder and its name there), for the
// signal handler: the application may stop the converter, and a stopped run must not leave
// its temporary file behind. Through the folder's descriptor it is found also after the
// folder was renamed.
int pendingFolder = -1;
char pendingName[256];

// Every catchable signal whose default action ends the process: on any of them the
// temporary file goes first, then the signal ends the process as it would have.
const std::vector<int>& endingSignals() {
    static const std::vector<int> signals = [] {
        std::vector<int> list{SIGHUP,  SIGINT,  SIGQUIT,   SIGILL,  SIGTRAP, SIGABRT, SIGBUS,
                              SIGFPE,  SIGUSR1, SIGSEGV,   SIGUSR2, SIGPIPE, SIGALRM, SIGTERM,
                              SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGSYS};
#ifdef SIGSTKFLT
        list.push_back(SIGSTKFLT);
#endif
#ifdef SIGIO
        list.push_back(SIGIO);
#endif
#ifdef SIGPWR
        list.push_back(SIGPWR);
#endif
#ifdef SIGLOST
        list.push_back(SIGLOST);
#endif
#if defined(SIGRTMIN) && defined(SIGRTMAX)
        for (int s = SIGRTMIN; s <= SIGRTMAX; ++s) {
            list.push_back(s);
        }
#endif
        return list;
    }();
    return signals;
}

sigset_t endingSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : endingSignals()) {
        sigaddset(&set, s);
    }
    return set;
}

// The signals this run watches: those still at their default action when the file was
// made (one the caller ignores, as nohup does SIGHUP, stays ignored).
std::vector<int> watched;

extern "C" void removeTemporaryAndEnd(int signalNumber) {
    removePendingTemporary();
    // The default comes back only now that the file is gone: a second stop (the application
    // asks, then asks again as it lets go) reaches another thread, and with the default
    // already in place there it would end the process before this thread had removed the
    // file. The signal, blocked on this thread until the handler returns, then ends the
    // process with the status the caller expects of it.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigaction(signalNumber, &fallback, nullptr);
    raise(signalNumber);
}

void watchSignals(int folder, const std::string& temporary) {
    if (temporary.size() >= sizeof(pendingName)) {
        return;
    }
    pendingFolder = folder;
    std::memcpy(pendingName, temporary.c_str(), temporary.size() + 1);
    struct sigaction action {};
    action.sa_handler = removeTemporaryAndEnd;
    action.sa_mask = endingSignalSet(); // one handler at a time
    action.sa_flags = 0;
    for (int s : endingSignals()) {
        struct sigaction previous {};
        if (sigaction(s, nullptr, &previous) == 0 && previous.sa_handler == SIG_DFL &&
            (previous.sa_flags & SA_SIGINFO) == 0 && sigaction(s, &action, nullptr) == 0) {
            watched.push_back(s);
        }
    }
}

void unwatchSignals() {
    for (int s : watched) {
        std::signal(s, SIG_DFL);
    }
    watched.clear();
    pendingName[0] = '\0';
}

// A name for a temporary file in the output's folder: the output's name (cut to fit) and a
// random suffix of "." and 6 characters.
std::string temporaryName(const std::string& output, size_t nameMax) {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static std::random_device random;
    const std::string stem = temporaryStem(output, 7, nameMax);
    std::string name = stem.substr(stem.find_last_of('/') + 1) + ".";
    for (int i = 0; i < 6; ++i) {
        name += letters[random() % (sizeof letters - 1)];
    }
    return name;
}

// Blocks the signals that end the process on this thread while it lives: a stop that came
// between making a named file and being ready to remove it would leave the file.
class StopsHeld {
public:
    StopsHeld() {
        const sigset_t stops = endingSignalSet();
        pthread_sigmask(SIG_BLOCK, &stops, &previous_);
    }
    ~StopsHeld() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    StopsHeld(const StopsHeld&) = delete;
    StopsHeld& operator=(const StopsHeld&) = delete;

private:
    sigset_t previous_;
};

#if defined(__linux__) && defined(O_TMPFILE)
// Gives the file with no name open on `fd` the name `name` in `folder`; 0 or the errno. The
// way any user may (AT_EMPTY_PATH asks for a privilege), so /proc must be there.
int linkUnnamed(int fd, int folder, const char* name) {
    char from[40];
    std::snprintf(from, sizeof from, "/proc/self/fd/%d", fd);
    return linkat(AT_FDCWD, from, folder, name, AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}
#endif
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
    if (pendingName[0] != '\0') {
        unlinkat(pendingFolder, pendingName, 0);
    }
#endif
}

OutputFile::OutputFile(std::string path, [[maybe_unused]] bool named) : path_(std::move(path)) {
#ifdef _WIN32
    // CREATE_NEW never opens an existing file: a name taken by another run is skipped.
    std::random_device random;
    HANDLE handle = INVALID_HANDLE_VALUE;
    DWORD error = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < 100 && error == ERROR_FILE_EXISTS; ++attempt) {
        temporaryPath_ =
            temporaryStem(path_, 11, 255) + "." + std::to_string(random() % 1000000) + ".tmp";
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
    const size_t separator = path_.find_last_of('/');
    const std::string folder = separator == std::string::npos ? std::string(".")
                               : separator == 0               ? std::string("/")
                                                              : path_.substr(0, separator);
    errno = 0;
    const long limit = pathconf(folder.c_str(), _PC_NAME_MAX);
    nameMax_ = limit > 0 ? static_cast<size_t>(limit) : 255;
    const size_t nameLength = path_.size() - (separator == std::string::npos ? 0 : separator + 1);
    if (nameLength > nameMax_) {
        fail(ENAMETOOLONG); // the movie's own name does not fit: nothing is made
    }
#ifdef O_PATH
    folder_ = open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
#else
    folder_ = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#endif
    if (folder_ < 0) {
        fail(errno);
    }
    int fd = -1;
#if defined(__linux__) && defined(O_TMPFILE)
    // A file without a name, which vanishes with the process whatever ends it (SIGKILL, the
    // out-of-memory killer), until commit() names it. File systems without it say so here;
    // it can be named only through /proc, and without that too the file is a named one.
    if (!named && access("/proc/self/fd", X_OK) == 0) {
        fd = openat(folder_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    }
    unnamed_ = fd >= 0;
#endif
    if (fd < 0) {
        // A named file, removed on failure and on the signals that end the process.
        const StopsHeld held;
        int reason = EEXIST;
        for (int attempt = 0; attempt < 100 && reason == EEXIST; ++attempt) {
            temporaryName_ = temporaryName(path_, nameMax_);
            fd = openat(folder_, temporaryName_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                        0666);
            reason = fd < 0 ? errno : 0;
        }
        if (fd < 0) {
            temporaryName_.clear();
            discard();
            fail(reason);
        }
        watchSignals(folder_, temporaryName_);
    }
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
    // An unnamed file is gone with its descriptor; a named one is removed.
    if (!temporaryName_.empty()) {
        unlinkat(folder_, temporaryName_.c_str(), 0);
        unwatchSignals();
        temporaryName_.clear();
    }
    if (folder_ >= 0) {
        close(folder_);
        folder_ = -1;
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
    if (!flushed) {
        fail(reason != 0 ? reason : EIO);
    }
#if defined(__linux__) && defined(O_TMPFILE)
    if (unnamed_) {
        nameUnnamed();
        committed_ = true;
        // Everything was flushed; the movie is in place whatever closing says.
        std::fclose(file_);
        file_ = nullptr;
        close(folder_);
        folder_ = -1;
        return;
    }
#endif
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!closed) {
        fail(errno != 0 ? errno : EIO);
    }
    if (renameat(folder_, temporaryName_.c_str(), AT_FDCWD, path_.c_str()) != 0) {
        fail(errno);
    }
    unwatchSignals();
    temporaryName_.clear();
    committed_ = true;
    close(folder_);
    folder_ = -1;
#endif
}

#if defined(__linux__) && defined(O_TMPFILE)
void OutputFile::nameUnnamed() {
    const int fd = fileno(file_);
    // Where nothing has the output's name yet, the file gets it at once. Else it gets a
    // temporary name and is renamed over the old movie; stops wait meanwhile, so that the
    // temporary name never outlives the run (only SIGKILL, in this instant, could leave it).
    int reason = linkUnnamed(fd, AT_FDCWD, path_.c_str());
    if (reason == 0) {
        return;
    }
    if (reason != EEXIST) {
        fail(reason);
    }
    const StopsHeld held;
    std::string name;
    for (int attempt = 0; attempt < 100 && reason == EEXIST; ++attempt) {
        name = temporaryName(path_, nameMax_);
        reason = linkUnnamed(fd, folder_, name.c_str());
    }
    if (reason != 0) {
        fail(reason);
    }
    if (renameat(folder_, name.c_str(), AT_FDCWD, path_.c_str()) != 0) {
        reason = errno;
        unlinkat(folder_, name.c_str(), 0);
        fail(reason);
    }
}
#endif

std::string temporaryStem(const std::string& path, size_t suffixLength, size_t nameMax) {
#ifdef _WIN32
    const size_t separator = path.find_last_of("/\\");
#else
    const size_t separator = path.find_last_of('/');
#endif
    const size_t nameStart = separator == std::string::npos ? 0 : separator + 1;
    const size_t room = nameMax > suffixLength ? nameMax - suffixLength : 1;
    if (path.size() - nameStart <= room) {
        return path;
    }
    size_t cut = nameStart + std::max<size_t>(room, 1);
    // Not inside a UTF-8 sequence: back to the start of the character cut through.
    while (cut > nameStart + 1 && (static_cast<unsigned char>(path[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    return path.substr(0, cut);
}

namespace {

// What a name stands for on its device, for telling whether two names are the same file.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t file = 0;
    bool operator==(const FileIdentity& other) const {
        return device == other.device && file == other.file;
    }
};

enum class FileKind { Missing, Regular, Link, Folder, Device, Fifo, Socket, Other };

// The file a name stands for, or the link itself when `followLinks` is false.
std::pair<FileKind, FileIdentity> identify(const std::string& path, bool followLinks) {
#ifdef _WIN32
    DWORD flags = FILE_FLAG_BACKUP_SEMANTICS;
    if (!followLinks) {
        flags |= FILE_FLAG_OPEN_REPARSE_POINT;
    }
    HANDLE handle = CreateFileW(widenUtf8(path).c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return {FileKind::Missing, {}};
    }
    FileKind kind = FileKind::Regular;
    FileIdentity identity;
    BY_HANDLE_FILE_INFORMATION info{};
    const DWORD type = GetFileType(handle);
    if (type == FILE_TYPE_CHAR) {
        kind = FileKind::Device;
    } else if (type == FILE_TYPE_PIPE) {
        kind = FileKind::Fifo;
    } else if (GetFileInformationByHandle(handle, &info)) {
        identity = {info.dwVolumeSerialNumber,
                    uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
        if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            kind = FileKind::Folder;
        } else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            kind = FileKind::Link;
        }
    }
    CloseHandle(handle);
    return {kind, identity};
#else
    struct stat status {};
    if ((followLinks ? stat(path.c_str(), &status) : lstat(path.c_str(), &status)) != 0) {
        return {FileKind::Missing, {}};
    }
    const FileIdentity identity{uint64_t(status.st_dev), uint64_t(status.st_ino)};
    const mode_t mode = status.st_mode;
    const FileKind kind = S_ISREG(mode)                    ? FileKind::Regular
                          : S_ISLNK(mode)                  ? FileKind::Link
                          : S_ISDIR(mode)                  ? FileKind::Folder
                          : S_ISCHR(mode) || S_ISBLK(mode) ? FileKind::Device
                          : S_ISFIFO(mode)                 ? FileKind::Fifo
                          : S_ISSOCK(mode)                 ? FileKind::Socket
                                                           : FileKind::Other;
    return {kind, identity};
#endif
}

} // namespace

void refuseUnsafeOutput(const std::string& output, const std::vector<std::string>& inputs,
                        const std::vector<std::string>& lists) {
    OutputChecks(inputs, lists).refuse(output);
}

OutputChecks::OutputChecks(const std::vector<std::string>& inputs,
                           const std::vector<std::string>& lists)
    : inputs_(inputs), lists_(lists) {}

void OutputChecks::refuse(const std::string& output) {
    // The name the movie will be renamed to: the link itself when it is one.
    const auto [kind, identity] = identify(output, false);
    if (kind == FileKind::Missing) {
        return; // nothing there to replace
    }
    static const std::pair<FileKind, const char*> kinds[] = {{FileKind::Folder, "a folder"},
                                                             {FileKind::Device, "a device"},
                                                             {FileKind::Fifo, "a FIFO"},
                                                             {FileKind::Socket, "a socket"},
                                                             {FileKind::Other, "a special file"}};
    for (const auto& [other, text] : kinds) {
        if (kind == other) {
            throw ConvertError(Error::OutputNotRegularFile, output, text);
        }
    }
    // Each input and list as given, and the file it links to.
    if (!looked_) {
        looked_ = true;
        for (const Error refusal : {Error::OutputIsList, Error::OutputIsInput}) {
            for (const std::string& path : refusal == Error::OutputIsList ? lists_ : inputs_) {
                if (path == "-") {
                    continue; // standard input, read whole before any movie is written
                }
                for (bool follow : {false, true}) {
                    const auto [pathKind, pathIdentity] = identify(path, follow);
                    if (pathKind != FileKind::Missing) {
                        known_.push_back({pathIdentity.device, pathIdentity.file, refusal, path});
                    }
                }
            }
        }
    }
    for (const Known& known : known_) {
        if (FileIdentity{known.device, known.file} == identity) {
            throw ConvertError(known.refusal, output, printableName(known.name));
        }
    }
}

void OutputChecks::written(const std::string& output, const std::string& input) {
    const auto [kind, identity] = identify(output, false);
    if (kind != FileKind::Missing) {
        known_.push_back({identity.device, identity.file, Error::MovieOfEarlierInput, input});
    }
}

} // namespace gif2swf
