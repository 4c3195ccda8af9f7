#include "CommandLine.h"

#include "ByteSource.h"
#include "Errors.h"
#include "Limits.h"
#include "SwfTags.h"
#include "Timing.h"

#include <cstring>

namespace gif2swf {
namespace {

// Each input of a movie is one frame at least: more inputs than a movie has frames are
// refused as soon as they are counted, naming where the last one came from. With --each every
// input is a movie of its own, and nothing limits how many.
void checkInputCount(const std::vector<std::string>& inputs, const std::string& from, bool each) {
    if (!each && inputs.size() > kMaxFrames) {
        throw ConvertError(Error::TooManyFrames, from,
                           "more than " + std::to_string(kMaxFrames) + " inputs");
    }
}

bool takesValue(const std::string& option) {
    for (const char* name : {"-r", "--rate", "-o", "--output", "-l", "--list", "-d", "--directory",
                             "--plays", "--scale", "--background"}) {
        if (option == name) {
            return true;
        }
    }
    return false;
}

// Whether --each is among the options (not an option's value, nor after "--").
bool eachGiven(const std::vector<std::string>& arguments) {
    for (size_t i = 0; i < arguments.size() && arguments[i] != "--"; ++i) {
        if (arguments[i] == "--each") {
            return true;
        }
        i += takesValue(arguments[i]) ? 1 : 0;
    }
    return false;
}

// A whole number of decimal digits, at most `most`.
std::optional<uint32_t> wholeNumber(const std::string& text, uint32_t most) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const uint32_t value = static_cast<uint32_t>(std::stoul(text));
    return value <= most ? std::optional<uint32_t>(value) : std::nullopt;
}

// Sets a valued option that is not about the inputs; false when `option` is not one.
bool setMovieOption(CommandLine& line, const std::string& option, const std::string& value,
                    std::vector<std::string>& given) {
    const bool plays = option == "--plays";
    const bool scale = option == "--scale";
    const bool background = option == "--background";
    if (!plays && !scale && !background) {
        return false;
    }
    if (std::find(given.begin(), given.end(), option) != given.end()) {
        throw ConvertError(Error::RepeatedOption, option);
    }
    given.push_back(option);
    const std::string subject = option + " " + value;
    if (plays) {
        line.plays = wholeNumber(value, kMaxPlays);
        if (!line.plays) {
            throw ConvertError(Error::BadPlays, subject);
        }
    } else if (scale) {
        const std::optional<uint32_t> percent = wholeNumber(value, kMaxScalePercent);
        if (!percent || *percent < kMinScalePercent) {
            throw ConvertError(Error::BadScale, subject);
        }
        line.look.scalePercent = static_cast<int>(*percent);
    } else {
        if (value.size() != 6 ||
            value.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
            throw ConvertError(Error::BadBackground, subject);
        }
        line.look.background = static_cast<uint32_t>(std::stoul(value, nullptr, 16));
    }
    return true;
}

} // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    line.each = eachGiven(arguments); // first: it decides how many inputs lists may give
    bool optionsEnded = false;
    bool outputGiven = false;
    std::vector<std::string> movieOptions; // those given, each at most once
    bool folderGiven = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const bool isOption = !optionsEnded && argument.size() > 1 && argument[0] == '-';
        if (!isOption) {
            line.inputs.push_back(argument);
            checkInputCount(line.inputs, argument, line.each);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "-h" || argument == "--help") {
            line.help = true;
        } else if (argument == "-V" || argument == "--version") {
            line.version = true;
        } else if (argument == "--progress") {
            line.progress = true;
        } else if (argument == "--each") {
        } else if (takesValue(argument)) {
            if (i + 1 >= arguments.size()) {
                throw ConvertError(Error::MissingOptionValue, argument);
            }
            const std::string& value = arguments[++i];
            if (setMovieOption(line, argument, value, movieOptions)) {
                continue;
            }
            if (argument == "-l" || argument == "--list") {
                readInputList(value, line.inputs, line.each);
                line.lists.push_back(value);
            } else if (argument == "-r" || argument == "--rate") {
                if (line.rate) {
                    throw ConvertError(Error::RepeatedOption, argument);
                }
                line.rate = parseRate(value);
                if (!line.rate) {
                    throw ConvertError(Error::BadRate, argument + " " + value);
                }
                line.rateText = value;
                // A rate the movie cannot store is refused before any file is touched.
                planFixedRate(*line.rate, argument + " " + value);
            } else {
                const bool folder = argument == "-d" || argument == "--directory";
                bool& given = folder ? folderGiven : outputGiven;
                if (given) {
                    throw ConvertError(Error::RepeatedOption, argument);
                }
                given = true;
                (folder ? line.folder : line.output) = value;
            }
        } else {
            throw ConvertError(Error::UnknownOption, argument);
        }
    }
    if (line.help || line.version) {
        return line;
    }
    if (line.each && outputGiven) {
        throw ConvertError(Error::OptionsExclusive, "-o", "--each");
    }
    if (!line.each && folderGiven) {
        throw ConvertError(Error::OptionNeedsOther, "-d", "--each");
    }
    if (line.each && folderGiven && line.folder.empty()) {
        throw ConvertError(Error::MissingOptionValue, "-d");
    }
    if (line.inputs.empty()) {
        throw ConvertError(Error::NoInput, {});
    }
    if (!outputGiven && !line.each) {
        line.output = defaultOutputFor(line.inputs.front());
    }
    return line;
}

