#include "Errors.h"

#include "Limits.h"
#include "SwfTags.h"

#include <cctype>
#include <cstdint>
#include <cstring>

namespace gif2swf {

static_assert(limits::kHighestRate == 255 && limits::kLowestRate == 1.0 / 256,
              "the rate messages below state the limits");
static_assert(swf::kMaxBitmapSide == 8192 && swf::kMaxBitmapPixels == 4096 * 4096,
              "the message of a picture too large states the limits");

const char* describe(Error error) {
    switch (error) {
    case Error::UnknownOption:
        return "unknown option";
    case Error::MissingOptionValue:
        return "option needs a value";
    case Error::RepeatedOption:
        return "option given twice";
    case Error::OptionsExclusive:
        return "cannot be combined with {}";
    case Error::OptionNeedsOther:
        return "only with {}";
    case Error::NoInput:
        return "no input GIF file given";
    case Error::BadRate:
        return "bad rate: give a positive decimal number of images per second, such as 2, 25 "
               "or 0.5";
    case Error::RateTooHigh:
        return "rate too high: at most 255 images per second";
    case Error::RateTooLow:
        return "rate too low: an image lasts at most 256 seconds (a rate of 1/256)";
    case Error::BadPlays:
        return "bad play count: give a whole number from 0 (for ever) to 65536";
    case Error::BadScale:
        return "bad scale: give a whole percentage from 10 to 800";
    case Error::BadBackground:
        return "bad colour: give six hexadecimal digits RRGGBB, such as FFFFFF for white";
    case Error::CannotOpenInput:
        return "cannot open";
    case Error::ReadFailed:
        return "cannot read";
    case Error::EmptyFile:
        return "not a GIF file: the file is empty";
    case Error::NotGif:
        return "not a GIF file";
    case Error::TruncatedHeader:
        return "truncated GIF header";
    case Error::TruncatedFile:
        return "truncated file";
    case Error::TruncatedImage:
        return "truncated image data";
    case Error::CorruptImage:
        return "corrupt image data";
    case Error::UnknownBlock:
        return "unknown block in the file";
    case Error::GreyColours:
        return "warning: image has no colour table, drawn in the default grey levels";
    case Error::BadCodeSize:
        return "LZW minimum code size above 8";
    case Error::NoImage:
        return "contains no image";
    case Error::ImageTooLarge:
        return "image too large: {} (at most 8192 pixels a side and 4096x4096 pixels in all)";
    case Error::ImageOutsideScreen:
        return "image outside the screen, too far for a movie's picture";
    case Error::TooManyFrames:
        return "movie too long: a movie holds at most 65535 frames";
    case Error::TooManyPictures:
        return "too many different pictures: a movie holds at most 32767";
    case Error::ChangedWhileConverting:
        return "changed while being converted";
    case Error::StreamTooLarge:
        return "too large to read from a pipe: at most {}";
    case Error::EmptyListEntry:
        return "entry {} is empty";
    case Error::TimingRounded:
        return "warning: timing rounded to {}";
    case Error::LargerThanGif:
        return "warning: movie is {}x the GIF: its pictures compress better in GIF's format than "
               "in the movie's";
    case Error::CannotWriteOutput:
        return "cannot write output";
    case Error::OutputTooLarge:
        return "movie too large: a movie file holds at most 4 GiB";
    case Error::OutputIsInput:
        return "cannot write output: it is an input of the movie";
    case Error::OutputIsList:
        return "cannot write output: it is an input list";
    case Error::OutputNotRegularFile:
        return "cannot write output: not a regular file";
    case Error::MovieOfEarlierInput:
        return "cannot write output: it is the movie of an earlier input";
    case Error::OutOfMemory:
        return "not enough memory";
    case Error::Internal:
        return "internal error";
    }
    return "unknown error";
}

// No default: a new error that is missing here is a warning (-Wswitch), not a silent status.
ExitStatus exitStatusFor(Error error) {
    switch (error) {
    case Error::UnknownOption:
    case Error::MissingOptionValue:
    case Error::RepeatedOption:
    case Error::OptionsExclusive:
    case Error::OptionNeedsOther:
    case Error::NoInput:
    case Error::BadRate:
    case Error::RateTooHigh:
    case Error::RateTooLow:
    case Error::BadPlays:
    case Error::BadScale:
    case Error::BadBackground:
        return kExitUsage;
    case Error::CannotOpenInput:
    case Error::ReadFailed:
    case Error::EmptyFile:
    case Error::NotGif:
    case Error::TruncatedHeader:
    case Error::TruncatedFile:
    case Error::TruncatedImage:
    case Error::CorruptImage:
    case Error::UnknownBlock:
    case Error::BadCodeSize:
    case Error::GreyColours:
    case Error::NoImage:
    case Error::ImageTooLarge:
    case Error::ImageOutsideScreen:
    case Error::TooManyFrames:
    case Error::TooManyPictures:
    case Error::ChangedWhileConverting:
    case Error::StreamTooLarge:
    case Error::EmptyListEntry:
    case Error::TimingRounded:
    case Error::LargerThanGif:
        return kExitInput;
    case Error::CannotWriteOutput:
    case Error::OutputTooLarge:
    case Error::OutputIsInput:
    case Error::OutputIsList:
    case Error::OutputNotRegularFile:
    case Error::MovieOfEarlierInput:
        return kExitOutput;
    case Error::OutOfMemory:
    case Error::Internal:
        return kExitInternal;
    }
    return kExitInternal;
}

ConvertError::ConvertError(Error error, std::string subject, std::string detail, int frame)
    : std::runtime_error(describe(error)), error_(error), subject_(std::move(subject)),
      detail_(std::move(detail)), frame_(frame) {}

ConvertError ConvertError::about(int input, int frame) const {
    if (!subject_.empty() || input_ >= 0) {
        return *this;
    }
    ConvertError error(error_, {}, detail_, frame_ > 0 ? frame_ : frame);
    error.input_ = input;
    return error;
}

std::string formatMessage(const ConvertError& error) {
    return "gif2swf: " + formatReason(error);
}

std::string formatReason(const ConvertError& error) {
    std::string text;
    if (!error.subject().empty()) {
        text += printableName(error.subject()) + ": ";
    }
    if (error.frame() > 0) {
        text += "frame " + std::to_string(error.frame()) + ": ";
    }
    const std::string sentence = describe(error.error());
    const size_t slot = sentence.find("{}");
    if (slot != std::string::npos) {
        text += sentence.substr(0, slot) + error.detail() + sentence.substr(slot + 2);
    } else {
        text += sentence;
        if (!error.detail().empty()) {
            text += ": " + error.detail();
        }
    }
    return text;
}

namespace {

// The length of the UTF-8 sequence that starts at `at` (no overlong forms, no surrogates,
// nothing above U+10FFFF), or 0 when the bytes there are not one.
size_t utf8SequenceAt(const std::string& text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    size_t length = 0;
    unsigned char low = 0x80; // the range of the second byte
    unsigned char high = 0xBF;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high) {
        return 0;
    }
    for (size_t i = 2; i < length; ++i) {
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

// The code point of a valid UTF-8 sequence.
uint32_t codePoint(const std::string& text, size_t at, size_t length) {
    const auto byte = [&](size_t i) { return uint32_t(static_cast<unsigned char>(text[at + i])); };
    static const uint32_t leadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    uint32_t value = byte(0) & leadBits[length];
    for (size_t i = 1; i < length; ++i) {
        value = value << 6 | (byte(i) & 0x3F);
    }
    return value;
}

// Characters that move the cursor, end a line or reorder the text around them for some
// reader (a terminal, a log viewer splitting lines the Unicode way, a bidirectional display):
// DEL, the C1 controls (NEL, CSI among them), the line and paragraph separators and the
// bidirectional marks, embeddings, overrides and isolates.
bool movesText(uint32_t c) {
    return c == 0x7F || (c >= 0x80 && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

} // namespace

std::string printableName(const std::string& name) {
    static const char hex[] = "0123456789ABCDEF";
    std::string shown;
    shown.reserve(name.size());
    for (size_t at = 0; at < name.size();) {
        const unsigned char c = static_cast<unsigned char>(name[at]);
        const size_t length = c < 0x20 || c == 0x7F ? 0 : utf8SequenceAt(name, at);
        const uint32_t character = length > 1 ? codePoint(name, at, length) : c;
        if (length > 1 && movesText(character)) {
            shown += {'\\',
                      'u',
                      hex[character >> 12],
                      hex[character >> 8 & 15],
                      hex[character >> 4 & 15],
                      hex[character & 15]};
            at += length;
            continue;
        }
        if (length > 0) {
            shown.append(name, at, length);
            at += length;
            continue;
        }
        if (c == '\n') {
            shown += "\\n";
        } else if (c == '\r') {
            shown += "\\r";
        } else if (c == '\t') {
            shown += "\\t";
        } else {
            shown += {'\\', 'x', hex[c >> 4], hex[c & 15]};
        }
        ++at;
    }
    return shown;
}

std::string systemReason(int errorNumber) {
    std::string reason = std::strerror(errorNumber);
    if (!reason.empty()) {
        reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
    }
    return reason;
}

} // namespace gif2swf
