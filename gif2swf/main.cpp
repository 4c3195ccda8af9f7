// gif2swf: the command-line converter the application runs for every movie.
#include "ByteSink.h"
#include "CommandLine.h"
#include "Converter.h"
#include "Errors.h"
#include "OutputFile.h"

#include <cstdio>
#include <new>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#ifndef GIF2SWF_VERSION
#define GIF2SWF_VERSION "unknown"
#endif

namespace {

int run(const std::vector<std::string>& arguments) {
    using namespace gif2swf;
    try {
        const CommandLine line = parseCommandLine(arguments);
        if (line.help) {
            std::fputs(usageText().c_str(), stdout);
            return kExitOk;
        }
        if (line.version) {
            std::printf("gif2swf %s\n", GIF2SWF_VERSION);
            return kExitOk;
        }
        std::vector<InputFile> inputs;
        for (const std::string& path : line.inputs) {
            inputs.push_back(inputFromPath(path));
        }
        ConvertOptions options;
        options.rate = line.rate;
        options.rateSubject = "-r " + line.rateText;
        options.warn = [](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); };

        OutputFile output(line.output);
        FileSink sink(output.stream(), line.output);
        convertGifs(inputs, options, sink);
        output.commit();
        return kExitOk;
    } catch (const ConvertError& error) {
        std::fprintf(stderr, "%s\n", formatMessage(error).c_str());
        return exitStatusFor(error.error());
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "gif2swf: %s\n", describe(Error::OutOfMemory));
        return kExitInput;
    }
}

} // namespace

#ifdef _WIN32
// Windows hands narrow arguments over in the ANSI code page; the wide ones keep every name.
int wmain(int argc, wchar_t** argv) {
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
    return run(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