void readInputList(const std::string& listPath, std::vector<std::string>& inputs, bool each) {
    FileSource list(listPath);
    std::string path;
    bool pending = false; // bytes of a path not yet ended by its NUL
    uint64_t entries = 0;
    const auto endEntry = [&] {
        ++entries;
        if (path.empty()) {
            throw ConvertError(Error::EmptyListEntry, listPath, std::to_string(entries));
        }
        inputs.push_back(std::move(path));
        path.clear();
        checkInputCount(inputs, listPath, each);
    };
    uint8_t buffer[64 * 1024];
    size_t count = 0;
    while ((count = list.read(buffer, sizeof buffer)) > 0) {
        const char* next = reinterpret_cast<const char*>(buffer);
        const char* end = next + count;
        while (next < end) {
            const char* nul = static_cast<const char*>(std::memchr(next, '\0', size_t(end - next)));
            path.append(next, nul != nullptr ? nul : end);
            pending = nul == nullptr;
            if (nul == nullptr) {
                break;
            }
            endEntry();
            next = nul + 1;
        }
    }
    if (list.failure() != 0) {
        throw ConvertError(Error::ReadFailed, listPath, systemReason(list.failure()));
    }
    if (pending || entries == 0) {
        endEntry();
    }
}

std::string defaultOutputFor(const std::string& input) {
    const size_t separator = input.find_last_of("/\\");
    const size_t dot = input.find_last_of('.');
    const bool hasExtension =
        dot != std::string::npos && (separator == std::string::npos || dot > separator + 1);
    return (hasExtension ? input.substr(0, dot) : input) + ".swf";
}

std::string eachOutputFor(const std::string& input, const std::string& folder) {
    if (folder.empty()) {
        return defaultOutputFor(input);
    }
#ifdef _WIN32
    const char* separators = "/\\";
#else
    const char* separators = "/";
#endif
    const size_t nameStart = input.find_last_of(separators) + 1; // npos + 1 == 0
    const bool endsInSeparator = std::strchr(separators, folder.back()) != nullptr;
    return folder + (endsInSeparator ? "" : "/") + defaultOutputFor(input.substr(nameStart));
}

static_assert(limits::kLowestRate == 1.0 / 256 && limits::kHighestRate == 255,
              "the text below states the limits");

