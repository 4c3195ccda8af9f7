// gif2swf: the command-line converter the application runs for every movie.
#include "ByteSink.h"
#include "ByteSource.h"
#include "CommandLine.h"
#include "Converter.h"
#include "Errors.h"
#include "LargeAllocator.h"
#include "OutputFile.h"
#include "Progress.h"
#include "StandardStreams.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

#ifndef GIF2SWF_VERSION
#define GIF2SWF_VERSION "unknown"
#endif

namespace {

using namespace gif2swf;

// Text for the user, in UTF-8. A Windows console is written in wide characters, so that every
// name shows; pipes and files (the application reads a pipe) get the UTF-8 bytes.
void writeText(std::FILE* stream, const std::string& text) {
#ifdef _WIN32
    HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
        std::fflush(stream);
        const std::wstring wide = widenUtf8(text);
        DWORD written = 0;
        WriteConsoleW(handle, wide.c_str(), static_cast<DWORD>(wcslen(wide.c_str())), &written,
                      nullptr);
        return;
    }
#endif
    std::fputs(text.c_str(), stream);
    std::fflush(stream);
}

// What the run is about, for messages: a failure names its input by number, and a fault of
// the converter itself that names nothing is about the movie. Also read by the last resort
// below, which runs on whatever thread fails.
struct Run {
    std::vector<std::string> inputs;
    std::string output;
    std::atomic<int> reading{-1}; // the input being read, -1: none
} currentRun;

// A failure named and reported on stderr; returns it as reported, for its status and text.
ConvertError report(const ConvertError& error) {
    ConvertError named = nameInput(error, [](int input) {
        return static_cast<size_t>(input) < currentRun.inputs.size()
                   ? currentRun.inputs[size_t(input)]
                   : std::string();
    });
    if ((named.error() == Error::Internal || named.error() == Error::OutOfMemory) &&
        named.subject().empty()) {
        named = ConvertError(named.error(), currentRun.output, named.detail());
    }
    writeText(stderr, formatMessage(named) + "\n");
    return named;
}

// The last resort, for an exception nothing caught (one escaping a thread, say): the one-line
// message and status 4 instead of an abort, and no temporary file left.
[[noreturn]] void endAfterUncaughtException() {
    std::string detail = "unexpected termination";
    if (std::exception_ptr current = std::current_exception()) {
        try {
            std::rethrow_exception(current);
        } catch (const std::exception& error) {
            detail = error.what();
        } catch (...) {
            detail = "unknown exception";
        }
    }
    removePendingTemporary();
    report(ConvertError(Error::Internal, {}, detail).about(currentRun.reading.load(), 0));
    std::_Exit(kExitInternal);
}

#ifdef GIF2SWF_TEST_HOOKS
// In test builds only (gif2swf_testing, never the package): GIF2SWF_TEST_FAULT makes reading
// the first input fail as a fault of the converter itself would, so that the tests see how
// such a failure ends. "exception": an exception while the input is read; "thread": an
// exception escaping a thread; "memory": memory running out.
void injectFaultForTests(InputFile& input) {
    const char* fault = std::getenv("GIF2SWF_TEST_FAULT");
    if (fault == nullptr) {
        return;
    }
    const std::string kind = fault;
    input.open = [kind]() -> std::unique_ptr<ByteSource> {
        if (kind == "thread") {
            std::thread([] { throw std::runtime_error("fault injected for a test"); }).join();
        }
        if (kind == "memory") {
            throw std::bad_alloc();
        }
        throw std::logic_error("fault injected for a test");
    };
}

// GIF2SWF_TEST_PAUSE names a FIFO: between the two passes the converter reads a byte from
// it, so that a test can change an input there, and then write the byte.
// GIF2SWF_TEST_THREADS: how many threads the system lets start, as one short of them would.
void hookOptionsForTests(ConvertOptions& options) {
    if (const char* threads = std::getenv("GIF2SWF_TEST_THREADS")) {
        options.threadsThatStart = std::atoi(threads);
    }
    const char* fifo = std::getenv("GIF2SWF_TEST_PAUSE");
    if (fifo != nullptr) {
        options.betweenPasses = [path = std::string(fifo)] {
            if (std::FILE* gate = std::fopen(path.c_str(), "rb")) {
                std::fgetc(gate);
                std::fclose(gate);
            }
        };
    }
}
#endif

// How a piece of work ended: its exit status, and for a failure what the message said.
struct Outcome {
    int status = kExitOk;
    std::optional<ConvertError> failure; // unset for a success, or when memory ran out
};

// Runs `work` (which returns an exit status); a failure is reported on stderr.
template <typename Work> Outcome attempt(Work work) {
    try {
        return {work(), std::nullopt};
    } catch (const ConvertError& error) {
        ConvertError reported = report(error);
        return {exitStatusFor(reported.error()), std::move(reported)};
    } catch (const std::bad_alloc&) {
        // Named as the input being read or the movie, as a fault of the converter is; the
        // memory the conversion held is free again by now. Else written without allocating.
        try {
            ConvertError reported =
                report(ConvertError(Error::OutOfMemory, {}).about(currentRun.reading.load(), 0));
            return {kExitInternal, std::move(reported)};
        } catch (const std::bad_alloc&) {
            std::fprintf(stderr, "gif2swf: %s\n", describe(Error::OutOfMemory));
            return {kExitInternal, std::nullopt};
        }
    } catch (const std::exception& error) {
        ConvertError reported = report(ConvertError(Error::Internal, {}, error.what()));
        return {kExitInternal, std::move(reported)};
    } catch (...) {
        ConvertError reported = report(ConvertError(Error::Internal, {}, "unknown exception"));
        return {kExitInternal, std::move(reported)};
    }
}

