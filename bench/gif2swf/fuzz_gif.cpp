// libFuzzer target: arbitrary bytes through the whole conversion (GIF reading, compositing,
// bitmap encoding, movie writing). Only ConvertError may come out; anything else, and any
// fault a sanitizer sees, is a finding. Built by bench/fuzz_gif.sh with the test-only hooks,
// so small inputs can take the threaded path through the smallest hand-offs.
//
// In memory by default. With GIF2SWF_FUZZ_FILES, through real files as a run meets them: the
// input is a file in a folder of the fuzzer's own, which is changed between the two passes
// (a byte rewritten in place, or another file renamed over it) when the input's last byte
// says so, and the movie goes through OutputFile (with no name, or a named temporary file)
// into that folder. Findings there also: a change the second pass did not refuse, and a file
// left in the folder that is neither the input nor a finished movie.
#include "ByteSink.h"
#include "ByteSource.h"
#include "Converter.h"
#include "Errors.h"

#include <cstdint>
#include <memory>

#ifdef GIF2SWF_FUZZ_FILES
#include "OutputFile.h"

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <string>
#include <unistd.h>

namespace {

// GIF2SWF_FUZZ_FOLDER (fuzz_gif.sh gives one in its build folder), else one made in /tmp.
const std::string& folder() {
    static const std::string made = [] {
        if (const char* given = std::getenv("GIF2SWF_FUZZ_FOLDER")) {
            return std::string(given);
        }
        char pattern[] = "/tmp/fuzz_gif.XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            std::abort();
        }
        return std::string(pattern);
    }();
    return made;
}

void writeFile(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) {
        std::abort();
    }
}

// What the folder holds besides the input and the movie: a finding, the file handling's.
void checkNothingLeft() {
    DIR* listing = opendir(folder().c_str());
    while (const dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && name != "in.gif" && name != "out.swf") {
            std::fprintf(stderr, "left in the folder: %s\n", name.c_str());
            std::abort();
        }
    }
    closedir(listing);
}

} // namespace
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    gif2swf::ConvertOptions options;
    const uint8_t last = size > 0 ? data[size - 1] : 0;
    // The last byte's low bit picks the timing: from the GIF's delays, or a fixed rate.
    if ((last & 1) != 0) {
        options.rate = 12.5;
    }
    // The next bit: on threads, through hand-offs of one or two items (always, when the
    // threads are what is fuzzed).
#if defined(GIF2SWF_FUZZ_THREADS)
    options.smallQueues = true;
#else
    options.smallQueues = (last & 2) != 0;
#endif
#ifdef GIF2SWF_FUZZ_FILES
    const std::string input = folder() + "/in.gif";
    const std::string output = folder() + "/out.swf";
    writeFile(input, data, size);
    std::remove(output.c_str());
    // Bits 2 and 3: the change between the passes (none, a byte in place, another file renamed
    // over it); bit 4: a named temporary file. The byte changed is the one the second last
    // byte points to, among the bytes the scan reads.
    const int change = (last >> 2) & 3;
    uint64_t scanned = 0;
    try {
        gif2swf::MemorySource source(data, size);
        scanned = gif2swf::scanGif(source, "fuzz.gif").bytes;
    } catch (const gif2swf::ConvertError&) {
    }
    const size_t at = size > 1 && scanned > 0 ? data[size - 2] * 257u % scanned : 0;
    bool changed = false;
    if (change != 0 && scanned > 0) {
        options.betweenPasses = [&] {
            std::string bytes(reinterpret_cast<const char*>(data), size);
            bytes[at] = static_cast<char>(bytes[at] ^ 0x5A);
            const std::string target = change == 1 ? input : folder() + "/other.gif";
            writeFile(target, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
            if (change != 1 && std::rename(target.c_str(), input.c_str()) != 0) {
                std::abort();
            }
            changed = true;
        };
    }
    bool written = false;
    try {
        gif2swf::OutputFile file(output, (last & 16) != 0);
        gif2swf::FileSink sink(file.stream(), output);
        gif2swf::convertGifs({gif2swf::inputFromPath(input)}, options, sink);
        file.commit();
        written = true;
    } catch (const gif2swf::ConvertError&) {
        // Refusing bad input is the expected outcome.
    }
    if (changed && written) {
        std::fprintf(stderr, "byte %zu of %llu changed between the passes, not refused\n", at,
                     static_cast<unsigned long long>(scanned));
        std::abort();
    }
    checkNothingLeft();
#else
    gif2swf::InputFile input{"fuzz.gif", [data, size]() -> std::unique_ptr<gif2swf::ByteSource> {
                                 return std::make_unique<gif2swf::MemorySource>(data, size);
                             }};
    gif2swf::MemorySink sink;
    try {
        gif2swf::convertGifs({input}, options, sink);
    } catch (const gif2swf::ConvertError&) {
        // Refusing bad input is the expected outcome.
    }
#endif
    return 0;
}