std::string usageText() {
    return "Usage: gif2swf [-r RATE] [-o OUTPUT] INPUT...\n"
           "       gif2swf --each [-d DIR] [-r RATE] INPUT...\n"
           "Converts GIF images into one Flash movie (SWF version " +
           std::to_string(swf::kVersion) +
           "), or with --each into\n"
           "one movie per input.\n"
           "Each image of each input, in the order given, becomes a frame shown as a GIF\n"
           "viewer shows it, over a stage as large as the largest input (white unless\n"
           "--background says otherwise). A single GIF's movie plays as often as the GIF\n"
           "says (its looping extension; once without one); with -r or several inputs the\n"
           "movie loops. --plays overrides both.\n"
           "An INPUT of - is standard input; it and any input that is not a regular file\n"
           "(a pipe, a FIFO) are read once, at most 1 GiB.\n"
           "\n"
           "Options (in any order with the inputs):\n"
           "  -r, --rate RATE    show every image for 1/RATE seconds; RATE is a decimal\n"
           "                     number with '.' as decimal point (2, 25, 0.5), from\n"
           "                     1/256 (0.00390625: an image lasts 256 s) to 255.\n"
           "                     Without it, each image keeps its GIF delay (0 or 1\n"
           "                     hundredths of a second show as 10, as in browsers).\n"
           "      --plays N      play the movie N times, then stop on its last frame; 0:\n"
           "                     for ever. N is a whole number up to 65536. Overrides the\n"
           "                     GIF's own count and the looping of -r and several inputs.\n"
           "      --scale PERCENT\n"
           "                     show the stage and every picture at PERCENT of their\n"
           "                     size, a whole number from 10 to 800 (default 100). The\n"
           "                     pictures are scaled by the player, pixels kept sharp; the\n"
           "                     bitmaps stay as they are, so the movie hardly grows.\n"
           "      --background RRGGBB\n"
           "                     the stage's colour, six hexadecimal digits (default\n"
           "                     FFFFFF, white); transparent pixels show it.\n"
           "  -o, --output FILE  the movie to write; default: the first input with the\n"
           "                     extension .swf. It is replaced only when the conversion\n"
           "                     succeeds. Refused before anything is read: an output\n"
           "                     that is an input or an input list (also through links),\n"
           "                     and one that exists but is not a regular file (a folder,\n"
           "                     a device, a FIFO, a socket). A symbolic link is replaced\n"
           "                     by the movie; the file it points to stays as it is.\n"
           "  -l, --list LIST    read inputs from the file LIST: paths one after another,\n"
           "                     each ended by a NUL byte (the last one may lack it), in\n"
           "                     the platform's bytes (UTF-8 on Windows), so that any name\n"
           "                     fits, newlines too. They take the option's place among\n"
           "                     the inputs; lists and inputs combine in the order given.\n"
           "                     For more inputs than a command line holds. An empty\n"
           "                     entry is refused with its number (\"entry 7 is empty\").\n"
           "      --each         one movie per input, as if each were converted alone (its\n"
           "                     own timing and looping): INPUT with the extension .swf.\n"
           "                     One line per input on standard output, in input order,\n"
           "                     as each ends: \"ok INPUT\" or \"failed INPUT: REASON\"\n"
           "                     (INPUT written as messages write names; REASON the\n"
           "                     message without \"gif2swf: \" and without INPUT where it\n"
           "                     names it). A movie that an earlier input of the run has\n"
           "                     (the same name, or another name for its file) is refused.\n"
           "                     The exit status is the highest of the inputs'.\n"
           "  -d, --directory DIR  with --each: write the movies into DIR, each named as\n"
           "                     its input (without its folders) with the extension .swf.\n"
           "      --progress     write lines \"progress DONE/TOTAL\" to standard output:\n"
           "                     DONE frames of the movie written of TOTAL planned; one\n"
           "                     with 0 once the plan is known, then one whenever DONE\n"
           "                     has grown by 1 % of TOTAL or 100 ms have passed, and\n"
           "                     the last with TOTAL once the movie is complete and\n"
           "                     has its name. With --each, each movie's lines come\n"
           "                     before its ok or failed line, and start from 0 again\n"
           "                     for the next.\n"
           "  -h, --help         show this text\n"
           "  -V, --version      show the version\n"
           "\n"
           "Limits: a picture (each input's screen) has at most " +
           std::to_string(swf::kMaxBitmapSide) +
           " pixels a side and\n"
           "4096 x 4096 pixels in all, the largest bitmaps Flash players draw; a movie has\n"
           "at most " +
           std::to_string(kMaxFrames) +
           " frames (below 1 image per second each image takes several frames,\n"
           "so fewer images fit: checked before any image is decoded); -r RATE is from\n"
           "1/256 to 255 images per second, and a movie plays at most 255 frames per\n"
           "second. Without -r, when the GIF delays would need more frames than a movie\n"
           "holds, the movie plays at the highest frame rate at which it fits, each image\n"
           "at least one frame, with a warning on stderr saying how far the timing is off\n"
           "at most (\"timing rounded to 1/10 s: at most 0.07 s off per image\"); the exit\n"
           "status stays 0. A file that changes in any byte while it\n"
           "is converted (rewritten, or another renamed over it) is refused (\"changed\n"
           "while being converted\").\n"
           "\n"
           "Size: a movie of GIFs of 10 kB or more is at most their size, or a warning on\n"
           "stderr says how much larger it is, where its pictures compress better in\n"
           "GIF's format than in the movie's (two-colour noise): \"movie is 1.21x the GIF:\n"
           "its pictures compress better in GIF's format than in the movie's\"; the exit\n"
           "status stays 0.\n"
           "\n"
           "Exit status:\n"
           "  0  the movie was written\n"
           "  1  usage error: unknown option, missing value, bad rate, play count, scale\n"
           "     or colour, no input, options that do not go together (-o with --each,\n"
           "     -d without it)\n"
           "  2  input error: a file is missing, unreadable, not a GIF, broken or too large\n"
           "  3  output error: the movie cannot be written, or the output is an input,\n"
           "     an input list, not a regular file, or (--each) an earlier input's movie\n"
           "  4  internal error: the converter failed (not enough memory, a fault of its\n"
           "     own)\n"
           "\n"
           "Messages show control characters and those that reorder text escaped (\\n,\n"
           "\\xNN, \\uNNNN), so that each stays one line in its own order.\n";
}

} // namespace gif2swf
