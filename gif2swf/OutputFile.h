#pragma once

#include "Errors.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

// The movie is written to a file of its own beside the output and takes the output's name
// only when complete, so an earlier movie is never left half-overwritten and a failed run
// leaves no file that looks like a result. On Linux that file has no name at all until then
// (O_TMPFILE), so that nothing is left whatever ends the process; elsewhere, and on file
// systems without it, it is a temporary file, removed on failure and on the signals that end
// the process (on Windows, deleted on close until it is renamed).
namespace gif2swf {

class OutputFile {
public:
    // Creates the file the movie is written to, with no name where the system allows unless
    // `named` (the tests and the fuzzer take that path too); throws ConvertError (cannot
    // write output).
    explicit OutputFile(std::string path, bool named = false);
    // Removes the temporary file unless committed.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    std::FILE* stream() { return file_; }
    // Flushes, closes and renames the temporary file into place; throws ConvertError.
    void commit();

private:
    [[noreturn]] void fail(int errorNumber);
    void discard();
    void nameUnnamed();

    std::string path_;
    std::FILE* file_ = nullptr;
#ifdef _WIN32
    std::string temporaryPath_;
    void* handle_ = nullptr; // the file's handle, which file_ writes through
#else
    int folder_ = -1;           // the output's folder, open while the movie is written
    bool unnamed_ = false;      // the file has no name until commit() (Linux)
    std::string temporaryName_; // else its name in the folder
    size_t nameMax_ = 255;
#endif
    std::vector<char> buffer_; // the stream's buffer: larger than stdio's, fewer writes
    bool committed_ = false;
};

// Removes the temporary file of the running conversion, for a process about to end abruptly;
// safe in a signal or terminate handler. (On Windows the system removes it as the process ends.)
void removePendingTemporary();

// Refuses, before any input is read and anything is written, an output that would replace an
// input or an input list (the same file, also through hard or symbolic links) and an existing
// output that is not a regular file (a folder, a device, a FIFO, a socket); throws
// ConvertError with exit status 3. An output that is a symbolic link is not refused for
// where it points: the movie replaces the link, its target stays as it is.
void refuseUnsafeOutput(const std::string& output, const std::vector<std::string>& inputs,
                        const std::vector<std::string>& lists);

// The same refusals for the many movies of one run (--each), each checked against all the
// run's inputs and lists, whose files are looked up once, when a first movie exists already.
// Also refused: a movie that is a file an earlier movie of the run was written to (another
// name for it, a link), so that no movie replaces another of the same run.
class OutputChecks {
public:
    OutputChecks(const std::vector<std::string>& inputs, const std::vector<std::string>& lists);
    // Throws ConvertError (exit status 3) for an output that must not be written.
    void refuse(const std::string& output);
    // Notes that the movie of `input` was written to `output`.
    void written(const std::string& output, const std::string& input);

private:
    struct Known {
        uint64_t device;
        uint64_t file;
        Error refusal; // for an output that is this file
        std::string name;
    };
    const std::vector<std::string>& inputs_;
    const std::vector<std::string>& lists_;
    bool looked_ = false; // inputs_ and lists_ are in known_
    std::vector<Known> known_;
};

// `path` with its last component cut (at a character's boundary) so that it and
// `suffixLength` more bytes fit in `nameMax` bytes: the temporary file of an output whose
// name is legal but leaves no room for a suffix gets a shorter name in the same folder.
std::string temporaryStem(const std::string& path, size_t suffixLength, size_t nameMax);

} // namespace gif2swf
