#pragma once

#include <optional>
#include <string>
#include <vector>

// The converter's command line: gif2swf [-r RATE] [-o OUTPUT] INPUT..., options and inputs
// in any order.
namespace gif2swf {

struct CommandLine {
    bool help = false;
    bool version = false;
    std::optional<double> rate;
    std::string rateText;
    std::string output; // empty: the first input with the extension .swf
    std::vector<std::string> inputs;
};

// Parses the arguments after the program name; throws ConvertError (a usage error).
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

// The output path when none is given: the input's name with its extension replaced by .swf.
std::string defaultOutputFor(const std::string& input);

// The text of --help.
std::string usageText();

} // namespace gif2swf
