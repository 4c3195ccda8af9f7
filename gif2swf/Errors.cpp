#include "Errors.h"

#include <cctype>
#include <cstring>

namespace gif2swf {

const char* describe(Error error) {
    switch (error) {
    case Error::UnknownOption:
        return "unknown option";
    case Error::MissingOptionValue:
        return "option needs a value";
    case Error::RepeatedOption:
        return "option given twice";
    case Error::NoInput:
        return "no input GIF file given";
    case Error::BadRate:
        return "bad rate: give a positive decimal number of images per second, such as 2, 25 "
               "or 0.5";
    case Error::RateTooHigh:
        return "rate too high: a movie plays at most 255 frames per second";
    case Error::RateTooLow:
        return "rate too low: an image lasts at most 65535 seconds";
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
        return "image too large";
    case Error::TooManyFrames:
        return "movie too long: a movie holds at most 65535 frames";
    case Error::TooManyPictures:
        return "too many different pictures: a movie holds at most 32767";
    case Error::CannotWriteOutput:
        return "cannot write output";
    case Error::OutputTooLarge:
        return "movie too large: a movie file holds at most 4 GiB";
    case Error::OutOfMemory:
        return "not enough memory";
    case Error::Internal:
        return "internal error";
    }
    return "unknown error";
}

ExitStatus exitStatusFor(Error error) {
    switch (error) {
    case Error::UnknownOption:
    case Error::MissingOptionValue:
    case Error::RepeatedOption:
    case Error::NoInput:
    case Error::BadRate:
    case Error::RateTooHigh:
    case Error::RateTooLow:
        return kExitUsage;
    case Error::CannotWriteOutput:
    case Error::OutputTooLarge:
        return kExitOutput;
    case Error::OutOfMemory:
    case Error::Internal:
        return kExitInternal;
    default:
        return kExitInput;
    }
}

ConvertError::ConvertError(Error error, std::string subject, std::string detail, int frame)
    : std::runtime_error(describe(error)), error_(error), subject_(std::move(subject)),
      detail_(std::move(detail)), frame_(frame) {}

std::string formatMessage(const ConvertError& error) {
    std::string text = "gif2swf: ";
    if (!error.subject().empty()) {
        text += error.subject() + ": ";
    }
    if (error.frame() > 0) {
        text += "frame " + std::to_string(error.frame()) + ": ";
    }
    text += describe(error.error());
    if (!error.detail().empty()) {
        text += ": " + error.detail();
    }
    return text;
}

std::string systemReason(int errorNumber) {
    std::string reason = std::strerror(errorNumber);
    if (!reason.empty()) {
        reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
    }
    return reason;
}

} // namespace gif2swf
