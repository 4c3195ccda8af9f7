// libFuzzer target: arbitrary bytes through the whole conversion (GIF reading, compositing,
// bitmap encoding, movie writing) in memory. Only ConvertError may come out; anything else,
// and any fault a sanitizer sees, is a finding. Built by bench/fuzz_gif.sh with the test-only
// hooks, so small inputs can take the threaded path through the smallest hand-offs.
#include "ByteSink.h"
#include "ByteSource.h"
#include "Converter.h"
#include "Errors.h"

#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    gif2swf::InputFile input{"fuzz.gif", [data, size]() -> std::unique_ptr<gif2swf::ByteSource> {
                                 return std::make_unique<gif2swf::MemorySource>(data, size);
                             }};
    gif2swf::ConvertOptions options;
    // The last byte's low bit picks the timing: from the GIF's delays, or a fixed rate.
    if (size > 0 && (data[size - 1] & 1) != 0) {
        options.rate = 12.5;
    }
    // The next bit: on threads, through hand-offs of one or two items (always, when the
    // threads are what is fuzzed).
#if defined(GIF2SWF_FUZZ_THREADS)
    options.smallQueues = true;
#else
    options.smallQueues = size > 0 && (data[size - 1] & 2) != 0;
#endif
    gif2swf::MemorySink sink;
    try {
        gif2swf::convertGifs({input}, options, sink);
    } catch (const gif2swf::ConvertError&) {
        // Refusing bad input is the expected outcome.
    }
    return 0;
}