// Converts `inputs` into the movie `output`, which the caller has checked is safe to write.
void convertMovie(const CommandLine& line, const std::vector<std::string>& inputs,
                  const std::string& output) {
    currentRun.output = output;
    currentRun.inputs = inputs;
    std::vector<InputFile> files;
    for (const std::string& path : inputs) {
        files.push_back(inputFromPath(path));
    }
#ifdef GIF2SWF_TEST_HOOKS
    injectFaultForTests(files.front());
#endif
    ConvertOptions options;
    options.rate = line.rate;
    options.rateSubject = "-r " + line.rateText;
    options.plays = line.plays;
    options.look = line.look;
    options.warn = [](const std::string& text) { writeText(stderr, text + "\n"); };
    options.reading = [](int input) { currentRun.reading = input; };
    options.movieName = output;
    ProgressLines progress([](const std::string& text) { writeText(stdout, text); });
    if (line.progress) {
        options.progress = [&progress](uint32_t done, uint32_t total) {
            progress.update(done, total);
        };
    }
    bool named = false;
#ifdef GIF2SWF_TEST_HOOKS
    hookOptionsForTests(options);
    // GIF2SWF_TEST_NAMED: a named temporary file, as on systems without files with no name.
    named = std::getenv("GIF2SWF_TEST_NAMED") != nullptr;
#endif
    OutputFile file(output, named);
    FileSink sink(file.stream(), output);
    const ConvertResult result = convertGifs(files, options, sink);
    file.commit();
    // The whole count only once the movie has its name: a reader that sees it may open it.
    if (line.progress) {
        progress.update(result.frameCount, result.frameCount);
    }
}

// --each: a movie per input, each converted, checked and reported as a run of its own would
// be, and a line on stdout per input, in input order, as each ends: "ok INPUT" or
// "failed INPUT: REASON" (INPUT shown as messages show names, REASON the message without the
// program's name, and without INPUT where it names that). Returns the worst status.
int convertEach(const CommandLine& line) {
    OutputChecks checks(line.inputs, line.lists);
    std::unordered_map<std::string, size_t> claimed; // movie name -> the input that has it
    int worst = kExitOk;
    for (size_t i = 0; i < line.inputs.size(); ++i) {
        const std::string& input = line.inputs[i];
        const std::string movie = eachOutputFor(input, line.folder);
        const Outcome outcome = attempt([&] {
            const auto [claim, fresh] = claimed.emplace(movie, i);
            if (!fresh) {
                throw ConvertError(Error::MovieOfEarlierInput, movie,
                                   printableName(line.inputs[claim->second]));
            }
            checks.refuse(movie);
            convertMovie(line, {input}, movie);
            checks.written(movie, input);
            return kExitOk;
        });
        releaseFreeMemory();
        worst = std::max(worst, outcome.status);
        std::string text = (outcome.status == kExitOk ? "ok " : "failed ") + printableName(input);
        if (outcome.status != kExitOk) {
            const ConvertError failure = !outcome.failure ? ConvertError(Error::OutOfMemory, {})
                                         : outcome.failure->subject() == input
                                             ? outcome.failure->withoutSubject()
                                             : *outcome.failure;
            text += ": " + formatReason(failure);
        }
        writeText(stdout, text + "\n");
    }
    return worst;
}

int run(const std::vector<std::string>& arguments) {
    return attempt([&] {
               const CommandLine line = parseCommandLine(arguments);
               if (line.help) {
                   writeText(stdout, usageText());
                   return int(kExitOk);
               }
               if (line.version) {
                   writeText(stdout, std::string("gif2swf ") + GIF2SWF_VERSION + "\n");
                   return int(kExitOk);
               }
               if (line.each) {
                   return convertEach(line);
               }
               refuseUnsafeOutput(line.output, line.inputs, line.lists);
               convertMovie(line, line.inputs, line.output);
               return int(kExitOk);
           })
        .status;
}

} // namespace

#ifdef _WIN32
// Windows hands narrow arguments over in the ANSI code page; the wide ones keep every name.
int wmain(int argc, wchar_t** argv) {
    claimStandardStreams();
    std::set_terminate(endAfterUncaughtException);
    // Lines end in "\n" as elsewhere: the application reads them from a pipe.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        const int length =
            WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string text(length > 0 ? length - 1 : 0, '\0');
        WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, text.data(), length, nullptr, nullptr);
        arguments.push_back(text);
    }
    return run(arguments);
}
#else
int main(int argc, char** argv) {
    claimStandardStreams();
    std::set_terminate(endAfterUncaughtException);
    return run(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
