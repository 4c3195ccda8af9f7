#pragma once

#include <stdexcept>
#include <string>

// Every way a conversion can fail, the sentence a user reads for it and the exit status the
// application sees. One list, so that a new failure cannot forget its message or its status.
namespace gif2swf {

enum class Error {
    // Usage: the command line is wrong.
    UnknownOption,
    MissingOptionValue,
    RepeatedOption,
    OptionsExclusive,
    OptionNeedsOther,
    NoInput,
    BadRate,
    RateTooHigh,
    RateTooLow,
    BadPlays,
    BadScale,
    BadBackground,
    // Input: a GIF file cannot be read or shown.
    CannotOpenInput,
    ReadFailed,
    EmptyFile,
    NotGif,
    TruncatedHeader,
    TruncatedFile,
    TruncatedImage,
    CorruptImage,
    UnknownBlock,
    BadCodeSize,
    GreyColours, // a warning: the conversion goes on
    NoImage,
    ImageTooLarge,
    ImageOutsideScreen,
    TooManyFrames,
    TooManyPictures,
    ChangedWhileConverting,
    StreamTooLarge,
    EmptyListEntry,
    TimingRounded, // a warning: the conversion goes on
    LargerThanGif, // a warning: the movie is written
    // Output: the movie cannot be written.
    CannotWriteOutput,
    OutputTooLarge,
    OutputIsInput,
    OutputIsList,
    OutputNotRegularFile,
    MovieOfEarlierInput,
    // Internal: the converter itself failed (a broken internal check, memory).
    OutOfMemory,
    Internal,
};

// Exit statuses of the converter; the application tells the failures apart.
enum ExitStatus { kExitOk = 0, kExitUsage = 1, kExitInput = 2, kExitOutput = 3, kExitInternal = 4 };

// The sentence for an error, lower case and without a full stop: "not a GIF file". A
// sentence with "{}" takes its detail there ("entry {} is empty") instead of after it.
const char* describe(Error error);

// The exit status that reports an error.
ExitStatus exitStatusFor(Error error);

// A failure with what it is about: the file (or option) it concerns, the 1-based frame
// number within that file when it happened inside an image (0 otherwise) and an optional
// detail such as "20000x20000" or the operating system's reason.
class ConvertError : public std::runtime_error {
public:
    ConvertError(Error error, std::string subject, std::string detail = {}, int frame = 0);

    Error error() const { return error_; }
    const std::string& subject() const { return subject_; }
    const std::string& detail() const { return detail_; }
    int frame() const { return frame_; }
    // The input of the run it concerns, by number (0-based), until named (see
    // nameInput); -1: none.
    int input() const { return input_; }
    // This error as about image `frame` of input number `input`, unless it names what it is
    // about already.
    ConvertError about(int input, int frame) const;
    // The same failure with no subject, for where the subject is said already.
    ConvertError withoutSubject() const { return ConvertError(error_, {}, detail_, frame_); }

private:
    Error error_;
    std::string subject_;
    std::string detail_;
    int frame_;
    int input_ = -1;
};

// The error with the name of the input it concerns as its subject, `nameOf(number)`: the one
// place where an input's number becomes its name.
template <typename NameOf> ConvertError nameInput(const ConvertError& error, NameOf nameOf) {
    if (error.input() < 0 || !error.subject().empty()) {
        return error;
    }
    return ConvertError(error.error(), nameOf(error.input()), error.detail(), error.frame());
}

// The one-line message: "gif2swf: a.gif: frame 3: truncated image data". The subject is
// shown as printableName shows it.
std::string formatMessage(const ConvertError& error);

// The message without the program's name: "a.gif: frame 3: truncated image data".
std::string formatReason(const ConvertError& error);

// A file name as messages show it, always on one line and in its own order: a newline,
// carriage return and tab as \n, \r and \t, other bytes below 0x20, DEL and bytes that are
// not UTF-8 as \xNN, and the characters that end a line or move or reorder text (the C1
// controls, U+2028 and U+2029, the bidirectional controls U+061C, U+200E, U+200F,
// U+202A-U+202E and U+2066-U+2069) as \uNNNN. Other names (spaces, quotes, backslashes, any
// script) are shown as they are.
std::string printableName(const std::string& name);

// The operating system's reason for an errno value, starting lower case:
// "permission denied".
std::string systemReason(int errorNumber);

} // namespace gif2swf
