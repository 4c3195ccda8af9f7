#pragma once

#include <QString>
#include <QStringList>

// Whether an argument list can be handed to a new process at all: the platforms cap the
// command line, and a converter given thousands of paths reaches the cap. The rule is a plain
// function of the list and the space; asking the system for the space happens in one place.
namespace korvane {

enum class ArgumentRule {
    // One command line of UTF-16 characters, quoted as QProcess quotes it for CreateProcess,
    // within `total` characters including its terminating NUL.
    Windows,
    // execve: the program's path, every argument and every environment string with its NUL and
    // one pointer each (the path is copied once more for the new program), within `total`
    // bytes; no single string with its NUL beyond `perString` bytes.
    Unix,
};

struct ArgumentSpace {
    ArgumentRule rule = ArgumentRule::Unix;
    qint64 total = 0;
    qint64 perString = 0;   // Unix only
    qint64 environment = 0; // Unix only: the bytes the inherited environment takes
    qint64 pointerSize = 0; // Unix only
};

// The space the running system gives a child that inherits this process's environment.
ArgumentSpace PlatformArgumentSpace();

// True when `program` with `arguments` can be started within `space`.
bool ArgumentsFit(const QString& program, const QStringList& arguments, const ArgumentSpace& space);

} // namespace korvane
