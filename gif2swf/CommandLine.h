#pragma once

#include "MovieLook.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The converter's command line: gif2swf [-r RATE] [-o OUTPUT] INPUT..., or gif2swf --each
// [-d DIR] INPUT... for a movie per input; options and inputs in any order; "-l LIST" stands
// for the inputs that the file LIST names.
namespace gif2swf {

struct CommandLine {
    bool help = false;
    bool version = false;
    bool progress = false; // --progress: report frames done on standard output
    bool each = false;     // --each: one movie per input
    std::string folder;    // -d: where --each writes its movies; empty: beside each input
    std::optional<double> rate;
    std::string rateText;
    std::optional<uint32_t> plays; // --plays: how often the movie plays, 0: for ever
    MovieLook look;                // --scale, --background
    std::string output; // -o; by default the first input with the extension .swf (not --each)
    std::vector<std::string> inputs; // in the order given, lists expanded in their place
    std::vector<std::string> lists;  // the input lists read
};

// Parses the arguments after the program name and reads the input lists they name; throws
// ConvertError (a usage error, or an input error for a list that cannot be read).
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

// Appends the paths of an input list to `inputs`: each path ended by a NUL byte (the last one
// may lack it), bytes as the platform's paths are (UTF-8 on Windows). Any byte but NUL may be
// part of a path, a newline too. Throws ConvertError naming the list when it cannot be read,
// when an entry is empty (two NUL bytes in a row, or nothing at all), and, unless they are
// for `each` movie of their own, as soon as the inputs are more than a movie holds (each is a
// frame at least), so memory stays bounded.
void readInputList(const std::string& listPath, std::vector<std::string>& inputs,
                   bool each = false);

// The output path when none is given: the input's name with its extension replaced by .swf.
std::string defaultOutputFor(const std::string& input);

// The movie that --each writes for an input: the input's name with the extension .swf, in
// `folder` when one is given, else beside the input.
std::string eachOutputFor(const std::string& input, const std::string& folder);

// The text of --help.
std::string usageText();

} // namespace gif2swf
